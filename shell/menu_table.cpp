#include "menu_table.h"

#include <algorithm>

namespace fernwise {
namespace {

constexpr QKeyCombination noKey{};
constexpr QKeyCombination key(Qt::Key k) { return QKeyCombination(k); }
constexpr QKeyCombination altKey(Qt::Key k) { return QKeyCombination(Qt::AltModifier, k); }

constexpr std::array<MenuPopup, 3> popups = {{
    {"&File", "Save images to disk, or exit from the program."},
    {"&Options", "Fractal and graphics options."},
    {"&Help", "Kovash help and an About box."},
}};

// popup, id, text, key, help, enabled, checkable, checked
constexpr std::array<MenuItem, 22> items = {{
    {0, 100, "&Save Image\tF2", key(Qt::Key_F2), "Save the current image to a file on disk.", true, false, false},
    {0, 0, "", noKey, "", true, false, false},
    {0, 140, "E&xit\tEsc", key(Qt::Key_Escape), "Exit from the program.", true, false, false},
    {1, 200, "Plot &Fractal\tF3", key(Qt::Key_F3), "Plot a fractal using the current parameters.", true, false, false},
    {1, 205, "Periodicit&y\tAlt + F3", altKey(Qt::Key_F3), "Toggle periodicity checking (Mandelbrot/Julia).", true,
     true, true},
    {1, 210, "&Pause\tF4", key(Qt::Key_F4), "Pause plotting; this enables the other options.", true, false, false},
    {1, 220, "&Cycle\tF5", key(Qt::Key_F5), "Toggle color-cycling; 256-color modes only.", false, true, false},
    {1, 225, "Cycling Sp&eed\tAlt + F5", altKey(Qt::Key_F5), "Set the speed of color-cycling.", false, false, false},
    {1, 0, "", noKey, "", true, false, false},
    {1, 230, "&Image Size\tF6", key(Qt::Key_F6), "Select the dimensions of the image.", true, false, false},
    {1, 240, "Pa&rameters\tF7", key(Qt::Key_F7), "Select new fractal parameters.", true, false, false},
    {1, 250, "Pa&lette\tF8", key(Qt::Key_F8), "Change the palette by selecting a Fractint MAP file.", true, false,
     false},
    {1, 260, "Defaul&t Palette\tAlt + F8", altKey(Qt::Key_F8), "Restore the default KO000000.MAP palette.", true, false,
     false},
    {1, 0, "", noKey, "", true, false, false},
    {1, 270, "&24-bit coloring\tF9", key(Qt::Key_F9), "Apply 24-bit coloring; see Help for details.", true, true,
     false},
    {1, 0, "", noKey, "", true, false, false},
    {1, 280, "&Status Bar\tF11", key(Qt::Key_F11), "Toggle this status bar.", true, true, true},
    {1, 0, "", noKey, "", true, false, false},
    {1, 290, "Soun&d\tAlt + F11", altKey(Qt::Key_F11), "Play default Windows WAV file when image is completed.", true,
     true, true},
    {2, 300, "&Help\tF1", key(Qt::Key_F1), "How to use the non-intuitive parts of this program.", true, false, false},
    {2, 0, "", noKey, "", true, false, false},
    {2, 310, "&About\tF12", key(Qt::Key_F12), "The requisite About box.", true, false, false},
}};

using Enable = MenuRule::Enable;
using When = MenuRule::When;
using Check = MenuRule::Check;

// One row of the menu-state table: the rule per event, in the order of
// MenuEvent.
struct RuleRow {
    int ids[4];
    MenuRule rules[5];
};

constexpr MenuRule enable{Enable::Enable, When::Always, Check::Keep};
constexpr MenuRule grey{Enable::Grey, When::Always, Check::Keep};
constexpr MenuRule keep{Enable::Keep, When::Always, Check::Keep};

constexpr std::array<RuleRow, 8> ruleRows = {{
    // Plot running, Paused, Cycling on, Cycling off, Plot finished.
    {{100, 140, 200, 205}, {grey, enable, grey, enable, enable}},
    {{210, 0, 0, 0}, {enable, grey, keep, keep, grey}},
    {{220, 0, 0, 0},
     {keep,
      keep,
      {Enable::Enable, When::Always, Check::Set},
      {Enable::Enable, When::Always, Check::Clear},
      {Enable::Enable, When::PaletteDevice, Check::FromCycling}}},
    {{225, 0, 0, 0},
     {{Enable::Grey, When::PaletteDevice, Check::Keep},
      {Enable::Enable, When::PaletteDevice, Check::Keep},
      grey,
      enable,
      {Enable::Enable, When::PaletteDevice, Check::Keep}}},
    {{230, 240, 250, 260}, {grey, enable, grey, enable, enable}},
    {{270, 0, 0, 0},
     {grey,
      {Enable::Enable, When::DeepColor, Check::Keep},
      {Enable::Grey, When::DeepColor, Check::Keep},
      {Enable::Enable, When::DeepColor, Check::Keep},
      {Enable::Enable, When::DeepColor, Check::Keep}}},
    {{280, 0, 0, 0},
     {{Enable::Grey, When::Always, Check::FromStatusBar},
      {Enable::Enable, When::Always, Check::FromStatusBar},
      {Enable::Grey, When::Always, Check::FromStatusBar},
      {Enable::Enable, When::Always, Check::FromStatusBar},
      {Enable::Enable, When::Always, Check::FromStatusBar}}},
    {{290, 300, 310, 0}, {grey, enable, grey, enable, enable}},
}};

}  // namespace

std::span<const MenuPopup> menuPopups() { return popups; }
std::span<const MenuItem> menuItems() { return items; }

const MenuItem* findMenuItem(int id) {
    if (id == 0) return nullptr;
    auto it = std::find_if(items.begin(), items.end(), [id](const MenuItem& item) { return item.id == id; });
    return it == items.end() ? nullptr : &*it;
}

MenuRule menuRule(int id, MenuEvent event) {
    for (const RuleRow& row : ruleRows) {
        if (id != 0 && std::find(std::begin(row.ids), std::end(row.ids), id) != std::end(row.ids)) {
            return row.rules[static_cast<int>(event)];
        }
    }
    return keep;
}

MenuItemState applyMenuRule(const MenuRule& rule, MenuItemState before, const MenuConditions& conditions) {
    switch (rule.when) {
        case When::Always: break;
        case When::PaletteDevice:
            if (!conditions.paletteDevice) return before;
            break;
        case When::DeepColor:
            if (!conditions.deepColorDisplay) return before;
            break;
    }
    MenuItemState after = before;
    if (rule.enable == Enable::Enable) after.enabled = true;
    if (rule.enable == Enable::Grey) after.enabled = false;
    switch (rule.check) {
        case Check::Keep: break;
        case Check::Set: after.checked = true; break;
        case Check::Clear: after.checked = false; break;
        case Check::FromCycling: after.checked = conditions.cycling; break;
        case Check::FromStatusBar: after.checked = conditions.statusBarOn; break;
    }
    return after;
}

}  // namespace fernwise
