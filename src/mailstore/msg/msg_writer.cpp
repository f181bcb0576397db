// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/msg/msg_writer.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "mailstore/attachment_names.h"
#include "mailstore/html_text.h"
#include "mailstore/msg/compound_file.h"
#include "mailstore/msg/property_stream.h"
#include "mailstore/text_encoding.h"

namespace mailmend::mailstore {
namespace {

using msg::CompoundFile;
using msg::CompoundStorage;
using msg::CompoundStream;
using msg::PropertyStream;
using msg::PropertyType;
using msg::propertyTag;

constexpr auto kString = PropertyType::String;

// The properties we write, by their tags.
constexpr std::uint32_t kMessageClass = propertyTag(0x001A, kString);
constexpr std::uint32_t kSubject = propertyTag(0x0037, kString);
constexpr std::uint32_t kClientSubmitTime = propertyTag(0x0039, PropertyType::Time);
constexpr std::uint32_t kSentRepresentingName = propertyTag(0x0042, kString);
constexpr std::uint32_t kSentRepresentingAddressType = propertyTag(0x0064, kString);
constexpr std::uint32_t kSentRepresentingEmailAddress = propertyTag(0x0065, kString);
constexpr std::uint32_t kTransportMessageHeaders = propertyTag(0x007D, kString);
constexpr std::uint32_t kImportance = propertyTag(0x0017, PropertyType::Integer32);
constexpr std::uint32_t kSenderName = propertyTag(0x0C1A, kString);
constexpr std::uint32_t kSenderAddressType = propertyTag(0x0C1E, kString);
constexpr std::uint32_t kSenderEmailAddress = propertyTag(0x0C1F, kString);
constexpr std::uint32_t kRecipientType = propertyTag(0x0C15, PropertyType::Integer32);
constexpr std::uint32_t kDisplayBcc = propertyTag(0x0E02, kString);
constexpr std::uint32_t kDisplayCc = propertyTag(0x0E03, kString);
constexpr std::uint32_t kDisplayTo = propertyTag(0x0E04, kString);
constexpr std::uint32_t kMessageDeliveryTime = propertyTag(0x0E06, PropertyType::Time);
constexpr std::uint32_t kMessageFlags = propertyTag(0x0E07, PropertyType::Integer32);
constexpr std::uint32_t kAttachSize = propertyTag(0x0E20, PropertyType::Integer32);
constexpr std::uint32_t kAttachNumber = propertyTag(0x0E21, PropertyType::Integer32);
constexpr std::uint32_t kObjectType = propertyTag(0x0FFE, PropertyType::Integer32);
constexpr std::uint32_t kBody = propertyTag(0x1000, kString);
constexpr std::uint32_t kHtml = propertyTag(0x1013, PropertyType::Binary);
constexpr std::uint32_t kInternetMessageId = propertyTag(0x1035, kString);
constexpr std::uint32_t kInternetReferences = propertyTag(0x1039, kString);
constexpr std::uint32_t kInReplyToId = propertyTag(0x1042, kString);
constexpr std::uint32_t kRowid = propertyTag(0x3000, PropertyType::Integer32);
constexpr std::uint32_t kDisplayName = propertyTag(0x3001, kString);
constexpr std::uint32_t kAddressType = propertyTag(0x3002, kString);
constexpr std::uint32_t kEmailAddress = propertyTag(0x3003, kString);
constexpr std::uint32_t kCreationTime = propertyTag(0x3007, PropertyType::Time);
constexpr std::uint32_t kLastModificationTime = propertyTag(0x3008, PropertyType::Time);
constexpr std::uint32_t kStoreSupportMask = propertyTag(0x340D, PropertyType::Integer32);
constexpr std::uint32_t kAttachDataBinary = propertyTag(0x3701, PropertyType::Binary);
constexpr std::uint32_t kAttachDataObject = propertyTag(0x3701, PropertyType::Object);
constexpr std::uint32_t kAttachMethod = propertyTag(0x3705, PropertyType::Integer32);
constexpr std::uint32_t kAttachLongFilename = propertyTag(0x3707, kString);
constexpr std::uint32_t kRenderingPosition = propertyTag(0x370B, PropertyType::Integer32);
constexpr std::uint32_t kAttachMimeTag = propertyTag(0x370E, kString);
constexpr std::uint32_t kAttachContentId = propertyTag(0x3712, kString);
constexpr std::uint32_t kAttachContentDisposition = propertyTag(0x3716, kString);
constexpr std::uint32_t kDisplayType = propertyTag(0x3900, PropertyType::Integer32);
constexpr std::uint32_t kSmtpAddress = propertyTag(0x39FE, kString);
constexpr std::uint32_t kInternetCodepage = propertyTag(0x3FDE, PropertyType::Integer32);
constexpr std::uint32_t kSenderSmtpAddress = propertyTag(0x5D01, kString);
constexpr std::uint32_t kSentRepresentingSmtpAddress = propertyTag(0x5D02, kString);
constexpr std::uint32_t kRecipientDisplayName = propertyTag(0x5FF6, kString);
constexpr std::uint32_t kAttachmentHidden = propertyTag(0x7FFE, PropertyType::Boolean);

constexpr std::uint32_t kMessageRead = 0x01;
constexpr std::uint32_t kMessageHasAttachments = 0x10;
constexpr std::uint32_t kStoreUnicodeOk = 0x00040000;
constexpr std::uint32_t kCodepageUtf8 = 65001;
constexpr std::uint32_t kAttachByValue = 1;
constexpr std::uint32_t kAttachEmbeddedMessage = 5;
constexpr std::uint32_t kMailUser = 6;

// A message holds at most this many recipient storages and as many attachment storages.
constexpr std::size_t kMaxStorages = 2048;
// A stream's size is a 32-bit number in the container and in the property entry.
constexpr std::uint64_t kMaxStreamBytes = 0xFFFFFFFF;
constexpr std::size_t kCopyPiece = std::size_t{1} << 16;

const char* const kPropertiesStream = "__properties_version1.0";

std::optional<std::uint64_t> fileTime(std::optional<std::int64_t> unixSeconds)
{
    constexpr std::int64_t kSecondsFrom1601 = 11644473600;
    constexpr std::int64_t kTicksPerSecond = 10000000;
    if (!unixSeconds || *unixSeconds < -kSecondsFrom1601 ||
        *unixSeconds > std::numeric_limits<std::int64_t>::max() / kTicksPerSecond - kSecondsFrom1601)
        return std::nullopt;
    return static_cast<std::uint64_t>((*unixSeconds + kSecondsFrom1601) * kTicksPerSecond);
}

std::string displayName(const MailAddress& address)
{
    return address.name.empty() ? address.address : address.name;
}

struct Recipient {
    const MailAddress* address;
    std::uint32_t type; // 1 To, 2 Cc, 3 Bcc
};

// Converts UTF-8 to UTF-16LE straight into a stream, a piece at a time.
class Utf16Stream {
public:
    Utf16Stream(CompoundStream& stream, bool crlf) : m_stream(stream), m_crlf(crlf) {}

