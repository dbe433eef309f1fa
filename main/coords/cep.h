// frmCalculateCEP, "Calculate Circular Error of Probability": the accuracy
// of repeated fixes held in the records table. From the selected rows (all
// rows when none are selected) it reports the mean position, the sample
// standard deviations and the radii in metres around a centre (the mean, or
// a typed known coordinate) holding 50, 90, 95 and 98 per cent of the fixes.
// The result is kept as the CEP collection for the ArcMap link's PlotCEP.
#pragma once

#include "main/app/form.h"
#include "platform/automation/collection.h"
#include "platform/automation/variant.h"
#include "platform/text/vb.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace app { class frmMain; }

namespace coords {

// Sorts `list` in place up to index `last` (the whole list without one),
// ascending unless `descending`, and returns it.
std::vector<double>& BubbleSort(std::vector<double>& list, std::optional<std::size_t> last = std::nullopt,
                                bool descending = false);

// The report's numbers: `decimals` places, "." before them and "," between
// thousands ("500,123.456789").
std::string Report_Number(double value, int decimals);

class frmCalculateCEP : public app::Form {
public:
    explicit frmCalculateCEP(app::frmMain& main);

    // --- the face shared by windows driven by control name ----------------
    std::string Name() const override { return "frmCalculateCEP"; }
    std::string Caption() const override { return "Calculate Circular Error of Probability"; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return loaded_ && visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string& name, bool checked) override;
    Result SetText(const std::string& name, const std::string& text) override;
    void Close() override { cmdQuit_Click(); }

    // Loads the window when it is not loaded and shows it without blocking.
    void Show();

    // --- handlers -----------------------------------------------------------
    void cmdCalculate_Click();
    void cmdPlot_Click();
    void cmdQuit_Click(); // unloads the window
    void Form_Resize();
    void optAverage_Click();
    void optKnown_Click();
    void tbxX_Change();
    void tbxY_Change();

    // --- state ----------------------------------------------------------------
    int Width = 4800, Height = 7200; // twips
    int WindowState = 0;             // 0 normal, 1 minimised, 2 maximised
    static constexpr const char* kTitleFont = "Arial Black";
    static constexpr const char* kResultsFont = "Courier New";
    const app::DialogControl& control(const std::string& name) const;
    // "Coordinates" (longitude, latitude, x, y of the centre), then "50",
    // "90", "95" and "98", in metres.
    const platform::Collection<platform::Variant>& CEP() const { return cep_; }
    // The report's date and time; unset: the system clock.
    std::function<platform::vb::Date()> now;

private:
    app::DialogControl& at(const std::string& name);
    app::DialogControl* find(const std::string& name);
    void Form_Load();
    // The calculation; false when it stopped before the report.
    bool calculate();
    void progress(const std::string& text, int count);
    // The row's value of a column as a number; a text that is not one stops
    // the calculation.
    double cell(int row, int col, const char* field) const;

    app::frmMain& main_;
    bool loaded_ = false, visible_ = false, calculating_ = false;
    std::int64_t last_notice_us_ = 0; // when the view was last told of progress
    std::vector<app::DialogControl> controls_;
    platform::Collection<platform::Variant> cep_;
};

} // namespace coords
