// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/mail_structure.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

#include "mailstore/mime/attached_mail_range.h"
#include "mailstore/mime/part_content.h"
#include "mailstore/mime/text_to_utf8.h"

namespace mailmend::mailstore::mime {
namespace {

struct Node {
    GMimeObject* object;
    int parent; // index in the node list, -1 for the mail's top part
};

// Every part of the mail (not of its attached mails) in document order, and which of them
// are leaves. The walk keeps its own stack, so nesting depth costs no call depth; GMime
// itself stops splitting multiparts after 1024 levels.
void listParts(GMimeMessage* message, std::vector<Node>& nodes, std::vector<int>& leaves)
{
    GMimeObject* top = g_mime_message_get_mime_part(message);
    if (!top)
        return;
    nodes.push_back({top, -1});
    std::vector<int> pending {0};
    while (!pending.empty()) {
        const int index = pending.back();
        pending.pop_back();
        GMimeObject* object = nodes[static_cast<std::size_t>(index)].object;
        const int count =
            GMIME_IS_MULTIPART(object) ? g_mime_multipart_get_count(GMIME_MULTIPART(object)) : 0;
        if (count == 0) {
            leaves.push_back(index);
            continue;
        }
        for (int i = count - 1; i >= 0; --i) {
            nodes.push_back({g_mime_multipart_get_part(GMIME_MULTIPART(object), i), index});
            pending.push_back(static_cast<int>(nodes.size() - 1));
        }
    }
}

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool isToken(std::string_view text)
{
    static constexpr std::string_view kSeparators = "()<>@,;:\\\"/[]?=";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return c > 0x20 && c < 0x7F && kSeparators.find(static_cast<char>(c)) == kSeparators.npos;
    });
}

std::string mimeTypeOf(GMimeObject* object)
{
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
    const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
    if (!media || !sub || !isToken(media) || !isToken(sub))
        return "application/octet-stream";
    return lowerCase(std::string(media) + "/" + sub);
}

bool isAttachedMailType(std::string_view mimeType)
{
    return mimeType == "message/rfc822" || mimeType == "message/rfc2822"
        || mimeType == "message/global" || mimeType == "message/news";
}

bool hasDisposition(GMimeObject* object, const char* disposition)
{
    const char* value = g_mime_object_get_disposition(object);
    return value && g_ascii_strcasecmp(value, disposition) == 0;
}

std::string text(const char* value)
{
    return value ? repairUtf8(value) : std::string();
}

// The id as a "cid:" link names it. GMime hands back a value it cannot read as an id as it
// stands, brackets and all; no bracket can belong to an id.
std::string contentIdOf(GMimeObject* object)
{
    std::string id = text(g_mime_object_get_content_id(object));
    std::erase_if(id, [](char c) { return c == '<' || c == '>'; });
    return id;
}

// RFC 2231 and RFC 2047 names come decoded from GMime's parameter lists.
std::string fileNameOf(GMimeObject* object)
{
    const char* name = g_mime_object_get_content_disposition_parameter(object, "filename");
    if (!name || !*name)
        name = g_mime_object_get_content_type_parameter(object, "name");
    return text(name);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The content ids an HTML body refers to with cid: URLs, percent-decoded, lower case.
std::set<std::string> referencedContentIds(std::string_view html)
{
    static constexpr std::string_view kEnd = "\"'()<> \t\r\n";
    std::set<std::string> ids;
    const std::string lower = lowerCase(html);
    for (std::size_t at = lower.find("cid:"); at != std::string::npos;
         at = lower.find("cid:", at + 4)) {
        std::string id;
        for (std::size_t i = at + 4; i < lower.size() && kEnd.find(lower[i]) == kEnd.npos; ++i) {
            const int high = i + 2 < lower.size() ? hexValue(lower[i + 1]) : -1;
            const int low = i + 2 < lower.size() ? hexValue(lower[i + 2]) : -1;
            if (lower[i] == '%' && high >= 0 && low >= 0) {
                id += static_cast<char>(high * 16 + low);
                i += 2;
            } else {
                id += lower[i];
            }
        }
        if (!id.empty())
            ids.insert(lowerCase(id));
    }
    return ids;
}

std::string decodedText(GMimeObject* object)
{
    const std::string bytes = readAll(*openPartContent(GMIME_PART(object)));
    const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
    return toUtf8(bytes, charset ? charset : "");
}

// The boundaries of the multiparts around a part, innermost first.
std::vector<std::string> enclosingBoundaries(const std::vector<Node>& nodes, int index)
{
    std::vector<std::string> boundaries;
    for (int p = nodes[static_cast<std::size_t>(index)].parent; p >= 0;
         p = nodes[static_cast<std::size_t>(p)].parent) {
        GMimeObject* object = nodes[static_cast<std::size_t>(p)].object;
        const char* boundary = g_mime_object_get_content_type_parameter(object, "boundary");
        if (boundary && *boundary)
            boundaries.emplace_back(boundary);
    }
    return boundaries;
}

// Text GMime kept whole in a multipart because it could not split it.
std::string unsplitText(GMimeObject* object)
{
    if (!GMIME_IS_MULTIPART(object))
        return {};
    const char* prologue = g_mime_multipart_get_prologue(GMIME_MULTIPART(object));
    return prologue ? prologue : "";
}

enum class Role { PlainBody, HtmlBody, Attachment, None };

} // namespace

