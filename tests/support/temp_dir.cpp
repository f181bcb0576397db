// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/temp_dir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

namespace mailmend::testing {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mailmend-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder: " + std::string(std::strerror(errno)));
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace mailmend::testing
