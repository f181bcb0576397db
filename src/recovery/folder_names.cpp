// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/folder_names.h"

#include "log/text.h"

namespace mailmend::recovery {

const char* typeTag(SaveOption option)
{
    switch (option) {
    case SaveOption::SAVEASDBX:
        return "_As_DBX";
    case SaveOption::SAVEASEML:
        return "_As_EML";
    case SaveOption::SAVEASPST:
        return "_As_PST";
    case SaveOption::SAVEASMSG:
        return "_As_MSG";
    case SaveOption::SAVEASRTF:
        return "_As_RTF";
    case SaveOption::ADVANCEDSCAN:
        return "_As_EMLwithAdvacedScan";
    case SaveOption::SAVEASMBOX:
        return "_As_MBOX";
    }
    return "";
}

std::string baseNameOf(const std::string& fileName)
{
    std::string base = fileName;
    if (const auto at = base.find(".dbx"); at != std::string::npos)
        base.erase(at, 4);
    return base;
}

std::string outputFolderName(const RecoveryRequest& request, std::int64_t& counter,
                             const std::string& baseName)
{
    std::string name;
    if (request.m_bCounterOn) {
        name += std::to_string(counter) + "_";
        ++counter;
    }
    if (request.m_bFolderTagOn)
        name += request.m_strFolderTag + "_";
    name += baseName;
    if (request.m_bTypeTagOn)
        name += typeTag(request.m_nSaveOption);
    return name;
}

bool isUsableFolderName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".."
        && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::filesystem::path inFolder(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string tempFolderName(const std::string& baseName, std::size_t fileIndex,
                           const platform::Clock& clock)
{
    const platform::CalendarDate date = clock.utcDate();
    const platform::WallTime time = clock.localTime();
    return "Norvale_Recovered_" + baseName + "_"
        + strprintf("%zu_(DATE=%d-%d-%d)_(TIME=%dhr.%dm.%ds)", fileIndex, date.month, date.day,
                    date.year, time.hour, time.minute, time.second);
}

std::string cutStatusText(const std::string& text)
{
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        // A character starts at every byte that is not a UTF-8 continuation byte.
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && characters++ == kStatusTextLength)
            return text.substr(0, at);
    }
    return text;
}

} // namespace mailmend::recovery