void readStructure(GMimeMessage* message, const ParsedSource& source, MailMessage& out)
{
    std::vector<Node> nodes;
    std::vector<int> leaves;
    listParts(message, nodes, leaves);

    // First the bodies, as the HTML body says which parts are shown inline.
    std::vector<Role> roles(leaves.size(), Role::Attachment);
    bool havePlain = false;
    bool haveHtml = false;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        GMimeObject* object = nodes[static_cast<std::size_t>(leaves[i])].object;
        if (GMIME_IS_MULTIPART(object)) {
            const std::string unsplit = unsplitText(object);
            if (unsplit.empty()) {
                roles[i] = Role::None;
            } else if (!havePlain) {
                out.textBody = repairUtf8(unsplit);
                havePlain = true;
                roles[i] = Role::PlainBody;
            }
            continue;
        }
        if (!GMIME_IS_PART(object) || hasDisposition(object, "attachment"))
            continue;
        const std::string type = mimeTypeOf(object);
        if (type == "text/plain" && !havePlain) {
            out.textBody = decodedText(object);
            havePlain = true;
            roles[i] = Role::PlainBody;
        } else if (type == "text/html" && !haveHtml) {
            out.htmlBody = decodedText(object);
            haveHtml = true;
            roles[i] = Role::HtmlBody;
        }
    }

    const std::set<std::string> shownInline = referencedContentIds(out.htmlBody);
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (roles[i] != Role::Attachment)
            continue;
        GMimeObject* object = nodes[static_cast<std::size_t>(leaves[i])].object;
        MailAttachment attachment;
        attachment.fileName = fileNameOf(object);
        attachment.mimeType = mimeTypeOf(object);
        attachment.contentId = contentIdOf(object);
        attachment.isInline = hasDisposition(object, "inline")
            || (!attachment.contentId.empty()
                && shownInline.count(lowerCase(attachment.contentId)) > 0);
        std::shared_ptr<const void> keep = source.backing;
        if (GMIME_IS_MESSAGE_PART(object)) {
            attachment.isMessage = true;
            const ByteRange range = attachedMailRange(
                GMIME_MESSAGE_PART(object), enclosingBoundaries(nodes, leaves[i]), *source.file);
            GMimeStream* stream = source.stream;
            attachment.open = [keep, stream, range] {
                return openStreamRange(stream, range.begin, range.end);
            };
        } else if (GMIME_IS_PART(object)) {
            attachment.isMessage = isAttachedMailType(attachment.mimeType);
            GMimePart* part = GMIME_PART(object);
            attachment.open = [keep, part] { return openPartContent(part); };
        } else {
            // Unsplit multipart text after the plain body: a text attachment of its own.
            attachment.mimeType = "text/plain";
            auto bytes = std::make_shared<const std::string>(unsplitText(object));
            attachment.open = [bytes] { return openBytes(bytes); };
        }
        out.attachments.push_back(std::move(attachment));
    }
}

} // namespace mailmend::mailstore::mime
