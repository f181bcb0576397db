// SPDX-License-Identifier: GPL-3.0-or-later
// .rtf documents written from hand-built mails, read back by unrtf.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "mailstore/rtf/rtf_writer.h"
#include "msgrtf_peer.h"
#include "support/temp_dir.h"

namespace mailmend::mailstore {
namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(RtfWriter, UnrtfShowsHeaderAndBody)
{
    const std::string accents = "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F \xE2\x82\xAC";
    const std::string cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    const std::string cjk = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    const std::string emoji = "\xF0\x9F\x98\x80";
    MailMessage base;
    base.subject = "Report";
    base.from = {"Alice Example", "alice@example.org"};
    base.to = {{"Bob", "bob@example.org"}, {"", "carol@example.org"}};
    base.date = 1704103200; // 10:00 UTC
    base.transportHeaders = "Subject: Report\r\nDate: Mon, 1 Jan 2024 11:00:00 +0100 (CET)";
    base.textBody = "Hello";
    struct Case {
        const char* name;
        MailMessage mail;
        std::vector<std::string> lines; // in this order, as lines of unrtf's text
        std::vector<std::string> absent;
    };
    std::vector<Case> cases(5, {"", base, {}, {}});
    cases[0].name = "header block, RTF specials, line ends";
    cases[0].mail.subject = "Braces {x} and back\\slash";
    cases[0].mail.cc = {{"Dave", "dave@example.org"}};
    cases[0].mail.textBody = "Line one\twith tab\r\nline two {braces}\n\nlast\rreally";
    cases[0].mail.attachments = {testing::attachment("a.txt", "text/plain", "1"),
                                 testing::attachment("../a.txt", "text/plain", "2"),
                                 testing::attachment("", "image/png", "3")};
    cases[0].lines = {"From:\tAlice Example <alice@example.org>", "Sent:\tMonday, 1 January 2024 11:00 +0100",
                      "To:\tBob <bob@example.org>; carol@example.org", "Cc:\tDave <dave@example.org>",
                      "Subject:\tBraces {x} and back\\slash", "Attachments:\ta.txt; a (2).txt; attachment-3.png",
                      "Line one\twith tab", "line two {braces}", "", "last", "really"};
    cases[0].absent = {"Bcc:"};
    cases[1].name = "non-ASCII";
    cases[1].mail.subject = accents + " " + emoji;
    cases[1].mail.from.name = "J\xC3\xBCrgen";
    cases[1].mail.textBody = cyrillic + "\n" + cjk + " " + emoji + "\n";
    cases[1].lines = {"From:\tJ\xC3\xBCrgen <alice@example.org>", "Subject:\t" + accents + " " + emoji, cyrillic,
                      cjk + " " + emoji};
    cases[2].name = "text from the HTML body";
    cases[2].mail.textBody.clear();
    cases[2].mail.htmlBody = "<html><head><title>T</title><style>p {}</style></head><body>"
                             "<p>Hello&nbsp;Bob &amp;  Carol &#x1F600;</p><script>alert(1)</script>"
                             "<ul><li>one<li>two</ul><pre>a b\n c</pre><table><tr><td>c1<td>c2</table><br>";
    cases[2].lines = {"Hello Bob & Carol " + emoji, "", "- one", "- two", "", "a b", " c", "", "c1\tc2"};
    cases[2].absent = {"alert", "p {}"};
    cases[3].name = "no usable date, nothing but a Date header";
    cases[3].mail.date.reset();
    cases[3].mail.transportHeaders = "Date: sometime\r\n yesterday";
    cases[3].lines = {"Sent:\tsometime yesterday"};
    cases[4].name = "empty fields left out";
    cases[4].mail.subject.clear();
    cases[4].mail.to.clear();
    cases[4].mail.date = 1704103200000000; // beyond the year 9999
    cases[4].mail.transportHeaders.clear();
    cases[4].absent = {"Subject:", "To:", "Sent:", "Attachments:"};

    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path file = dir / "mail.rtf";
        std::string error;
        ASSERT_TRUE(writeRtfFile(c.mail, file, error)) << error;
        READ_WITH_PEERS(peers, "rtf", file);
        // unrtf's HTML keeps every character; its text shows ASCII and puts each value
        // on a line of its own after the label.
        const std::vector<std::string> lines = linesOf(peers.text("rtf.html"));
        const std::string text = peers.text("rtf.text");
        auto at = lines.begin();
        for (const std::string& expected : c.lines) {
            std::string wanted = expected;
            const std::size_t tab = wanted.find('\t');
            if (tab != std::string::npos) // unrtf pads a tab with spaces to a multiple of 8
                wanted.replace(tab, 1, std::string(8 - tab % 8, ' '));
            const auto found = std::find(at, lines.end(), wanted);
            EXPECT_NE(found, lines.end()) << "\"" << expected << "\" in\n" << peers.text("rtf.html");
            at = found == lines.end() ? at : found + 1;
            for (std::size_t piece = 0; std::all_of(expected.begin(), expected.end(), [](char ch) { return ch > 0; }) &&
                                        piece < expected.size();) {
                const std::size_t end = std::min(expected.find('\t', piece), expected.size());
                EXPECT_NE(text.find(expected.substr(piece, end - piece)), std::string::npos) << expected;
                piece = end + 1;
            }
        }
        for (const std::string& unwanted : c.absent)
            EXPECT_EQ(peers.text("rtf.html").find(unwanted), std::string::npos) << unwanted;
    }
}

TEST(RtfWriter, FailureLeavesNoFile)
{
    testing::TempDir dir;
    const std::filesystem::path file = dir / "no such folder" / "mail.rtf";
    std::string error;
    EXPECT_FALSE(writeRtfFile(MailMessage(), file, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
} // namespace mailmend::mailstore
