// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/gmime_session.h"

#include <gmime/gmime.h>

#include <mutex>

namespace mailmend::mailstore::mime {
namespace {

std::once_flag initialised;
GMimeParserOptions* options = nullptr;

} // namespace

void ensureGMime()
{
    std::call_once(initialised, [] {
        g_mime_init();
        options = g_mime_parser_options_new();
        // Outlook Express puts encoded words inside quoted names and file names.
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(options,
                                                            GMIME_RFC_COMPLIANCE_LOOSE);
        // Raw 8-bit header text: UTF-8 when it is valid, else the Windows code page that
        // most such mails were written in; Latin-1 last, as it accepts every byte.
        const char* fallback[] = {"utf-8", "windows-1252", "iso-8859-1", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, fallback);
    });
}

GMimeParserOptions* parserOptions()
{
    ensureGMime();
    return options;
}

void releaseObject(void* object)
{
    if (object)
        g_object_unref(object);
}

} // namespace mailmend::mailstore::mime
