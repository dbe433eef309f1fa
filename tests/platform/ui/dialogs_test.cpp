#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(MsgBoxStyle, DefaultAnswerIsTheDefaultButton)
{
    EXPECT_EQ(msgbox_default_answer(vbOKOnly), vbOK);
    EXPECT_EQ(msgbox_default_answer(vbYesNo + vbCritical), vbYes);
    EXPECT_EQ(msgbox_default_answer(vbYesNo + vbDefaultButton2), vbNo);
    EXPECT_EQ(msgbox_default_answer(vbYesNoCancel + vbDefaultButton3), vbCancel);
    EXPECT_EQ(msgbox_default_answer(vbOKCancel + vbDefaultButton3), vbOK); // no third button
    EXPECT_EQ(msgbox_default_answer(vbRetryCancel + vbExclamation), vbRetry);
    EXPECT_EQ(msgbox_buttons(vbYesNo + vbQuestion), vbYesNo);
    EXPECT_EQ(msgbox_icon(vbYesNo + vbQuestion), vbQuestion);
}

TEST(ScriptedDialogs, RecordsEveryBoxAndAnswersFromTheQueue)
{
    ScriptedDialogs d;
    d.answer(vbNo);
    EXPECT_EQ(d.MsgBox("Save?", vbYesNo + vbQuestion, "Trekfold"), vbNo);
    EXPECT_EQ(d.MsgBox("Again?", vbYesNo + vbDefaultButton2), vbNo); // queue empty: default
    d.input("42");
    d.input("", true);
    EXPECT_EQ(d.InputBox("Period", "Refresh", "10"), "42");
    EXPECT_EQ(d.InputBox("Period", "Refresh", "10"), "");
    EXPECT_EQ(d.InputBox("Period", "Refresh", "10"), "10");
    ASSERT_EQ(d.boxes().size(), 5u);
    const auto& b = d.boxes()[0];
    EXPECT_EQ(b.kind, ScriptedDialogs::Box::Message);
    EXPECT_EQ(b.text, "Save?");
    EXPECT_EQ(b.title, "Trekfold");
    EXPECT_EQ(b.buttons(), vbYesNo);
    EXPECT_EQ(b.icon(), vbQuestion);
    EXPECT_EQ(d.boxes()[3].input, "");
}

TEST(ScriptedDialogs, QuietModeNeverWaitsAndLogsTheBox)
{
    ScriptedDialogs d;
    std::vector<std::string> log;
    d.set_log([&](const std::string& s) { log.push_back(s); });
    d.set_quiet(true);
    d.answer(vbNo); // ignored: nobody answers in quiet mode
    EXPECT_EQ(d.MsgBox("Overwrite?", vbYesNo + vbDefaultButton2 + vbExclamation, "Save"), vbNo);
    EXPECT_EQ(d.MsgBox("Go on?", vbYesNo, "Save"), vbYes);
    EXPECT_EQ(d.InputBox("Name", "T", "dflt"), "dflt");
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[0].find("Overwrite?"), std::string::npos);
    EXPECT_NE(log[0].find("Save"), std::string::npos);
    EXPECT_EQ(d.boxes().size(), 3u);
    d.set_quiet(false);
    EXPECT_EQ(d.MsgBox("Now?", vbYesNo), vbNo); // the queued answer is still there
}

TEST(ScriptedDialogs, OpenFileAnswersFromItsQueueAndQuietModeCancels)
{
    ScriptedDialogs d;
    d.set_log([](const std::string&) {});
    OpenFileRequest r{"", "/opt", "", "Text (*.txt)|*.txt", ".txt"};
    d.file("/tmp/a.txt");
    EXPECT_EQ(d.GetOpenFileName(r), std::optional<std::string>("/tmp/a.txt"));
    EXPECT_EQ(d.GetOpenFileName(r), std::nullopt); // nothing queued: cancelled
    EXPECT_EQ(d.boxes().at(0).kind, ScriptedDialogs::Box::OpenFile);
    EXPECT_EQ(d.boxes().at(0).default_text, "/opt");
    d.file("/tmp/b.txt");
    d.set_quiet(true);
    EXPECT_EQ(d.GetOpenFileName(r), std::nullopt);
}

TEST(Cursor, HourglassOnAndOff)
{
    RecordingCursor c;
    c.hourglass(true);
    EXPECT_EQ(c.pointer(), vbHourglass);
    c.hourglass(false);
    EXPECT_EQ(c.history, (std::vector<int>{11, 0}));
}

} // namespace
