// The Qt message and input boxes answer with the button the user pressed;
// the hourglass is the application's override cursor. Offscreen platform.
#include "platform/ui/qt_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

class QtUi : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "qt_dialogs_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    // Runs `act` on the modal box once it is up.
    static void when_shown(std::function<void(QWidget*)> act)
    {
        QTimer::singleShot(0, [act] {
            QWidget* w = QApplication::activeModalWidget();
            if (w) act(w);
        });
    }
};

TEST_F(QtUi, MessageBoxReturnsTheChosenButton)
{
    platform::QtDialogs d;
    std::string title, text;
    bool has_yes = false;
    int icon = -1;
    when_shown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle().toStdString();
        text = box->text().toStdString();
        has_yes = box->button(QMessageBox::Yes) != nullptr;
        icon = box->icon();
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->button(QMessageBox::Yes)->click();
    });
    int r = d.MsgBox("Replace it?", platform::vbYesNo | platform::vbQuestion | platform::vbDefaultButton2, "T");
    EXPECT_EQ(r, platform::vbYes);
    EXPECT_EQ(title, "T");
    EXPECT_EQ(text, "Replace it?");
    EXPECT_TRUE(has_yes);
    EXPECT_EQ(icon, QMessageBox::Question);

    when_shown([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Cancel)->click(); });
    EXPECT_EQ(d.MsgBox("Go on?", platform::vbRetryCancel), platform::vbCancel);

    std::string untitled;
    when_shown([&](QWidget* w) {
        untitled = w->windowTitle().toStdString();
        qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(d.MsgBox("Done", platform::vbCritical), platform::vbOK);
    EXPECT_EQ(untitled, "Trekfold");
}

TEST_F(QtUi, InputBoxReturnsTheTextOrEmptyWhenCancelled)
{
    platform::QtDialogs d;
    when_shown([](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->textValue(), "10");
        dlg->setTextValue("2.5");
        dlg->accept();
    });
    EXPECT_EQ(d.InputBox("Refresh period", "Refresh", "10"), "2.5");
    when_shown([](QWidget* w) { qobject_cast<QInputDialog*>(w)->reject(); });
    EXPECT_EQ(d.InputBox("Refresh period", "Refresh", "10"), "");
}

TEST_F(QtUi, QuietModeNeverShowsABox)
{
    platform::QtDialogs d;
    std::vector<std::string> logged;
    d.set_quiet(true);
    d.set_log([&](const std::string& l) { logged.push_back(l); });
    EXPECT_EQ(d.MsgBox("Overwrite?", platform::vbYesNo | platform::vbDefaultButton2, "Save"), platform::vbNo);
    EXPECT_EQ(logged.size(), 1u);
}

TEST_F(QtUi, HourglassIsTheOverrideCursor)
{
    {
        platform::QtCursor c;
        c.set_pointer(platform::vbHourglass);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        c.set_pointer(platform::vbHourglass); // not stacked twice
        c.set_pointer(platform::vbDefault);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        c.hourglass(true);
    }
    // Dropping the cursor service restores the pointer.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
