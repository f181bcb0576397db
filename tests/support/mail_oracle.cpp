// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/mail_oracle.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

namespace mailmend::testing {
namespace {

// The script writes each value as "x" and its bytes in hex, or "-" for none.
std::optional<std::string> unhex(const std::string& field)
{
    if (field.empty() || field[0] != 'x')
        return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i + 1 < field.size(); i += 2)
        out += static_cast<char>(std::stoi(field.substr(i, 2), nullptr, 16));
    return out;
}

} // namespace

bool havePythonOracle()
{
    return *MAILMEND_SYSTEM_PYTHON != '\0';
}

std::optional<OracleMail> readWithPython(const std::filesystem::path& path)
{
    const auto script = std::filesystem::path(__FILE__).parent_path() / "mail_oracle.py";
    std::ostringstream command; // paths in double quotes, as the shell reads them
    command << std::quoted(MAILMEND_SYSTEM_PYTHON) << ' ' << script << ' ' << path
            << " 2>/dev/null";
    FILE* pipe = havePythonOracle() ? ::popen(command.str().c_str(), "r") : nullptr;
    if (!pipe)
        return std::nullopt;
    std::string output;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    if (::pclose(pipe) != 0)
        return std::nullopt;

    OracleMail mail;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string key, f[8];
        fields >> key >> f[0] >> f[1] >> f[2] >> f[3] >> f[4] >> f[5] >> f[6] >> f[7];
        if (key == "subject")
            mail.subject = unhex(f[0]).value_or("");
        else if (key == "from" || key == "to" || key == "cc")
            (key == "from" ? mail.from : key == "to" ? mail.to : mail.cc)
                .push_back({unhex(f[0]).value_or(""), unhex(f[1]).value_or("")});
        else if (key == "date" && f[0] != "-")
            mail.date = std::stoll(f[0]);
        else if (key == "text" || key == "html")
            (key == "text" ? mail.textBody : mail.htmlBody) = unhex(f[0]);
        else if (key == "attachment")
            mail.attachments.push_back({unhex(f[0]).value_or(""), unhex(f[1]).value_or(""),
                                        unhex(f[2]).value_or(""), f[3] == "1", std::stoull(f[4]),
                                        f[5], unhex(f[6]), unhex(f[7]).value_or("")});
    }
    return mail;
}

} // namespace mailmend::testing
