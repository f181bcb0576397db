// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/mail_fields.h"
#include "mailstore/pst/message_writer.h"
#include "mailstore/pst/property_tags.h"
#include "mailstore/pst/table_columns.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::uint32_t kMailUser = 6; // object type of a recipient
constexpr std::uint32_t kTo = 1;
constexpr std::uint32_t kCc = 2;
constexpr std::uint32_t kBcc = 3;

TableRow recipientRow(std::uint32_t rowId, std::uint32_t type, const MailAddress& address)
{
    TableRow row(rowId);
    const std::string name = displayName(address);
    row.setInt32(tag::kRecipientType, type);
    row.setBool(tag::kResponsibility, false);
    row.setInt32(tag::kObjectType, kMailUser);
    row.setInt32(tag::kDisplayType, 0);
    row.setBool(tag::kSendRichInfo, false);
    row.setString(tag::kDisplayName, name);
    row.setString(tag::kTransmittableDisplayName, name);
    if (!address.address.empty()) {
        row.setString(tag::kAddressType, "SMTP");
        row.setString(tag::kEmailAddress, address.address);
        row.setString(tag::kSmtpAddress, address.address);
        row.setBinary(tag::kEntryId, oneOffEntryId(name, address.address));
        row.setBinary(tag::kSearchKey, addressSearchKey(address.address));
    }
    return row;
}

} // namespace

bool writeRecipientTable(BlockStore& store, const MailMessage& mail, SubnodeList& subnodes,
                         std::string& error)
{
    TableContextBuilder table(store, recipientColumns());
    std::uint32_t rowId = 0;
    const struct {
        std::uint32_t type;
        const std::vector<MailAddress>& list;
    } groups[] = {{kTo, mail.to}, {kCc, mail.cc}, {kBcc, mail.bcc}};
    for (const auto& group : groups) {
        for (const MailAddress& address : group.list) {
            if (address.name.empty() && address.address.empty())
                continue;
            if (!table.hasRoomForRow()) {
                error = "the mail has more recipients than a message can hold";
                return false;
            }
            if (!table.addRow(recipientRow(rowId++, group.type, address))) {
                error = "cannot store the recipients";
                return false;
            }
        }
    }
    const auto blocks = table.finish();
    if (!blocks) {
        error = "cannot store the recipients";
        return false;
    }
    subnodes.add(kRecipientTableNid, *blocks);
    return true;
}

} // namespace mailmend::mailstore::pst
