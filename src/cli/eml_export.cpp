// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/eml_export.h"

#include "dbx/dbx_file.h"
#include "log/text.h"
#include "platform/directories.h"

namespace mailmend::cli {

ExportSummary exportMailsAsEml(const std::string& source, const std::filesystem::path& folder,
                               bool recoveryMode, bool log)
{
    ExportSummary summary;
    dbx::DbxFile file;
    file.setLogging(log);
    file.setRecoveryMode(recoveryMode);
    if (!file.open(source)) {
        summary.openError = file.lastOpenError();
        return summary;
    }
    summary.opened = true;
    if (!platform::createDirectories(folder)) {
        summary.openError = "cannot create the folder " + folder.string();
        summary.opened = false;
        file.close();
        return summary;
    }
    std::int32_t count = 0;
    file.findConvertableMails(count);
    summary.entries = count;
    std::string path;
    for (std::int32_t i = 0; i < count; ++i) {
        if (file.saveMailToEML(folder, path, i)) {
            ++summary.written;
            continue;
        }
        switch (file.lastWriteResult()) {
        case dbx::MailWriteResult::TakenOver:
            ++summary.takenOver;
            break;
        case dbx::MailWriteResult::HeaderTestFailed:
            ++summary.refused;
            break;
        default:
            ++summary.failed;
            break;
        }
    }
    file.close();
    return summary;
}

std::string describe(const std::string& name, const ExportSummary& s)
{
    if (!s.opened)
        return strprintf("%s: could not be read (%s)", name.c_str(), s.openError.c_str());
    return strprintf("%s: %d mails written, %d refused by the header test, %d part of another "
                     "mail, %d failed",
                     name.c_str(), s.written, s.refused, s.takenOver, s.failed);
}

} // namespace mailmend::cli
