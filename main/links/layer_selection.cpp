// The layer chooser: LandView's layer list read item by item, the list
// shown, the choice handed back through the two Tags.
#include "main/links/layer_selection.h"

#include "platform/settings/stored_file.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"

#include <cmath>

namespace links {

namespace vb = platform::vb;

namespace {

bool line_break(char c) { return c == '\r' || c == '\n'; }
bool blank(char c) { return c == ' ' || c == '\t'; }

constexpr const char* kLayerFile = "GarminTempLayerFile.txt";
constexpr std::size_t kMaxLayerFileBytes = 1 << 20; // far more than 15 names and paths

} // namespace

void LayerItems::skip_delimiter()
{
    while (pos_ < text_.size() && blank(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return;
    if (text_[pos_] == ',') {
        ++pos_;
    } else if (text_[pos_] == '\r') {
        ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    } else if (text_[pos_] == '\n') {
        ++pos_;
    }
}

std::optional<std::string> LayerItems::next()
{
    while (pos_ < text_.size() && blank(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return std::nullopt;
    std::string item;
    if (text_[pos_] == '"') {
        const std::size_t close = text_.find('"', pos_ + 1);
        const std::size_t end = close == std::string_view::npos ? text_.size() : close;
        item = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = close == std::string_view::npos ? end : close + 1;
        // Anything between the closing quote and the delimiter is dropped.
        while (pos_ < text_.size() && text_[pos_] != ',' && !line_break(text_[pos_])) ++pos_;
    } else {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',' && !line_break(text_[pos_])) ++pos_;
        item = vb::RTrim(text_.substr(start, pos_ - start));
    }
    skip_delimiter();
    return item;
}

LayerList Read_Layers(std::string_view bytes)
{
    LayerList out;
    LayerItems items(bytes);
    const std::optional<std::string> first = items.next();
    if (!first) return out;
    const std::string n = vb::Trim(*first);
    if (!vb::IsNumeric(n)) return out;
    const double v = std::nearbyint(vb::CDbl(n)); // half to even, as CInt rounds
    if (!(v >= -32768 && v <= 32767)) return out;
    out.count = std::int16_t(v);
    // Entries 0 to count, each a name and its value; a name whose value is
    // missing is not offered, and the slots hold 15.
    for (int i = 0; i <= out.count && i < frmLandviewLayerSelection::kSlots - 1; ++i) {
        std::optional<std::string> name = items.next();
        std::optional<std::string> value = name ? items.next() : std::nullopt;
        if (!value) break;
        out.names.push_back(platform::cp1252_to_utf8(*name));
        out.values.push_back(platform::cp1252_to_utf8(*value));
    }
    return out;
}

frmLandviewLayerSelection::frmLandviewLayerSelection(std::function<std::string()> folder, std::string& main_tag,
                                                     platform::Cursor* cursor)
    : folder_(std::move(folder)), main_tag_(main_tag), cursor_(cursor)
{
    using K = app::DialogControl;
    auto add = [&](const char* name, K::Kind kind, const char* caption, int l, int t, int w, int h) {
        app::DialogControl c;
        c.name = name, c.kind = kind, c.caption = caption;
        c.left = l, c.top = t, c.width = w, c.height = h;
        controls_.push_back(c);
    };
    add("frmActive", K::Frame, "Save or Replace Which  Layer", 120, 120, 4455, 2655);
    add("ActiveLayers", K::List, "", 240, 360, 4215, 2250);
    add("cmdOK", K::Button, "OK", 1440, 2895, 1455, 375);
    add("cmdClose", K::Button, "&Cancel", 3120, 2895, 1455, 375);
    controls_[1].frame = "frmActive";
}

app::DialogControl& frmLandviewLayerSelection::control(const char* name)
{
    for (app::DialogControl& c : controls_)
        if (c.name == name) return c;
    return controls_.front();
}

void frmLandviewLayerSelection::Load_Layers()
{
    app::DialogControl& l = list();
    l.items.clear();
    l.ListIndex = -1;
    l.text.clear();
    count_ = -1;
    slots_.fill({});
    std::string bytes, why;
    // A file LandView has not written leaves the list empty.
    if (platform::read_stored_file(folder_() + kLayerFile, kMaxLayerFileBytes, bytes, why) != platform::ReadResult::Read)
        return;
    LayerList layers = Read_Layers(bytes);
    count_ = layers.count;
    l.items = std::move(layers.names);
    for (std::size_t i = 0; i < layers.values.size(); ++i) slots_[i + 1] = std::move(layers.values[i]);
}

void frmLandviewLayerSelection::Form_Activate()
{
    Load_Layers();
    control("cmdOK").enabled = list().ListIndex >= 0;
    // Whoever asked for the choice may have left the hourglass up; the user
    // is to choose with the normal pointer.
    if (cursor_) cursor_->hourglass(false);
    changed();
}

void frmLandviewLayerSelection::Show()
{
    loaded_ = visible_ = true;
    Form_Activate();
    if (show_modal) show_modal(*this);
    if (visible_) cmdClose_Click();
}

void frmLandviewLayerSelection::hide()
{
    visible_ = false;
    changed();
}

void frmLandviewLayerSelection::Unload()
{
    loaded_ = false;
    hide();
}

void frmLandviewLayerSelection::ActiveLayers_Click()
{
    control("cmdOK").enabled = list().ListIndex >= 0;
    changed();
}

void frmLandviewLayerSelection::cmdOK_Click()
{
    const int i = list().ListIndex;
    if (i >= 0 && i < int(list().items.size())) {
        Tag = slots_[std::size_t(i) + 1];
        main_tag_ = std::to_string(i);
    }
    hide();
}

void frmLandviewLayerSelection::cmdClose_Click()
{
    Tag.clear();
    main_tag_.clear();
    hide();
}

app::Form::Result frmLandviewLayerSelection::Click(const std::string& name, int index)
{
    if (name == "cmdOK") {
        if (!control("cmdOK").enabled) return Disabled;
        cmdOK_Click();
    } else if (name == "cmdClose") {
        cmdClose_Click();
    } else if (name == "ActiveLayers") {
        if (index < 0 || index >= int(list().items.size())) return NoItem;
        list().ListIndex = index;
        list().text = list().items[std::size_t(index)];
        ActiveLayers_Click();
    } else {
        return NoControl;
    }
    return Done;
}

app::Form::Result frmLandviewLayerSelection::SetText(const std::string& name, const std::string& text)
{
    if (name != "ActiveLayers") return NoControl;
    const std::vector<std::string>& items = list().items;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return Click(name, int(i));
    return NoItem;
}

} // namespace links
