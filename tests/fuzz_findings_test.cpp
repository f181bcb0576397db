// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs the fuzz targets found that once went wrong, each pinned where it went wrong.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dbx/mail_date.h"
#include "mailstore/mime/mime_parser.h"

namespace mailmend {
namespace {

// A Date whose comment is left open ran the date reader one past the text's end, and it
// threw: the folder-file writer refused the mail, and with mail file times on the
// Advanced Scan let the exception out of carveMails.
TEST(FuzzFindings, DateWithACommentLeftOpen)
{
    EXPECT_EQ(dbx::parseMailDate("Wed, 09(Mar 2005 09:00:00 +0000"), std::nullopt);
    EXPECT_EQ(dbx::parseMailDate("Tue, 1 Jul 2003 10:52:37 +0200 (CEST"),
              dbx::parseMailDate("Tue, 1 Jul 2003 10:52:37 +0200"));
    EXPECT_EQ(dbx::parseMailDate("("), std::nullopt);
}

// A Content-ID GMime cannot read as an id came back brackets and all, so a store held an
// id no "cid:" link can name.
TEST(FuzzFindings, ContentIdThatIsNoId)
{
    const std::string mail = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                             "Content-Type: image/png\r\nContent-ID: <a <b@c.d>\r\n\r\nx\r\n--b--\r\n";
    const mailstore::MailMessage parsed = mailstore::parseMailText(mail);
    ASSERT_EQ(parsed.attachments.size(), 1u);
    EXPECT_EQ(parsed.attachments[0].contentId.find_first_of("<>"), std::string::npos)
        << parsed.attachments[0].contentId;
}

} // namespace
} // namespace mailmend
