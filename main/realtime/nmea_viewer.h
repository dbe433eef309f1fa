// frmNMEAViewer, "NMEA Viewer": the raw NMEA sentences a receiver in text
// mode sends, filtered by sentence type through 35 boxes, saved to a text
// file on request. The NMEA event handler adds the lines (AddLine), also
// while the window is loaded but hidden, so the text grows either way. The
// box states are kept in settings "NMEA"/"checkboxes".
#pragma once

#include "main/app/form.h"

#include <cstddef>
#include <string>
#include <vector>

namespace app { class frmMain; }

namespace realtime {

class frmNMEAViewer : public app::Form {
public:
    static constexpr int kBoxes = 35;
    explicit frmNMEAViewer(app::frmMain& main);

    // --- the face shared by windows driven by control name ----------------
    std::string Name() const override { return "frmNMEAViewer"; }
    std::string Caption() const override { return "NMEA Viewer"; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return loaded_ && visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string& name, bool checked) override;
    Result SetText(const std::string& name, const std::string& text) override;
    Result MouseDown(const std::string& name, int shift) override;
    Result Resize(int width, int height) override;
    void Close() override { cmdClose_Click(); } // the close box hides, as Close does

    // Loads the window (hidden) when it is not loaded.
    void Load();
    // Loads it when needed and shows it without blocking.
    void Show();
    // Stores the box states and drops the window (text included).
    void Unload();

    // The 35 filter boxes in their fixed order (the order the setting keeps).
    std::vector<const app::DialogControl*> getNMEACodes() const;
    // Adds one sentence line as the NMEA handler does: at the caret, after
    // CR LF unless the text is empty, when a ticked box's caption equals
    // its identifier, or when no caption does and OTHER is ticked. The
    // window is loaded hidden first when needed.
    void AddLine(const std::string& line, const std::string& identifier);

    // --- handlers -----------------------------------------------------------
    void Form_Load();
    void Form_Unload();
    void Form_Resize();
    void Filter_ShiftClick(const std::string& box, int shift);
    void cmdSave_Click();
    void cmdClose_Click();

    // --- state ----------------------------------------------------------------
    int Width = 6600, Height = 6800; // twips
    int WindowState = 0;             // 0 normal, 1 minimised, 2 maximised
    const app::DialogControl& control(const std::string& name) const;
    const std::string& Text() const;
    // The caret of tbxNMEAStrings (a byte offset into the text).
    std::size_t SelStart() const { return caret_; }
    void SetSelStart(std::size_t at) { caret_ = at < Text().size() ? at : Text().size(); }
    // The last insertion into the text: where, and how many bytes (the view
    // adds only those instead of drawing the whole text again).
    std::size_t inserted_at = 0, inserted_size = 0;
    std::size_t revision = 0; // counts the changes of the text

private:
    app::DialogControl* find(const std::string& name);
    void insert(const std::string& piece);

    app::frmMain& main_;
    bool loaded_ = false, visible_ = false;
    std::vector<app::DialogControl> controls_;
    app::DialogControl* text_ = nullptr; // tbxNMEAStrings
    std::size_t caret_ = 0;
};

} // namespace realtime
