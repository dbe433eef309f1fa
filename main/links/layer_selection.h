// "Landview Layer Selection": the modal chooser of one of LandView's layers,
// filled from GarminTempLayerFile.txt each time it is shown. The chosen
// layer's value stays in its Tag, the chosen list position in the main
// window's Tag; Cancel and the close box empty both.
#pragma once

#include "main/app/form.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform { class Cursor; }

namespace links {

// The items of a text in the sequential-input form: separated by commas or
// line breaks, blanks around an item dropped, an item in double quotes
// taken as it stands up to its closing quote.
class LayerItems {
public:
    explicit LayerItems(std::string_view text) : text_(text) {}
    // The next item; nothing at the end of the text.
    std::optional<std::string> next();

private:
    void skip_delimiter();
    std::string_view text_;
    std::size_t pos_ = 0;
};

// A layer file read: the names listed and each name's value (at most 15,
// every one with its value). `count` is the number the file begins with,
// -1 when it holds none.
struct LayerList {
    std::int16_t count = -1;
    std::vector<std::string> names, values;
};
LayerList Read_Layers(std::string_view bytes);

class frmLandviewLayerSelection : public app::Form {
public:
    static constexpr int kSlots = 16; // slot 0 stays empty: 15 layers

    // `folder` gives the exchange folder (ending in "/"); `main_tag` is the
    // main window's Tag; `cursor` (if any) gets the normal pointer back each
    // time the chooser is activated.
    frmLandviewLayerSelection(std::function<std::string()> folder, std::string& main_tag,
                              platform::Cursor* cursor = nullptr);

    std::string Name() const override { return "frmLandviewLayerSelection"; }
    std::string Caption() const override { return "Landview Layer Selection"; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    // cmdOK, cmdClose; ActiveLayers with an entry's index: that entry
    // selected, then its click.
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string&, bool) override { return NoControl; }
    // ActiveLayers: the entry of that text selected, then its click.
    Result SetText(const std::string& name, const std::string& text) override;
    void Close() override { cmdClose_Click(); }

    // The modal show: loaded, activated, shown; returns once hidden. The
    // view (or a probe or test) answers through show_modal; unset, the
    // window is cancelled at once, so nothing waits for a user who is not
    // there.
    void Show();
    std::function<void(frmLandviewLayerSelection&)> show_modal;
    void Unload();

    void Load_Layers();
    void Form_Activate();
    void ActiveLayers_Click();
    void ActiveLayers_DblClick() { cmdOK_Click(); }
    void cmdOK_Click();
    void cmdClose_Click();

    std::string Tag;
    const std::vector<std::string>& items() const { return list().items; }
    const std::string& slot(int i) const { return slots_[std::size_t(i)]; }
    std::int16_t layer_count() const { return count_; }

private:
    app::DialogControl& control(const char* name);
    const app::DialogControl& list() const { return controls_[1]; }
    app::DialogControl& list() { return controls_[1]; }
    void hide();

    std::function<std::string()> folder_;
    std::string& main_tag_;
    platform::Cursor* cursor_;
    std::vector<app::DialogControl> controls_;
    std::array<std::string, kSlots> slots_;
    std::int16_t count_ = -1;
    bool loaded_ = false, visible_ = false;
};

} // namespace links
