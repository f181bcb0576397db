// SPDX-License-Identifier: GPL-3.0-or-later
// The console view on a terminal: one line redrawn in place only when asked and only
// when changed, made way for by messages, fitted to the terminal's width.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/console_view.h"

namespace mailmend::cli {
namespace {

using recovery::ControlId;

// What was written to a temporary stream since the last look.
std::string take(std::FILE* file, long& read)
{
    std::fflush(file);
    const long end = std::ftell(file);
    std::string text(static_cast<std::size_t>(end - read), '\0');
    std::fseek(file, read, SEEK_SET);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fseek(file, 0, SEEK_END);
    read = end;
    return text;
}

TEST(ConsoleView, OnATerminalOneLineIsRedrawnOnlyWhenAskedAndOnlyWhenChanged)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    long outRead = 0;
    long errRead = 0;
    ConsoleView view(ConsoleOptions {out, err, true, false, 200, 3, "Files recovered Successfully to R folder"});
    view.setProgress(ControlId::FileProgress, 0);
    view.setControlText(ControlId::StatusText, "Preparing to Scan File : Inbox.dbx");
    view.setControlText(ControlId::StatusText, "Scanning File : Inbox.dbx");
    view.setControlText(ControlId::ProgressText, "Progress Report : 0%");
    EXPECT_EQ(take(out, outRead), ""); // the job's calls never draw

    view.refresh();
    EXPECT_EQ(take(out, outRead),
              "\rProgress Report : 0% | file 1/3 [--------------------]   0% | Scanning File : Inbox.dbx");
    view.refresh();
    EXPECT_EQ(take(out, outRead), "");

    view.setProgress(ControlId::FileProgress, 45);
    view.setControlText(ControlId::ProgressText, "Progress Report : 15%");
    view.refresh();
    const std::string longer
        = "Progress Report : 15% | file 1/3 [#########-----------]  45% | Scanning File : Inbox.dbx";
    const std::string cr = "\r";
    EXPECT_EQ(take(out, outRead), cr + longer);

    // A shorter line blanks out the rest of the longer one.
    view.fileFinished({});
    view.setProgress(ControlId::FileProgress, 0);
    view.setControlText(ControlId::StatusText, "Scanning File : A.dbx");
    view.refresh();
    const std::string shorter = "Progress Report : 15% | file 2/3 [--------------------]   0% | Scanning File : A.dbx";
    EXPECT_EQ(take(out, outRead), cr + shorter + std::string(longer.size() - shorter.size(), ' '));

    // A message takes the line off the screen first; the next refresh puts it back.
    view.messageBox("Something failed", "Norvale Mailmend", platform::MessageStyle::Ok);
    const std::string blank = cr + std::string(shorter.size(), ' ') + cr;
    EXPECT_EQ(take(out, outRead), blank);
    EXPECT_EQ(take(err, errRead), "Norvale Mailmend: Something failed\n");
    view.refresh();
    EXPECT_EQ(take(out, outRead), cr + shorter);

    // The closing box waits for the summary.
    view.messageBox("Files recovered Successfully to R folder", "Norvale Mailmend", platform::MessageStyle::Ok);
    EXPECT_EQ(view.endMessage(), "Files recovered Successfully to R folder");
    view.finish();
    EXPECT_EQ(take(out, outRead), blank);
    view.setControlText(ControlId::StatusText, "Scan Complete");
    view.refresh();
    EXPECT_EQ(take(out, outRead), "");
    EXPECT_EQ(take(err, errRead), "");
    std::fclose(out);
    std::fclose(err);
}

TEST(ConsoleView, LiveLineFitsTheTerminalWithoutSplittingACharacter)
{
    const std::string status = "Scanning File : " + std::string(30, 'x') + "J\xC3\xB6rg.dbx"; // ...Jörg
    const auto line = [&](std::size_t width) {
        return ConsoleView::liveLine(status, "Progress Report : 49%", 45, 2, 3, width);
    };
    const std::string whole = "Progress Report : 49% | file 2/3 [#########-----------]  45% | " + status;
    EXPECT_EQ(line(200), whole);
    // The last column stays free, so that the line never wraps.
    const std::size_t umlaut = whole.find('\xC3'); // characters before it: all one byte
    EXPECT_EQ(line(umlaut + 1), whole.substr(0, umlaut));     // "...J"
    EXPECT_EQ(line(umlaut + 2), whole.substr(0, umlaut + 2)); // "...Jö", the two bytes together
    // A narrow terminal gets a narrower bar.
    EXPECT_EQ(ConsoleView::liveLine("Scanning File : Inbox.dbx", "", 150, 1, 1, 80),
              "file 1/1 [##########] 100% | Scanning File : Inbox.dbx");
}

} // namespace
} // namespace mailmend::cli
