// SPDX-License-Identifier: GPL-3.0-or-later
// Attachment names from a mail made safe for the file system, and kept apart.
#include <gtest/gtest.h>

#include <set>

#include "mailstore/attachment_names.h"

namespace mailmend::mailstore {
namespace {

MailAttachment named(std::string name, std::string type = "application/octet-stream")
{
    MailAttachment a;
    a.fileName = std::move(name);
    a.mimeType = std::move(type);
    return a;
}

TEST(AttachmentNames, HostileNamesBecomeSafe)
{
    const std::string e = "\xC3\xA9";   // é, two bytes
    const std::string cjk = "\xE6\x97\xA5"; // 日, three bytes
    const struct {
        std::string name;
        std::string type;
        std::string expected;
    } cases[] = {
        {"report.pdf", "application/pdf", "report.pdf"},
        {"../../x", "", "x"},
        {"/etc/passwd", "", "passwd"},
        {"a\\b", "", "b"},
        {"C:\\Users\\me\\..\\evil.exe", "", "evil.exe"},
        {"", "image/png", "attachment-4.png"},
        {"", "", "attachment-4.bin"},
        {"...", "text/plain", "attachment-4.txt"},
        {"..", "message/rfc822", "attachment-4.eml"},
        {"a\tb\r\nc\x01\x7f.txt", "", "abc.txt"},
        {"wh<a>t:\"is|this?*.doc", "", "whatisthis.doc"},
        {" .hidden. ", "", "hidden"},
        {"CON.txt", "", "_CON.txt"},
        {"lpt1", "", "_lpt1"},
        {"photo\xE2\x80\xAEgpj.exe", "", "photogpj.exe"}, // a right-to-left override
        {"caf\xE9.txt", "", "caf_.txt"},                  // Latin-1, not UTF-8
        {"Pr" + e + "fung " + cjk + ".txt", "", "Pr" + e + "fung " + cjk + ".txt"},
        {std::string(500, 'a') + ".txt", "", std::string(251, 'a') + ".txt"},
        {std::string(500, 'a'), "", std::string(255, 'a')},
        {std::string("x") + std::string(200, '.') + "y" + std::string(300, 'z'), "", std::string("x") + std::string(200, '.') + "y" + std::string(53, 'z')},
        {std::string("b") + std::string(249, 'x') + cjk + cjk + ".txt", "", std::string("b") + std::string(249, 'x') + ".txt"},
        {std::string(120, 'a') + "." + std::string(200, 'b'), "", std::string(120, 'a') + "." + std::string(134, 'b')},
    };
    for (const auto& c : cases) {
        const MailAttachment a = named(c.name, c.type.empty() ? "application/octet-stream" : c.type);
        const std::string safe = safeAttachmentName(a, 3);
        EXPECT_EQ(safe, c.expected) << "from \"" << c.name << "\"";
        EXPECT_LE(safe.size(), kMaxAttachmentNameBytes);
    }
}

TEST(AttachmentNames, SameNamesAreNumberedAsTheFileSystemComparesThem)
{
    const std::string longName = std::string(300, 'n') + ".txt";
    const struct {
        std::vector<std::string> given;
        std::vector<std::string> expected;
    } cases[] = {
        {{"a.txt", "a.txt", "a.txt"}, {"a.txt", "a (2).txt", "a (3).txt"}},
        {{"a.txt", "A.TXT", "a (2).txt", "a.txt"}, {"a.txt", "A (2).TXT", "a (2) (2).txt", "a (3).txt"}},
        {{"\xC3\x84rger", "\xC3\xA4rger"}, {"\xC3\x84rger", "\xC3\xA4rger (2)"}},
        {{"noext", "noext"}, {"noext", "noext (2)"}},
        {{longName, longName}, {std::string(251, 'n') + ".txt", std::string(247, 'n') + " (2).txt"}},
    };
    for (const auto& c : cases) {
        UniqueNames unique;
        std::vector<std::string> handedOut;
        for (const std::string& name : c.given)
            handedOut.push_back(unique.add(name));
        EXPECT_EQ(handedOut, c.expected);
    }
}

TEST(AttachmentNames, ManyAttachmentsOfOneNameAllSurvive)
{
    MailMessage mail;
    for (int i = 0; i < 10000; ++i)
        mail.attachments.push_back(named("same.bin"));
    const std::vector<std::string> names = attachmentFileNames(mail);
    EXPECT_EQ(names[9999], "same (10000).bin");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

} // namespace
} // namespace mailmend::mailstore
