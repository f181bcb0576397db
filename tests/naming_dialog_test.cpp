// SPDX-License-Identifier: GPL-3.0-or-later
// The Save As dialog driven headless: a recording view stands in for the window and
// plays the user (typing, pasting, ticking, Next, Cancel).
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <tuple>

#include "naming/save_as_dialog.h"

namespace mailmend::naming {
namespace {

using recovery::SaveOption;
using C = SaveAsControl;
using Options = std::tuple<std::int32_t, std::string, bool, bool, bool, bool>;

// The six naming options of the main window.
Options options(const recovery::RecoveryRequest& r)
{
    return {r.m_nFileCounter, r.m_strFolderTag, r.m_bCounterOn, r.m_bFolderTagOn, r.m_bFileNameOn, r.m_bTypeTagOn};
}

// Holds the controls' texts, ticks and enabled states; records message boxes and the end.
class RecordingSaveAsView final : public SaveAsView {
public:
    void setText(C control, const std::string& text) override { texts[control] = text; }
    std::string text(C control) const override { return texts.count(control) ? texts.at(control) : ""; }
    void enable(C control, bool on) override { enabled[control] = on; }
    void setChecked(C control, bool on) override { checked[control] = on; }
    bool isChecked(C control) const override { return checked.count(control) && checked.at(control); }
    void showMessage(const std::string& text, const std::string& caption, platform::MessageStyle style) override
    {
        EXPECT_EQ(caption, "Norvale Mailmend");
        EXPECT_EQ(style, platform::MessageStyle::Ok);
        messages.push_back(text);
    }
    void endDialog(DialogResult r) override { result = r; }

    std::map<C, std::string> texts;
    std::map<C, bool> enabled, checked;
    std::vector<std::string> messages;
    std::optional<DialogResult> result;
};

class SaveAsDialog : public ::testing::Test {
protected:
    void open(SaveOption option = SaveOption::SAVEASPST)
    {
        view = RecordingSaveAsView {};
        request.m_strDestination = "/out";
        request.m_nSaveOption = option;
        dialog.emplace(view, request);
        dialog->OnInitDialog();
    }
    // The user types or pastes into an edit: the text changes, then the dialog hears of it.
    void type(C edit, const std::string& text)
    {
        view.texts[edit] = text;
        edit == C::CounterEdit ? dialog->OnChangeCounter() : dialog->OnChangeTag();
    }
    void click(C check)
    {
        view.checked[check] = !view.checked[check];
        check == C::CounterCheck ? dialog->OnCounterCheck()
            : check == C::TagCheck ? dialog->OnTagCheck() : dialog->OnTypeTagCheck();
    }
    std::string nameLine() const
    {
        const std::string preview = view.text(C::Preview);
        return preview.substr(preview.find('\n') + 1);
    }

