// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/run_summary.h"

#include <vector>

#include "log/text.h"

namespace mailmend::recovery {

void RunTally::add(const FileResult& result)
{
    ++files;
    if (!result.folderError.empty())
        ++foldersUnmade;
    else if (!result.sourceOpened || result.readIncomplete)
        ++filesUnread;
    else if (result.workingCopyFailed || result.outputCopyFailed || result.storeUnfinished)
        ++filesUnwritten;
    mailsUnwritten += result.mailsFailed;
    attachmentsUnwritten += result.attachmentsFailed;
    workingFilesLeft += result.workingFileLeft;
}

std::string endOfRunMessage(const std::string& destination, const RunTally& tally, bool logOn)
{
    if (tally.clean())
        return strprintf("Files recovered Successfully to %s folder", destination.c_str());

    std::vector<std::string> clauses;
    if (tally.filesUnread > 0)
        clauses.push_back(strprintf("%zu of %zu %s could not be read", tally.filesUnread,
                                    tally.files, tally.files == 1 ? "file" : "files"));
    if (tally.foldersUnmade > 0)
        clauses.push_back(strprintf("%zu output %s could not be made", tally.foldersUnmade,
                                    tally.foldersUnmade == 1 ? "folder" : "folders"));
    if (tally.filesUnwritten > 0)
        clauses.push_back(strprintf("%zu of %zu %s could not be written in full",
                                    tally.filesUnwritten, tally.files,
                                    tally.files == 1 ? "file" : "files"));
    if (tally.mailsUnwritten > 0)
        clauses.push_back(strprintf("%lld %s could not be written",
                                    static_cast<long long>(tally.mailsUnwritten),
                                    tally.mailsUnwritten == 1 ? "mail" : "mails"));
    if (tally.attachmentsUnwritten > 0)
        clauses.push_back(strprintf("%lld %s could not be written",
                                    static_cast<long long>(tally.attachmentsUnwritten),
                                    tally.attachmentsUnwritten == 1 ? "attachment" : "attachments"));
    if (tally.workingFilesLeft > 0)
        clauses.push_back(strprintf("%zu working %s could not be deleted", tally.workingFilesLeft,
                                    tally.workingFilesLeft == 1 ? "file" : "files"));
    std::string joined;
    for (std::size_t i = 0; i < clauses.size(); ++i) {
        if (i > 0)
            joined += i + 1 == clauses.size() ? " and " : ", ";
        joined += clauses[i];
    }
    std::string text = strprintf("Files recovered to %s folder, but %s.", destination.c_str(),
                                 joined.c_str());
    if (logOn)
        text += " The logs have the details.";
    return text;
}

} // namespace mailmend::recovery
