// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace mailmend::mailstore {

// Plain text made from an HTML body, for forms that show no HTML: tags dropped, the
// content of script and style dropped, character references decoded, white space folded
// as a browser folds it (kept inside <pre>), block elements and <br> as line breaks,
// paragraphs and headings set apart by an empty line, table cells by a tab. Runs in one
// pass over the text, in time linear in its length.
//
// The text comes out in pieces through `emit`, so a large body is never held twice.
void htmlToText(std::string_view html, const std::function<void(std::string_view)>& emit);

// The same, gathered into one string.
std::string htmlToText(std::string_view html);

} // namespace mailmend::mailstore
