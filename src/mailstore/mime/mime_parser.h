// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "mailstore/mail_message.h"

namespace mailmend::mailstore {

// Parses one .eml file. Only a file that cannot be read gives no message: a mail with
// no usable structure still gives one whose plain body is its text.
std::optional<MailMessage> parseMailFile(const std::filesystem::path& path);

// The same for a mail held in memory (an attached mail, a test's mail).
MailMessage parseMailText(std::string text);

} // namespace mailmend::mailstore
