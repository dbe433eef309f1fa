// The CEP calculator's Qt view on the offscreen platform.
#include "tests/support/qt_app.h"
#include "main/views/cep_view.h"
#include "main/coords/cep.h"
#include "tests/main/coords/harness.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

TEST(CalculateCepView, ShowsWithTheWindowAndHandsActionsToIt)
{
    test_support::ensure_qapplication();

    coordstest::Harness h;
    h.write_epsg();
    h.load();
    coords::frmCalculateCEP& cep = h.main.coords().CalculateCEP();
    QWidget owner;
    app::bind_cep_view(cep, &owner);
    auto* view = owner.findChild<app::CalculateCepView*>();
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->isVisible());
    h.main.menu_Click("mnuCalculateCEP");
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "Calculate Circular Error of Probability");

    qobject_cast<QRadioButton*>(view->widget("optKnown"))->click();
    auto* x = qobject_cast<QLineEdit*>(view->widget("tbxX"));
    ASSERT_TRUE(x && x->isEnabled());
    x->setText("west");
    emit x->textEdited("west"); // what typing sends
    EXPECT_EQ(cep.control("tbxX").text, "west");
    EXPECT_FALSE(view->widget("cmdCalculate")->isEnabled());
    EXPECT_FALSE(view->widget("cmdPlot")->isEnabled());
    EXPECT_EQ(view->widget("cmdPlot")->toolTip(), "Plotting only works in ArcMap");

    qobject_cast<QRadioButton*>(view->widget("optAverage"))->click();
    h.rows({"45;-93;0;0", "45.1;-93;0;0"}, h.col("lat") + ";" + h.col("long") + ";" + h.col("x_proj") + ";" +
                                               h.col("y_proj"));
    qobject_cast<QPushButton*>(view->widget("cmdCalculate"))->click();
    auto* results = qobject_cast<QPlainTextEdit*>(view->widget("tbxResults"));
    EXPECT_TRUE(results->toPlainText().startsWith("RESULTS: "));

    view->close(); // the close box
    EXPECT_FALSE(cep.Loaded());
    EXPECT_FALSE(view->isVisible());
}

} // namespace