    bool append(std::string_view utf8)
    {
        std::size_t pos = 0;
        while (pos < utf8.size()) {
            const char32_t c = nextCodePoint(utf8, pos);
            if (m_crlf && (c == '\r' || c == '\n')) {
                // CR LF, LF and a lone CR each end one line; a CR LF split between two
                // pieces is still one.
                if (c == '\r' || !m_afterCarriageReturn) {
                    unit(u'\r');
                    unit(u'\n');
                }
                m_afterCarriageReturn = c == '\r';
                continue;
            }
            m_afterCarriageReturn = false;
            if (c < 0x10000) {
                unit(static_cast<char16_t>(c));
            } else {
                unit(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                unit(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            }
            if (m_buffer.size() >= kCopyPiece && !flush())
                return false;
        }
        return flush();
    }

private:
    void unit(char16_t u)
    {
        m_buffer += static_cast<char>(u & 0xFF);
        m_buffer += static_cast<char>(u >> 8);
    }

    bool flush()
    {
        const bool ok = m_stream.write(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }

    CompoundStream& m_stream;
    bool m_crlf;
    bool m_afterCarriageReturn = false;
    std::string m_buffer;
};

class MessageWriter {
public:
    MessageWriter(CompoundFile& file, const MsgOptions& options) : m_file(file), m_options(options) {}

    bool message(CompoundStorage& storage, const MailMessage& mail, bool topLevel, int depth,
                 std::size_t firstAttachmentIndex = 0)
    {
        PropertyStream properties;
        if (topLevel && !namedPropertyMap(storage))
            return false;
        bool ok = string(storage, properties, kMessageClass, "IPM.Note") &&
                  string(storage, properties, kSubject, mail.subject) && people(storage, properties, mail) &&
                  bodies(storage, properties, mail) &&
                  string(storage, properties, kTransportMessageHeaders, mail.transportHeaders) &&
                  string(storage, properties, kInternetMessageId, mail.messageId) &&
                  string(storage, properties, kInReplyToId, mail.inReplyTo) &&
                  string(storage, properties, kInternetReferences, mail.references);
        if (!ok)
            return false;
        dates(properties, mail);
        properties.addInteger32(kImportance, 1);
        properties.addInteger32(kStoreSupportMask, kStoreUnicodeOk);
        properties.addInteger32(kMessageFlags,
                                kMessageRead | (mail.attachments.empty() ? 0 : kMessageHasAttachments));

        const std::vector<Recipient> recipients = recipientList(mail);
        for (std::size_t i = 0; i < recipients.size(); ++i) {
            if (!recipient(storage, i, recipients[i]))
                return false;
        }
        std::size_t attachments = 0;
        if (!attachmentStorages(storage, mail, depth, firstAttachmentIndex, attachments))
            return false;
        const auto owner = topLevel ? PropertyStream::Owner::Message : PropertyStream::Owner::EmbeddedMessage;
        return storage.writeStream(kPropertiesStream,
                                   properties.bytes(owner, static_cast<std::uint32_t>(recipients.size()),
                                                    static_cast<std::uint32_t>(attachments)));
    }

private:
    // The map of named properties. We use none, so its three streams are empty.
    bool namedPropertyMap(CompoundStorage& storage)
    {
        const std::unique_ptr<CompoundStorage> map = storage.addStorage("__nameid_version1.0");
        return map && map->writeStream(msg::valueStreamName(0x00020102), {}) &&
               map->writeStream(msg::valueStreamName(0x00030102), {}) &&
               map->writeStream(msg::valueStreamName(0x00040102), {});
    }

    // A string property; an empty one is left out, as readers must refuse it.
    bool string(CompoundStorage& storage, PropertyStream& properties, std::uint32_t tag, std::string_view text,
                bool crlf = false)
    {
        if (text.empty())
            return true;
        return streamed(storage, properties, tag, [&](CompoundStream& stream) {
            return Utf16Stream(stream, crlf).append(text);
        });
    }

    // A property whose value `fill` writes into its own stream.
    template <typename Fill>
    bool streamed(CompoundStorage& storage, PropertyStream& properties, std::uint32_t tag, Fill fill)
    {
        const std::unique_ptr<CompoundStream> stream = storage.addStream(msg::valueStreamName(tag));
        if (!stream || !fill(*stream))
            return false;
        const std::uint64_t size = stream->size();
        if (!stream->close())
            return false;
        if (size > kMaxStreamBytes) {
            m_file.fail("a value is larger than a .msg file can hold (4 GiB)");
            return false;
        }
        properties.addStreamed(tag, size);
        return true;
    }

    bool people(CompoundStorage& storage, PropertyStream& properties, const MailMessage& mail)
    {
        // The Sender header names who sent it on the author's behalf; without one the
        // author sent it.
        const MailAddress& sender =
            (mail.sender.name.empty() && mail.sender.address.empty()) ? mail.from : mail.sender;
        const std::string_view senderType = sender.address.empty() ? "" : "SMTP";
        const std::string_view fromType = mail.from.address.empty() ? "" : "SMTP";
        bool ok = string(storage, properties, kSenderName, displayName(sender)) &&
                  string(storage, properties, kSenderAddressType, senderType) &&
                  string(storage, properties, kSenderEmailAddress, sender.address) &&
                  string(storage, properties, kSenderSmtpAddress, sender.address) &&
                  string(storage, properties, kSentRepresentingName, displayName(mail.from)) &&
                  string(storage, properties, kSentRepresentingAddressType, fromType) &&
                  string(storage, properties, kSentRepresentingEmailAddress, mail.from.address) &&
                  string(storage, properties, kSentRepresentingSmtpAddress, mail.from.address);
        // Readers find a recipient's address by looking its display name up among the
        // recipient storages, so these lists hold exactly those names.
        std::string lists[3];
        for (const Recipient& r : recipientList(mail)) {
            std::string& list = lists[r.type - 1];
            if (!list.empty())
                list += "; ";
            list += displayName(*r.address);
        }
        return ok && string(storage, properties, kDisplayTo, lists[0]) &&
               string(storage, properties, kDisplayCc, lists[1]) &&
               string(storage, properties, kDisplayBcc, lists[2]);
    }

    bool bodies(CompoundStorage& storage, PropertyStream& properties, const MailMessage& mail)
    {
        if (!mail.textBody.empty()) {
            if (!string(storage, properties, kBody, mail.textBody, true))
                return false;
        } else if (!mail.htmlBody.empty()) {
            // Readers that show no HTML still get the text.
            const bool ok = streamed(storage, properties, kBody, [&](CompoundStream& stream) {
                Utf16Stream text(stream, true);
                bool written = true;
                htmlToText(mail.htmlBody, [&](std::string_view piece) { written = written && text.append(piece); });
                return written;
            });
            if (!ok)
                return false;
        }
        if (mail.htmlBody.empty())
            return true;
        properties.addInteger32(kInternetCodepage, kCodepageUtf8);
        return streamed(storage, properties, kHtml, [&](CompoundStream& stream) {
            return stream.write(mail.htmlBody.data(), mail.htmlBody.size());
        });
    }

    static void dates(PropertyStream& properties, const MailMessage& mail)
    {
        const std::optional<std::uint64_t> sent = fileTime(mail.date);
        const std::optional<std::uint64_t> received = fileTime(mail.receivedDate);
        const std::optional<std::uint64_t> delivered = received ? received : sent;
        if (sent)
            properties.addTime(kClientSubmitTime, *sent);
        if (delivered) {
            properties.addTime(kMessageDeliveryTime, *delivered);
            properties.addTime(kCreationTime, *delivered);
            properties.addTime(kLastModificationTime, *delivered);
        }
    }

    static std::vector<Recipient> recipientList(const MailMessage& mail)
    {
        std::vector<Recipient> list;
        const std::vector<MailAddress>* groups[3] = {&mail.to, &mail.cc, &mail.bcc};
        for (std::uint32_t type = 1; type <= 3; ++type) {
            for (const MailAddress& address : *groups[type - 1]) {
                if (list.size() == kMaxStorages)
                    return list; // the header block keeps the rest
                if (!address.name.empty() || !address.address.empty())
                    list.push_back({&address, type});
            }
        }
        return list;
    }

    bool recipient(CompoundStorage& parent, std::size_t number, const Recipient& r)
    {
        const std::unique_ptr<CompoundStorage> storage =
            parent.addStorage(msg::numberedName("__recip_version1.0_#", number));
        if (!storage)
            return false;
        PropertyStream properties;
        properties.addInteger32(kRowid, static_cast<std::uint32_t>(number));
        properties.addInteger32(kRecipientType, r.type);
        properties.addInteger32(kObjectType, kMailUser);
        properties.addInteger32(kDisplayType, 0);
        const std::string name = displayName(*r.address);
        const std::string& address = r.address->address;
        const bool ok = string(*storage, properties, kDisplayName, name) &&
                        string(*storage, properties, kRecipientDisplayName, name) &&
                        string(*storage, properties, kAddressType, address.empty() ? "" : "SMTP") &&
                        string(*storage, properties, kEmailAddress, address) &&
                        string(*storage, properties, kSmtpAddress, address);
        return ok && storage->writeStream(kPropertiesStream, properties.bytes(PropertyStream::Owner::Child));
    }

    // Writes the attachment storages of a message and counts them in `number`. Past
    // kMaxStorages, the last places hold messages that carry the remaining attachments.
    bool attachmentStorages(CompoundStorage& storage, const MailMessage& mail, int depth, std::size_t firstIndex,
                            std::size_t& number)
    {
        const std::size_t count = mail.attachments.size();
        // The fewest carriers c with (kMaxStorages - c) + c * kMaxStorages >= count: each
        // carrier takes kMaxStorages attachments and gives up one place of its own.
        const std::size_t carriers =
            count <= kMaxStorages ? 0 : (count - kMaxStorages + (kMaxStorages - 2)) / (kMaxStorages - 1);
        const std::size_t inPlace = carriers == 0 ? count : kMaxStorages - carriers;
        for (number = 0; number < inPlace; ++number) {
            if (!attachment(storage, number, mail.attachments[number], firstIndex + number, depth))
                return false;
        }
        for (std::size_t group = 0; group < carriers; ++group, ++number) {
            const std::size_t begin = inPlace + group * kMaxStorages;
            const std::size_t end = std::min(count, begin + kMaxStorages);
            MailMessage rest;
            rest.subject = "Attachments " + std::to_string(firstIndex + begin + 1) + " to " +
                           std::to_string(firstIndex + end) + " of " + std::to_string(firstIndex + count);
            rest.from = mail.from;
            rest.date = mail.date;
            rest.attachments.assign(mail.attachments.begin() + static_cast<std::ptrdiff_t>(begin),
                                    mail.attachments.begin() + static_cast<std::ptrdiff_t>(end));
            if (!embedded(storage, number, rest, rest.subject + ".eml", depth, firstIndex + begin))
                return false;
        }
        return true;
    }

    bool attachment(CompoundStorage& parent, std::size_t number, const MailAttachment& attachment,
                    std::size_t index, int depth)
    {
        const std::string name = safeAttachmentName(attachment, index);
        if (attachment.isMessage && m_options.parseAttachedMail && depth < m_options.maxEmbeddingDepth) {
            std::optional<MailMessage> inner;
            if (!attachedMail(attachment, inner))
                return false;
            if (inner)
                return embedded(parent, number, *inner, name, depth + 1, 0);
        }
        return byValue(parent, number, attachment, name);
    }

    // Reads and parses an attached mail; leaves `inner` empty when it is too long to
    // embed or the parser gives up. False only when the attachment cannot be read.
    bool attachedMail(const MailAttachment& attachment, std::optional<MailMessage>& inner)
    {
        std::string text;
        bool tooLong = false;
        if (!readAll(attachment, text, m_options.maxEmbeddedMailBytes, tooLong))
            return false;
        if (tooLong)
            return true;
        try {
            inner = m_options.parseAttachedMail(std::move(text));
        } catch (...) {
            inner.reset(); // kept as a file instead
        }
        return true;
    }

    // Hands an attachment's content to `use` a piece at a time, until the end or until
    // `use` says stop. False (the file failed) when the content cannot be read.
    template <typename Use>
    bool readPieces(const MailAttachment& attachment, Use use)
    {
        std::unique_ptr<ByteSource> source = attachment.open ? attachment.open() : nullptr;
        if (!source) {
            m_file.fail("an attachment cannot be opened");
            return false;
        }
        std::vector<char> piece(kCopyPiece);
        for (;;) {
            const std::ptrdiff_t got = source->read(piece.data(), piece.size());
            if (got == 0)
                return true;
            if (got < 0 || static_cast<std::size_t>(got) > piece.size()) {
                m_file.fail("an attachment cannot be read");
                return false;
            }
            if (!use(std::string_view(piece.data(), static_cast<std::size_t>(got))))
                return !m_file.failed();
        }
    }

    bool readAll(const MailAttachment& attachment, std::string& text, std::size_t limit, bool& tooLong)
    {
        return readPieces(attachment, [&](std::string_view piece) {
            tooLong = text.size() + piece.size() > limit;
            if (!tooLong)
                text.append(piece);
            return !tooLong;
        });
    }

    bool copyData(const MailAttachment& attachment, CompoundStream& stream)
    {
        return readPieces(attachment, [&](std::string_view piece) {
            if (stream.size() + piece.size() > kMaxStreamBytes) {
                m_file.fail("an attachment is larger than a .msg file can hold (4 GiB)");
                return false;
            }
            return stream.write(piece.data(), piece.size());
        });
    }

    bool byValue(CompoundStorage& parent, std::size_t number, const MailAttachment& attachment,
                 const std::string& name)
    {
        const std::unique_ptr<CompoundStorage> storage =
            parent.addStorage(msg::numberedName("__attach_version1.0_#", number));
        if (!storage)
            return false;
        PropertyStream properties;
        std::uint64_t size = 0;
        const bool copied = streamed(*storage, properties, kAttachDataBinary, [&](CompoundStream& stream) {
            const bool ok = copyData(attachment, stream);
            size = stream.size();
            return ok;
        });
        if (!copied)
            return false;
        const std::string mimeType = attachment.isMessage ? "message/rfc822"
                                     : attachment.mimeType.empty() ? "application/octet-stream"
                                                                    : attachment.mimeType;
        properties.addInteger32(kAttachNumber, static_cast<std::uint32_t>(number));
        properties.addInteger32(kAttachMethod, kAttachByValue);
        properties.addInteger32(kAttachSize, static_cast<std::uint32_t>(std::min<std::uint64_t>(size, kMaxStreamBytes)));
        properties.addInteger32(kRenderingPosition, 0xFFFFFFFF);
        // An image the HTML body shows is not listed among the attachments.
        if (attachment.isInline && !attachment.contentId.empty())
            properties.addBoolean(kAttachmentHidden, true);
        const bool ok = string(*storage, properties, kAttachLongFilename, name) &&
                        string(*storage, properties, kDisplayName, name) &&
                        string(*storage, properties, kAttachMimeTag, mimeType) &&
                        string(*storage, properties, kAttachContentId, attachment.contentId) &&
                        string(*storage, properties, kAttachContentDisposition,
                               attachment.isInline ? "inline" : "attachment");
        return ok && storage->writeStream(kPropertiesStream, properties.bytes(PropertyStream::Owner::Child));
    }

    bool embedded(CompoundStorage& parent, std::size_t number, const MailMessage& inner, const std::string& name,
                  int depth, std::size_t firstIndex)
    {
        const std::unique_ptr<CompoundStorage> storage =
            parent.addStorage(msg::numberedName("__attach_version1.0_#", number));
        if (!storage)
            return false;
        {
            const std::unique_ptr<CompoundStorage> content = storage->addStorage(msg::valueStreamName(kAttachDataObject));
            if (!content || !message(*content, inner, false, depth, firstIndex))
                return false;
        }
        PropertyStream properties;
        properties.addObject(kAttachDataObject);
        properties.addInteger32(kAttachNumber, static_cast<std::uint32_t>(number));
        properties.addInteger32(kAttachMethod, kAttachEmbeddedMessage);
        properties.addInteger32(kRenderingPosition, 0xFFFFFFFF);
        const bool ok = string(*storage, properties, kDisplayName, inner.subject.empty() ? name : inner.subject) &&
                        string(*storage, properties, kAttachLongFilename, name) &&
                        string(*storage, properties, kAttachMimeTag, "message/rfc822");
        return ok && storage->writeStream(kPropertiesStream, properties.bytes(PropertyStream::Owner::Child));
    }

    CompoundFile& m_file;
    const MsgOptions& m_options;
};

} // namespace

bool writeMsgFile(const MailMessage& mail, const std::filesystem::path& path, const MsgOptions& options,
                  std::string& error)
{
    try {
        CompoundFile file(kMaxMsgEntries);
        if (!file.create(path)) {
            error = file.error();
            return false;
        }
        const bool written = MessageWriter(file, options).message(file.root(), mail, true, 0);
        if (!written)
            file.fail("cannot write the message");
        if (!file.finish()) {
            error = file.error();
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        error = std::string("cannot write the message: ") + e.what();
    } catch (...) {
        error = "cannot write the message";
    }
    return false;
}

} // namespace mailmend::mailstore
