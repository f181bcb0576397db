// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/header_test.h"

#include <initializer_list>

namespace mailmend::dbx {
namespace {

bool hasAll(std::string_view text, std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names)
        if (text.find(name) == std::string_view::npos)
            return false;
    return true;
}

bool hasAny(std::string_view text, std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names)
        if (text.find(name) != std::string_view::npos)
            return true;
    return false;
}

} // namespace

bool looksLikeMailHeader(std::string_view text)
{
    if (const auto zero = text.find('\0'); zero != std::string_view::npos)
        text = text.substr(0, zero);

    // A mail as Outlook Express itself wrote it.
    const bool written = hasAll(text, {"From:", "To:", "Subject:", "Date:"})
        && hasAny(text, {"MIME-Version:", "MIME-version:"})
        && hasAny(text, {"X-MimeOLE:", "X-mimeOLE:"});
    if (written)
        return true;

    // A received mail; servers spell the delivery headers in one of two ways, not mixed.
    const bool receivedLower = hasAll(text, {"Received:", "From:", "To:", "Subject:"})
        && hasAny(text, {"Delivered-to:", "Envelope-to:"})
        && hasAny(text, {"Return-path:", "Reply-to:"});
    if (receivedLower)
        return true;
    return hasAll(text, {"Received:", "From:", "To:", "Subject:"})
        && hasAny(text, {"Delivered-To:", "Envelope-To:"})
        && hasAny(text, {"Return-Path:", "Reply-To:"});
}

} // namespace mailmend::dbx
