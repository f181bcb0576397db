// SPDX-License-Identifier: GPL-3.0-or-later
// The naming rules as plain functions: break points, the atoi-style counter reading,
// character counting, and the command line's naming options.
#include <gtest/gtest.h>

#include <climits>

#include "naming/naming_arguments.h"
#include "naming/naming_rules.h"

namespace mailmend::naming {
namespace {

std::string repeat(const std::string& piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(NamingBreakPoints, SpacesGoAtPositionsOfTheGrownText)
{
    EXPECT_EQ(withBreakPoints("abc", 2), " a b c");
    EXPECT_EQ(withBreakPoints("a bc", 2), " a b c"); // a space already at 2 is kept, not doubled
    EXPECT_EQ(withBreakPoints(" x", 57), " x");
    EXPECT_EQ(withBreakPoints("", 57), "");
}

TEST(NamingBreakPoints, LongDestinationBreaksEvery57AndNameLineEvery56)
{
    const std::string prefix = destinationPrefix("/" + repeat("d", 119));
    const std::string first = prefix + "\n"; // 122 characters
    SaveAsState state = openingState(recovery::SaveOption::SAVEASPST);
    state.m_strCounter = "12345";
    state.m_strTag = repeat("t", 50);
    const std::string name = previewNameLine(state); // 76 characters
    ASSERT_EQ(name, "12345_" + state.m_strTag + "_FileName_As_PST/...");

    const std::string expectedFirst = " " + first.substr(0, 56) + " " + first.substr(56, 56) + " " + first.substr(112);
    const std::string expectedName = " " + name.substr(0, 55) + " " + name.substr(55);
    EXPECT_EQ(previewText(prefix, state), expectedFirst + expectedName);
}

TEST(NamingBreakPoints, CountCharactersAndNeverSplitOne)
{
    const std::string e = "\xC3\xA9";
    EXPECT_EQ(withBreakPoints(repeat(e, 60), 57), std::string(" ").append(repeat(e, 56)).append(" ").append(repeat(e, 4)));
    EXPECT_EQ(characterCount(repeat("\xC3\xA9", 50)), 50u);
    EXPECT_TRUE(tagEdited("", repeat("\xC3\xA9", 50)).messages.empty());
    EXPECT_EQ(tagEdited("a", repeat("\xC3\xA9", 51)).text, "a");
}

TEST(NamingRules, DestinationPrefixDoesNotDoubleTheSeparator)
{
    EXPECT_EQ(destinationPrefix("/out"), "/out/");
    EXPECT_EQ(destinationPrefix("/"), "/");
}

TEST(NamingRules, LeadingNumberReadsLikeAtoiWithoutOverflow)
{
    EXPECT_EQ(leadingNumber(" \t-12x"), -12);
    EXPECT_EQ(leadingNumber("+5"), 5);
    EXPECT_EQ(leadingNumber("- 1"), 0);
    EXPECT_EQ(leadingNumber("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(leadingNumber("-99999999999999999999"), INT32_MIN);
}

TEST(NamingArguments, CounterIsCheckedAsTheDialogDoes)
{
    EXPECT_EQ(parseCounterArgument("007").value, 7);
    EXPECT_TRUE(parseCounterArgument("99999").error.empty());
    EXPECT_EQ(parseCounterArgument("123456").error, text::CounterTooLong);
    EXPECT_EQ(parseCounterArgument("0*").error, text::InvalidCounter);
    EXPECT_EQ(parseCounterArgument("5*").error, text::CounterForbidden);
    // What cannot be typed into the digits-only edit.
    EXPECT_EQ(parseCounterArgument("-5").error, text::InvalidCounter);
    EXPECT_EQ(parseCounterArgument("7abc").error, text::InvalidCounter);
}

TEST(NamingArguments, TagIsCheckedAsTheDialogDoes)
{
    EXPECT_EQ(tagArgumentError(""), "");
    EXPECT_EQ(tagArgumentError(repeat("t", 50)), "");
    EXPECT_EQ(tagArgumentError(repeat("t", 51)), text::TagTooLong);
    for (const char c : kForbiddenCharacters)
        EXPECT_EQ(tagArgumentError(std::string("a") + c), text::TagForbidden) << c;
    EXPECT_EQ(tagArgumentError(repeat("t", 51) + "|"), text::TagForbidden);
}

TEST(NamingArguments, AppliedAllOrNothing)
{
    recovery::RecoveryRequest request;
    NamingArguments arguments;
    arguments.counter = "3";
    arguments.tag = "bad/tag";
    arguments.noCounter = arguments.noTypeTag = true;
    EXPECT_EQ(applyNamingArguments(arguments, request), text::TagForbidden);
    EXPECT_EQ(request.m_nFileCounter, 1);
    EXPECT_TRUE(request.m_bCounterOn);
    EXPECT_TRUE(request.m_bTypeTagOn);

    arguments.tag = "Box";
    EXPECT_EQ(applyNamingArguments(arguments, request), "");
    EXPECT_EQ(request.m_nFileCounter, 3);
    EXPECT_EQ(request.m_strFolderTag, "Box");
    EXPECT_FALSE(request.m_bCounterOn);
    EXPECT_TRUE(request.m_bFolderTagOn);
    EXPECT_FALSE(request.m_bTypeTagOn);
}

} // namespace
} // namespace mailmend::naming
