// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/advanced_export.h"

#include "dbx/mapped_mail_extractor.h"
#include "log/text.h"
#include "platform/directories.h"

namespace mailmend::cli {
namespace {

class NoProgress final : public dbx::ProgressSink {
public:
    void setPosition(int) override {}
};

} // namespace

std::string advancedBaseName(const std::filesystem::path& source)
{
    std::string name = source.filename().string();
    const auto at = name.find(".dbx");
    if (at != std::string::npos)
        name.erase(at, 4);
    return name;
}

AdvancedSummary exportMailsAdvanced(const std::string& source, const std::filesystem::path& folder)
{
    AdvancedSummary summary;
    auto& extractor = dbx::mappedMailExtractor();
    extractor.reset();
    if (!extractor.openMapping(source)) {
        summary.openError = extractor.lastOpenError();
        return summary;
    }
    summary.opened = true;
    if (!platform::createDirectories(folder)) {
        extractor.closeMapping();
        summary.opened = false;
        summary.openError = "cannot create the folder " + folder.string();
        return summary;
    }
    NoProgress bar;
    const std::filesystem::path working = folder / "temp.dbx";
    extractor.copyWithoutBlockHeaders(working, bar);
    extractor.closeMapping();
    summary.copyFailed = extractor.copyFailed();
    if (extractor.openMapping(working)) {
        extractor.carveMails((folder / advancedBaseName(source)).string(), bar);
        extractor.closeMapping();
    }
    // The working file is ours alone; an empty one (nothing to carve) goes too.
    std::error_code ignored;
    std::filesystem::remove(working, ignored);
    summary.written = extractor.mailsWritten();
    summary.failed = extractor.mailsFailed();
    return summary;
}

std::string describe(const std::string& name, const AdvancedSummary& s)
{
    if (!s.opened)
        return strprintf("%s: could not be read (%s)", name.c_str(), s.openError.c_str());
    std::string text = strprintf("%s: %u mails carved, %u failed", name.c_str(), s.written, s.failed);
    if (s.copyFailed)
        text += " (the working copy could not be written in full)";
    return text;
}

} // namespace mailmend::cli
