#pragma once

#include <array>
#include <span>

#include <QKeyCombination>

namespace fernwise {

// The command ids of the main menu, grouped by popup.
enum class CommandId : int {
    SaveImage = 100,
    Exit = 140,
    PlotFractal = 200,
    Periodicity = 205,
    Pause = 210,
    Cycle = 220,
    CyclingSpeed = 225,
    ImageSize = 230,
    Parameters = 240,
    Palette = 250,
    DefaultPalette = 260,
    TrueColor = 270,
    StatusBar = 280,
    Sound = 290,
    Help = 300,
    About = 310,
};

inline constexpr int commandNumber(CommandId id) { return static_cast<int>(id); }

// The ids of the popups' help strings, in menu order.
inline constexpr int firstPopupHelpId = 401;

struct MenuPopup {
    const char* text;
    const char* help;  // shown while the popup's title is highlighted
};

// One item of the main menu: its id, text (with the key hint after a tab),
// accelerator key, help string and state when the program starts.
// Separators have id 0.
struct MenuItem {
    int popup;  // index into menuPopups
    int id;
    const char* text;
    QKeyCombination key;
    const char* help;
    bool enabled;
    bool checkable;
    bool checked;

    bool isSeparator() const { return id == 0; }
};

std::span<const MenuPopup> menuPopups();
// Every item and separator in menu order.
std::span<const MenuItem> menuItems();
// The item of a command id; nullptr for an unknown id.
const MenuItem* findMenuItem(int id);

// The five events after which the menu is set.
enum class MenuEvent { PlotRunning, Paused, CyclingOn, CyclingOff, PlotFinished };

// What an event does to one item. `when` limits the whole rule: when its
// condition is false the item is left as it was.
struct MenuRule {
    enum class Enable { Keep, Enable, Grey };
    enum class When { Always, PaletteDevice, DeepColor };
    enum class Check { Keep, Set, Clear, FromCycling, FromStatusBar };
    Enable enable = Enable::Keep;
    When when = When::Always;
    Check check = Check::Keep;
};

struct MenuConditions {
    bool paletteDevice = false;
    bool deepColorDisplay = false;
    bool cycling = false;
    bool statusBarOn = true;
};

struct MenuItemState {
    bool enabled = true;
    bool checked = false;

    bool operator==(const MenuItemState&) const = default;
};

// The rule for a command item after an event.
MenuRule menuRule(int id, MenuEvent event);
// An item's state after the event, from its state before.
MenuItemState applyMenuRule(const MenuRule& rule, MenuItemState before, const MenuConditions& conditions);

}  // namespace fernwise
