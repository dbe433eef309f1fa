// The views' last guard: an exception a handler lets through becomes the
// program's error box, titled with the window, control and event, and the
// program goes on.
#include "tests/support/qt_app.h"
#include "main/views/form_view.h"
#include "main/views/realtime_view.h"
#include "tests/main/realtime/realtime_rig.h"
#include "platform/automation/vb_error.h"
#include "platform/ui/scripted_dialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

namespace {

// A window whose button and text box run what the test gives them.
class ThrowingForm : public app::Form {
public:
    std::function<void()> on_click, on_text;
    std::vector<app::DialogControl> controls_{{"cmdGo", app::DialogControl::Button}, {"tbxName", app::DialogControl::Text}};
    std::string Name() const override { return "frmTest"; }
    std::string Caption() const override { return "Test"; }
    bool Loaded() const override { return true; }
    bool Visible() const override { return true; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    Result Click(const std::string&, int = -1) override { return on_click(), Done; }
    Result SetValue(const std::string&, bool) override { return Done; }
    Result SetText(const std::string&, const std::string&) override { return on_text(), Done; }
    void Close() override {}
};

class ThrowingView : public app::FormView<ThrowingForm> {
public:
    ThrowingView(ThrowingForm& f, QWidget* owner) : FormView(f, owner)
    {
        widgets_["cmdGo"] = clickable(form_.controls()[0]);
        auto* text = new QLineEdit(this);
        widgets_["tbxName"] = text;
        connect(text, &QLineEdit::textEdited, this, [this](const QString&) { form_.SetText("tbxName", ""); });
        // A signal with Qt's private tag, taken without arguments.
        connect(&model, &QAbstractItemModel::modelReset, this, [this] { form_.Click("cmdGo", -1); });
        // A member function as the slot, and a connection without a context.
        connect(text, &QLineEdit::returnPressed, this, &ThrowingView::enter);
        connect(&model, &QAbstractItemModel::rowsInserted, [this] { form_.Click("cmdGo", -1); });
    }
    void enter() { form_.SetText("tbxName", ""); }
    QStandardItemModel model;
};

} // namespace

TEST(ViewGuard, AnExceptionFromAHandlerBecomesTheErrorBox)
{
    test_support::ensure_qapplication();
    platform::ScriptedDialogs dialogs;
    QWidget owner;
    app::set_view_error_box(&owner, dialogs);
    ThrowingForm form;
    auto* view = new ThrowingView(form, &owner);
    auto* go = qobject_cast<QPushButton*>(view->widget("cmdGo"));
    ASSERT_TRUE(go);

    form.on_click = [] { throw std::runtime_error("bad state"); };
    go->click();
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes().back().title, "frmTest.cmdGo_Click");
    EXPECT_EQ(dialogs.boxes().back().text, "Error 51: Internal error: bad state. Source: trekfold");

    form.on_click = [] { throw std::filesystem::filesystem_error("status", "/x/loop", std::make_error_code(std::errc::too_many_symbolic_link_levels)); };
    go->click();
    EXPECT_EQ(dialogs.boxes().back().text, "Error 75: Path/File access error (/x/loop). Source: trekfold");

    form.on_text = [] { throw platform::VbError(13, "", "Type mismatch"); };
    emit qobject_cast<QLineEdit*>(view->widget("tbxName"))->textEdited("a");
    EXPECT_EQ(dialogs.boxes().back().title, "frmTest.tbxName_Change");
    EXPECT_EQ(dialogs.boxes().back().text, "Error 13: Type mismatch. Source: Trekfold");

    form.on_click = [] { throw 7; };
    view->model.clear(); // emits modelReset
    EXPECT_EQ(dialogs.boxes().back().title, "frmTest");
    EXPECT_EQ(dialogs.boxes().back().text, "Error 51: Internal error. Source: trekfold");
    EXPECT_EQ(dialogs.boxes().size(), 4u);

    form.on_text = [] { throw std::bad_alloc(); };
    emit qobject_cast<QLineEdit*>(view->widget("tbxName"))->returnPressed();
    EXPECT_EQ(dialogs.boxes().back().title, "frmTest.tbxName_KeyPress");
    EXPECT_EQ(dialogs.boxes().back().text, "Error 7: Out of memory. Source: trekfold");
    form.on_click = [] { throw std::logic_error("row"); };
    view->model.appendRow(new QStandardItem("x"));
    EXPECT_EQ(dialogs.boxes().back().text, "Error 51: Internal error: row. Source: trekfold");
    EXPECT_EQ(dialogs.boxes().size(), 6u);

    // A handler that lets nothing through shows nothing.
    form.on_click = [] {};
    go->click();
    EXPECT_EQ(dialogs.boxes().size(), 6u);
}

TEST(ViewGuard, LoadFileOnASymbolicLinkLoopThroughTheRealTimeView)
{
    test_support::ensure_qapplication();
    rttest::Tracker t(false);
    QWidget owner;
    app::set_view_error_box(&owner, t.dialogs);
    app::bind_realtime_view(t.w(), &owner);
    auto* view = owner.findChild<app::RealTimeView*>();
    ASSERT_TRUE(view);
    t.start();
    t.fix(45, -93);
    const std::string loop = t.dir.path + "/loop.shp";
    std::filesystem::create_symlink(loop, loop);
    t.dialogs.clear();
    t.dialogs.file(loop);
    auto* load = qobject_cast<QPushButton*>(view->widget("cmdLoad"));
    ASSERT_TRUE(load);
    load->click();
    ASSERT_FALSE(t.dialogs.boxes().empty());
    EXPECT_EQ(t.dialogs.boxes().back().title, "Error");
    EXPECT_EQ(t.dialogs.boxes().back().text, "Error #  75 was generated by trekfold\rPath/File access error");
    EXPECT_EQ(t.rows(), 1);
    EXPECT_TRUE(view->isVisible());
}
