// SPDX-License-Identifier: GPL-3.0-or-later
// The console view on a terminal: one line on the error stream, redrawn in place only
// when asked and only when changed, made way for by messages, fitted to the terminal's
// width with the file name kept whole as long as anything else can go.

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
    std::FILE* err = std::tmpfile();
    long read = 0;
    ConsoleView view(ConsoleOptions {err, true, false, 120, {"Inbox.dbx", "A.dbx", "B.dbx"},
                                     "Files recovered Successfully to R folder"});
    view.setProgress(ControlId::FileProgress, 0);
    view.setControlText(ControlId::StatusText, "Scanning File : Inbox.dbx");
    view.mailProgress(0, 40);
    EXPECT_EQ(take(err, read), ""); // the job's calls never draw

    view.refresh();
    const std::string cr = "\r";
    const std::string first = "Inbox.dbx (1/3)  0/40 mails  [--------------------]    0%  all 0%";
    EXPECT_EQ(take(err, read), cr + first);
    view.refresh();
    EXPECT_EQ(take(err, read), "");

    // The next file: a shorter line blanks out the rest of the longer one.
    view.fileFinished({});
    view.setProgress(ControlId::FileProgress, 45);
    view.refresh();
    const std::string second = "A.dbx (2/3)  reading  [#########-----------]   45%  all 48%";
    EXPECT_EQ(take(err, read), cr + second + std::string(first.size() - second.size(), ' '));

    // A message takes the line off the screen first; the next refresh puts it back.
    view.messageBox("Something failed", "Norvale Mailmend", platform::MessageStyle::Ok);
    const std::string blank = cr + std::string(second.size(), ' ') + cr;
    EXPECT_EQ(take(err, read), blank + "Norvale Mailmend: Something failed\n");
    view.refresh();
    EXPECT_EQ(take(err, read), cr + second);

    // The closing box waits for the summary; after finish() nothing is drawn.
    view.messageBox("Files recovered Successfully to R folder", "Norvale Mailmend", platform::MessageStyle::Ok);
    EXPECT_EQ(view.endMessage(), "Files recovered Successfully to R folder");
    view.finish();
    EXPECT_EQ(take(err, read), blank);
    view.setProgress(ControlId::FileProgress, 100);
    view.refresh();
    EXPECT_EQ(take(err, read), "");
    std::fclose(err);
}

struct LiveCase {
    std::size_t width;
    const char* line;
};

class ConsoleLiveLine : public ::testing::TestWithParam<LiveCase> {};

TEST_P(ConsoleLiveLine, KeepsTheNameWholeAndLeavesOutWhatDoesNotFit)
{
    LiveState state;
    state.fileName = "Sent Items J\xC3\xB6rg.dbx"; // ö: two bytes, one column
    state.fileNumber = 2;
    state.fileCount = 3;
    state.fileBar = 45;
    state.mailsDone = 1200;
    state.mailsTotal = 19915;
    state.mailsPerSecond = 3456.4;
    EXPECT_EQ(ConsoleView::liveLine(state, GetParam().width), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ConsoleLiveLine,
    ::testing::Values(
        LiveCase {120, "Sent Items J\xC3\xB6rg.dbx (2/3)  1200/19915 mails  3456 mails/s  "
                       "[#########-----------]   45%  all 48%"},
        LiveCase {80, "Sent Items J\xC3\xB6rg.dbx (2/3)  1200/19915 mails  3456 mails/s   45%  all 48%"},
        LiveCase {55, "Sent Items J\xC3\xB6rg.dbx (2/3)  1200/19915 mails   45%"},
        LiveCase {31, "Sent Items J\xC3\xB6rg.dbx (2/3)"},
        // Only when the name alone is too wide is it cut, never inside a character.
        LiveCase {14, "Sent Items J\xC3\xB6"}, LiveCase {13, "Sent Items J"}));

} // namespace
} // namespace mailmend::cli
