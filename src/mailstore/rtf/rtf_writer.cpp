// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/rtf/rtf_writer.h"

#include <exception>
#include <optional>
#include <vector>

#include "mailstore/attachment_names.h"
#include "mailstore/html_text.h"
#include "mailstore/rtf/mail_date.h"
#include "mailstore/rtf/rtf_text.h"
#include "platform/file_system.h"
#include "platform/output_file.h"

namespace mailmend::mailstore {
namespace {

using rtf::LineEnds;
using rtf::RtfSink;

std::string addressText(const MailAddress& address)
{
    if (address.name.empty())
        return address.address;
    if (address.address.empty())
        return address.name;
    return address.name + " <" + address.address + ">";
}

std::string addressList(const std::vector<MailAddress>& addresses)
{
    std::string text;
    for (const MailAddress& address : addresses) {
        const std::string one = addressText(address);
        if (one.empty())
            continue;
        if (!text.empty())
            text += "; ";
        text += one;
    }
    return text;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty())
            text += "; ";
        text += name;
    }
    return text;
}

// The mail's date on its sender's clock when its Date header names a zone, else in UTC.
std::optional<rtf::LocalDate> sentDate(const MailMessage& mail)
{
    if (!mail.date)
        return std::nullopt;
    int offset = 0;
    if (const auto header = rtf::headerValue(mail.transportHeaders, "Date")) {
        if (const auto zone = rtf::dateZoneOffset(*header))
            offset = *zone;
    }
    return rtf::localDate(*mail.date, offset);
}

// The Sent line's text: the date in our fixed form, or the Date header as it stands when
// the mail's date could not be read.
std::string sentText(const MailMessage& mail, const std::optional<rtf::LocalDate>& date)
{
    if (date)
        return rtf::formatDate(*date);
    return rtf::headerValue(mail.transportHeaders, "Date").value_or(std::string());
}

void headerLine(RtfSink& out, std::string_view label, std::string_view value)
{
    if (value.empty())
        return;
    out.control("{\\b ");
    out.text(label, LineEnds::Space);
    out.control("}\\tab ");
    out.text(value, LineEnds::LineBreak);
    out.control("\\par\n");
}

void writeInfo(RtfSink& out, const MailMessage& mail, const std::optional<rtf::LocalDate>& date)
{
    out.control("{\\info{\\title ");
    out.text(mail.subject, LineEnds::Space);
    out.control("}{\\author ");
    out.text(addressText(mail.from), LineEnds::Space);
    out.control("}");
    if (date) {
        out.control("{\\creatim\\yr" + std::to_string(date->year) + "\\mo" + std::to_string(date->month) +
                    "\\dy" + std::to_string(date->day) + "\\hr" + std::to_string(date->hour) + "\\min" +
                    std::to_string(date->minute) + "}");
    }
    out.control("}\n");
}

void writeDocument(RtfSink& out, const MailMessage& mail)
{
    const std::optional<rtf::LocalDate> date = sentDate(mail);
    out.control("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n"
                "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fmodern\\fcharset0 Courier New;}}\n");
    writeInfo(out, mail, date);
    // A hanging indent at the tab stop keeps long values under the value column; the stop
    // is wide enough for the longest label, "Attachments:".
    out.control("\\viewkind4\\pard\\plain\\f0\\fs20\\tx1800\\li1800\\fi-1800\n");
    headerLine(out, "From:", addressText(mail.from));
    headerLine(out, "Sent:", sentText(mail, date));
    headerLine(out, "To:", addressList(mail.to));
    headerLine(out, "Cc:", addressList(mail.cc));
    headerLine(out, "Bcc:", addressList(mail.bcc));
    headerLine(out, "Subject:", mail.subject);
    headerLine(out, "Attachments:", joined(attachmentFileNames(mail)));
    out.control("\\pard\\plain\\f0\\fs20\\brdrb\\brdrs\\brdrw10\\brsp20 \\par\n"
                "\\pard\\plain\\f0\\fs20\n");
    if (!mail.textBody.empty() || mail.htmlBody.empty())
        out.text(mail.textBody, LineEnds::Paragraph);
    else
        htmlToText(mail.htmlBody, [&](std::string_view piece) { out.text(piece, LineEnds::Paragraph); });
    out.control("\\par\n}\n");
    out.finish();
}

} // namespace

bool writeRtfFile(const MailMessage& mail, const std::filesystem::path& path, std::string& error)
{
    platform::OutputFile file;
    if (!file.create(path)) {
        error = "cannot create " + path.string();
        return false;
    }
    bool written = false;
    try {
        RtfSink out([&](std::string_view piece) { file.write(piece.data(), piece.size()); });
        writeDocument(out, mail);
        written = true;
    } catch (const std::exception& e) {
        error = std::string("cannot write the document: ") + e.what();
    } catch (...) {
        error = "cannot write the document";
    }
    if (!file.close() && written) {
        error = "cannot write " + path.string();
        written = false;
    }
    if (!written)
        platform::removeFile(path);
    return written;
}

} // namespace mailmend::mailstore
