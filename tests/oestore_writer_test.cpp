// SPDX-License-Identifier: GPL-3.0-or-later
// The folder-file writer, checked by undbx (normal, index-reading mode) and our reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dbx/dbx_file.h"
#include "dbx/folder_file_writer.h"
#include "dbx/index_tree.h"
#include "support/dbx_fixture.h"
#include "support/dbx_folder_maker.h"
#include "support/temp_dir.h"

namespace mailmend::dbx {
namespace {

namespace fs = std::filesystem;
using Mails = std::vector<std::string>;

std::string mail(int n, std::size_t bodySize, const std::string& eol = "\r\n",
                 const std::string& extraHeaders = "")
{
    std::string text = "From: Sender " + std::to_string(n) + " <s" + std::to_string(n)
        + "@example.org>" + eol + "To: r@example.org" + eol + "Subject: mail " + std::to_string(n)
        + eol + "Date: Tue, 1 Jul 2003 10:52:37 +0200" + eol + "Message-ID: <" + std::to_string(n)
        + "@example.org>" + eol + extraHeaders + eol;
    for (std::size_t i = 0; text.size() < bodySize; ++i)
        text += "line " + std::to_string(i) + " of mail " + std::to_string(n) + eol;
    return text;
}

Mails numbered(int count, const std::function<std::size_t(int)>& size)
{
    Mails mails;
    for (int i = 0; i < count; ++i)
        mails.push_back(mail(i, size(i), i % 2 ? "\n" : "\r\n"));
    return mails;
}

// Our own reader in its normal mode: the mails its block scan finds, sorted.
Mails readerMails(const fs::path& file)
{
    testing::TempDir out;
    DbxFile reader;
    Mails mails;
    std::int32_t count = -1;
    if (!reader.open(file.string()) || reader.findConvertableMails(count) < 0)
        return {"<no file>"};
    for (std::int32_t i = 0; i < count; ++i) {
        std::string written;
        mails.push_back(reader.saveMailToEML(out.path(), written, i) ? testing::readFile(written)
                                                                     : "<not written>");
    }
    std::sort(mails.begin(), mails.end());
    return mails;
}

struct FolderCase {
    const char* name;
    std::function<Mails()> mails;
};

Mails nonAsciiHeaders()
{
    return {
        mail(1, 600, "\r\n", "X-Note: raw Latin-1 \xE9\xE8\r\n"),
        "From: =?ISO-8859-1?Q?Andr=E9?= <a@example.org>\r\n"
        "Subject: Caf\xC3\xA9 \xF0\x9F\x98\x80\r\n\r\nx\r\n",
        "From: \"Jos\xE9\" <j@example.org>\nSubject: =?KOI8-R?B?8NLJ18XU?=\n\nbody\n",
        "Subject: " + std::string(3000, 's') + "\r\n\r\nlong subject\r\n",
    };
}

std::size_t blockEdge(int i) { return 510 + std::size_t(i) * 257; }
std::size_t varied(int i) { return std::size_t(300 + (i * 37) % 5000); }
std::size_t small(int i) { return std::size_t(200 + (i * 7) % 1500); }

const FolderCase kFolders[] {
    {"none", [] { return Mails {}; }},
    {"one", [] { return Mails {mail(1, 349)}; }},
    {"two with CRLF and LF", [] { return Mails {mail(1, 2000), mail(2, 700, "\n")}; }},
    {"block edges", [] { return numbered(9, blockEdge); }},
    {"thousand", [] { return numbered(1000, varied); }},
    {"fifty thousand", [] { return numbered(50000, small); }},
    {"twenty megabytes", [] { return Mails {mail(1, 20 * 1024 * 1024), mail(2, 100)}; }},
    {"non-ASCII headers", nonAsciiHeaders},
};

// Every size of tree, also those whose leaves come out exactly full (52 values, 2704, ...),
// reads back as it was built.
TEST(FolderFileWriter, IndexTreesOfEverySizeReadBack)
{
    for (std::uint32_t n = 1; n <= 3000; ++n) {
        std::vector<std::uint32_t> values(n);
        for (std::uint32_t i = 0; i < n; ++i)
            values[i] = 0x10000 + 16 * i;
        std::vector<dbx::TreeNodeBytes> nodes;
        const auto built = dbx::buildIndexTree(values, [&]() -> std::optional<std::uint32_t> {
            nodes.emplace_back();
            return 0x100000 + static_cast<std::uint32_t>(nodes.size() - 1) * dbx::kTreeNodeSize;
        });
        ASSERT_TRUE(built) << n;
        for (const auto& node : built->nodes)
            nodes[(node.offset - 0x100000) / dbx::kTreeNodeSize] = node.bytes;
        const auto read = dbx::readIndexTree(built->root, n, [&](std::uint32_t offset, dbx::TreeNodeBytes& node) {
            const std::size_t at = (offset - 0x100000) / dbx::kTreeNodeSize;
            if (offset < 0x100000 || at >= nodes.size())
                return false;
            node = nodes[at];
            return true;
        });
        ASSERT_EQ(read, values) << n << " values";
    }
}

TEST(FolderFileWriter, UndbxAndOurReaderGetEveryMailBack)
{
    if (!testing::programInstalled("undbx"))
        GTEST_SKIP() << "undbx is not installed";
    for (const auto& folder : kFolders) {
        SCOPED_TRACE(folder.name);
        testing::TempDir dir;
        Mails mails = folder.mails();
        const fs::path file = dir / "Inbox.dbx";
        ASSERT_EQ(testing::makeDbxFolder(file, mails), static_cast<int>(mails.size()));
        std::sort(mails.begin(), mails.end());

        const auto extracted = testing::undbxMails(file);
        ASSERT_TRUE(extracted.has_value());
        EXPECT_EQ(extracted->size(), mails.size());
        EXPECT_TRUE(*extracted == mails) << "undbx gives other mails";
        EXPECT_TRUE(readerMails(file) == mails) << "our reader gives other mails";
    }
}

// The index fields undbx reads back, as it names its files: sender name and address,
// recipient name and address (15 bytes each, "<>" turned into "_"), subject, then the
// low words of the received and sent FILETIMEs. Texts are Windows-1252.
TEST(FolderFileWriter, IndexFieldsComeFromTheHeader)
{
    if (!testing::programInstalled("undbx"))
        GTEST_SKIP() << "undbx is not installed";
    const struct {
        std::string header;
        std::string undbxName;
    } cases[] {
        {"From: =?ISO-8859-1?Q?Andr=E9_M=FCller?= <andre@example.org>\r\n"
         "To: \"Bob, Jr.\" <bob@example.org>, c@d.org\r\n"
         "Subject: =?UTF-8?B?Q2Fmw6kg4oCTIOKAnOKCrOKAnQ==?=\r\n"
         "Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n",
         "Andr\xE9 M\xFCller_andre@example.o_Bob, Jr.__bob@example.or_"
         "Caf\xE9 \x96 \x93\x80\x94.1ECB3880.1ECB3880.eml"},
        {"From: plain@example.org (Plain Person)\nTo: undisclosed-recipients:;\n"
         "Subject: Re: Fw: raw \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80\nDate: 1 Jan 70 00:00 GMT\n",
         "Plain Person_plain@example.o___Re_ Fw_ raw \xE9t\xE9 __.D53E8000.D53E8000.eml"},
        {"From: \"Jos\xE9\" <jose@example.org>\nCc: Team: x@y.org, z@y.org;\n"
         "Subject: =?KOI8-R?B?8NLJ18XU?= and =?iso-8859-15?q?=A4uro?=\n"
         "Date: Sun, 31 Dec 2000 23:59:59 -0800\n",
         "Jos\xE9_jose@example.or_x@y.org__x@y.org__=_KOI8-R_B_8NLJ18XU_= and \x80uro"
         ".D6286980.D6286980.eml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.undbxName);
        testing::TempDir dir;
        ASSERT_EQ(testing::makeDbxFolder(dir / "Inbox.dbx", {c.header + "\r\nbody\r\n"}), 1);
        EXPECT_EQ(testing::undbxFileNames(dir / "Inbox.dbx"),
                  std::vector<std::string> {c.undbxName});
    }
}

} // namespace
} // namespace mailmend::dbx
