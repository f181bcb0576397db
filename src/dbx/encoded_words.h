// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace mailmend::dbx {

// Decodes the MIME encoded words (=?charset?Q|B?text?=) of an unstructured header value
// into UTF-8. Words in UTF-8, US-ASCII, ISO-8859-1/15 and Windows-1252 are decoded;
// words in any other character set, and malformed ones, stay as they are. The blanks
// between two encoded words are dropped. Text outside the words is kept byte for byte.
std::string decodeEncodedWords(std::string_view value);

} // namespace mailmend::dbx
