// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/dbx_folder_maker.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

#include "dbx/folder_file_writer.h"
#include "support/dbx_fixture.h"
#include "support/temp_dir.h"

namespace mailmend::testing {
namespace {

namespace fs = std::filesystem;

std::string shellQuoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool runUndbx(const fs::path& file, const fs::path& out, bool recoveryMode = false)
{
    const std::string command = std::string(recoveryMode ? "undbx -r " : "undbx ")
        + shellQuoted(file.string()) + " " + shellQuoted(out.string()) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

int makeDbxFolder(const fs::path& file, const std::vector<std::string>& mails,
                  const std::string& folderName)
{
    dbx::FolderFileWriter writer;
    if (!writer.create(file, {folderName, 7}))
        return -1;
    int stored = 0;
    for (const auto& mail : mails) {
        auto draft = writer.beginMessage();
        if (draft && draft->write(mail.data(), mail.size()) && writer.commit(*draft))
            ++stored;
    }
    return writer.close() ? stored : -1;
}

bool programInstalled(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::optional<std::vector<std::string>> undbxMails(const fs::path& file, bool recoveryMode)
{
    TempDir out;
    if (!runUndbx(file, out.path(), recoveryMode))
        return std::nullopt;
    std::vector<std::string> mails;
    for (const auto& entry : fs::recursive_directory_iterator(out.path()))
        if (entry.is_regular_file() && entry.path().extension() == ".eml")
            mails.push_back(readFile(entry.path()));
    std::sort(mails.begin(), mails.end());
    return mails;
}

std::vector<std::string> undbxFileNames(const fs::path& file)
{
    TempDir out;
    std::vector<std::string> names;
    if (runUndbx(file, out.path()))
        for (const auto& entry : fs::recursive_directory_iterator(out.path()))
            if (entry.is_regular_file())
                names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace mailmend::testing