    recovery::RecoveryRequest request;
    RecordingSaveAsView view;
    std::optional<CSaveAsDlg> dialog;
};

TEST_F(SaveAsDialog, OpensWithTheDefaultsNotTheMainWindowsOptions)
{
    std::tie(request.m_nFileCounter, request.m_strFolderTag, request.m_bCounterOn) = std::tuple(9, "Old", false);
    open();
    EXPECT_EQ(view.text(C::CounterEdit), "1");
    EXPECT_EQ(view.text(C::TagEdit), "Recovered");
    EXPECT_EQ(view.text(C::FileNameEdit), "FileName");
    EXPECT_EQ(view.text(C::TypeTagEdit), "As_PST");
    for (const C check : {C::CounterCheck, C::TagCheck, C::FileNameCheck, C::TypeTagCheck})
        EXPECT_TRUE(view.checked[check]);
    EXPECT_EQ(view.text(C::Preview), " /out/\n 1_Recovered_FileName_As_PST/...");
    for (const C control : kSaveAsControls)
        EXPECT_EQ(view.enabled.at(control), control != C::FileNameCheck && control != C::FileNameLabel
                      && control != C::FileNameEdit && control != C::TypeTagLabel && control != C::TypeTagEdit)
            << static_cast<int>(control);
    // So Next without changes puts the main window back to the defaults.
    dialog->OnOK();
    EXPECT_EQ(options(request), options(recovery::RecoveryRequest {}));
}

TEST_F(SaveAsDialog, EachSaveOptionShowsItsTypeTag)
{
    const std::map<SaveOption, std::string> tags {
        {SaveOption::SAVEASDBX, "As_TYPE"}, {SaveOption::SAVEASEML, "As_EML"},
        {SaveOption::SAVEASPST, "As_PST"},  {SaveOption::SAVEASMSG, "As_MSG"},
        {SaveOption::SAVEASRTF, "As_RTF"},  {SaveOption::ADVANCEDSCAN, "As_TYPE"}};
    for (const auto& [option, tag] : tags) {
        open(option);
        EXPECT_EQ(view.text(C::TypeTagEdit), tag);
        EXPECT_EQ(nameLine(), " 1_Recovered_FileName_" + tag + "/...");
    }
}

TEST_F(SaveAsDialog, CheckBoxesEnableTheirEditsAndShapeThePreview)
{
    open();
    click(C::CounterCheck);
    EXPECT_FALSE(view.enabled[C::CounterEdit] || view.enabled[C::CounterLabel]);
    EXPECT_EQ(nameLine(), " Recovered_FileName_As_PST/...");
    click(C::TypeTagCheck);
    click(C::TagCheck);
    EXPECT_FALSE(view.enabled[C::TagEdit] || view.enabled[C::TagLabel]);
    EXPECT_EQ(nameLine(), " FileName_/...");
    click(C::CounterCheck);
    EXPECT_TRUE(view.enabled[C::CounterEdit] && view.enabled[C::CounterLabel]);
    EXPECT_EQ(nameLine(), " 1_FileName_/...");
}

TEST_F(SaveAsDialog, SixthCounterDigitIsRefused)
{
    open();
    type(C::CounterEdit, "12345");
    EXPECT_TRUE(view.messages.empty());
    type(C::CounterEdit, "123456");
    EXPECT_EQ(view.messages, std::vector<std::string> {"Counter should not exceed 5 digits"});
    EXPECT_EQ(view.text(C::CounterEdit), "12345");
    EXPECT_EQ(nameLine(), " 12345_Recovered_FileName_As_PST/...");
}

TEST_F(SaveAsDialog, TagEditRefusesForbiddenCharactersThenLength)
{
    open();
    type(C::TagEdit, "Rec/");
    EXPECT_EQ(view.text(C::TagEdit), "Recovered");
    type(C::TagEdit, std::string(51, 'x'));
    EXPECT_EQ(view.text(C::TagEdit), "Recovered");
    // Forbidden characters are looked at first; the restored tag is short again.
    type(C::TagEdit, std::string(51, 'x') + ":");
    EXPECT_EQ(view.messages, (std::vector<std::string> {
                                 "Folder Tag cannot contain following characters: \\/:*?<>|",
                                 "Folder Tag should not exceed 50 characters",
                                 "Folder Tag cannot contain following characters: \\/:*?<>|"}));
    view.messages.clear();
    type(C::TagEdit, std::string(50, 'x'));
    EXPECT_EQ(view.text(C::TagEdit), std::string(50, 'x'));
    type(C::TagEdit, "");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(nameLine(), " 1__FileName_As_PST/...");
}

TEST_F(SaveAsDialog, NextRefusesBadCountersInOrder)
{
    const std::pair<std::string, const char*> refused[] {
        {"00", "Invalid file counter."},
        {"a1", "Invalid file counter."},
        {"0*", "Invalid file counter."}, // the number is read before the characters
        {"7*", "File Counter cannot contain special characters."},
    };
    open();
    for (const auto& [counter, message] : refused) {
        view.messages.clear();
        type(C::CounterEdit, counter);
        dialog->OnOK();
        EXPECT_EQ(view.messages, std::vector<std::string> {message}) << counter;
    }
    // An emptied counter is refused even with its box unticked.
    click(C::CounterCheck);
    view.messages.clear();
    type(C::CounterEdit, "");
    dialog->OnOK();
    EXPECT_EQ(view.messages, std::vector<std::string> {"Invalid file counter."});
    EXPECT_FALSE(view.result);
    EXPECT_EQ(options(request), options(recovery::RecoveryRequest {}));
}

TEST_F(SaveAsDialog, NextRefusesTextThatSkippedTheEditRules)
{
    open();
    view.texts[C::TagEdit] = "../x";
    dialog->OnOK();
    view.texts[C::TagEdit] = "ok";
    view.texts[C::CounterEdit] = "123456";
    dialog->OnOK();
    EXPECT_EQ(view.messages, (std::vector<std::string> {
                                 "Folder Tag cannot contain following characters: \\/:*?<>|",
                                 "Counter should not exceed 5 digits"}));
    EXPECT_FALSE(view.result);
    EXPECT_EQ(request.m_strFolderTag, "Recovered");
}

TEST_F(SaveAsDialog, NextCommitsTheChoicesAndNothingElse)
{
    for (const auto& [counter, stored] : {std::pair {"0", 0}, std::pair {"007", 7}}) {
        request = {};
        request.files = {{"/in/Inbox.dbx", "Inbox.dbx"}};
        open(SaveOption::ADVANCEDSCAN);
        type(C::CounterEdit, counter);
        type(C::TagEdit, "Box");
        click(C::TagCheck);
        click(C::TypeTagCheck);
        dialog->OnOK();
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(view.result, DialogResult::Ok);
        EXPECT_EQ(options(request), Options(stored, "Box", true, false, true, false));
        EXPECT_EQ(request.m_strDestination, "/out");
        EXPECT_EQ(request.m_nSaveOption, SaveOption::ADVANCEDSCAN);
        EXPECT_EQ(request.files.size(), 1u);
    }
}

TEST_F(SaveAsDialog, CancelAndCloseBoxLeaveTheOptions)
{
    for (const bool closeBox : {false, true}) {
        request = {};
        std::tie(request.m_nFileCounter, request.m_strFolderTag, request.m_bTypeTagOn) = std::tuple(40, "Old", false);
        const Options before = options(request);
        open();
        type(C::CounterEdit, "5");
        type(C::TagEdit, "New");
        click(C::CounterCheck);
        click(C::TypeTagCheck);
        closeBox ? dialog->OnClose() : dialog->OnCancel();
        EXPECT_EQ(view.result, DialogResult::Cancel);
        EXPECT_EQ(options(request), before);
    }
}

} // namespace
} // namespace mailmend::naming
