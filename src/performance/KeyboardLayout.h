#pragma once
// What a keyboard layout prints on the key positions: the key labels that
// "PC-Tasten anzeigen" writes on the piano keys. The layout is compiled by
// the XKB compiler from its names, as the desktop does it.

#include "performance/KeyGeometry.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <string>

struct xkb_keymap;
struct xkb_state;

namespace performance {

// A layout's names, as the XKB configuration calls them ("fr", "us"/"intl").
// Empty names take XKB's defaults.
struct LayoutNames {
    std::string layout;
    std::string variant;
};

class KeyboardLayout {
public:
    // A layout that does not compile gives no labels.
    explicit KeyboardLayout(const LayoutNames &names);
    ~KeyboardLayout();
    KeyboardLayout(KeyboardLayout &&) noexcept;
    KeyboardLayout &operator=(KeyboardLayout &&) noexcept;

    // The layout the user has set: under X11 the server's active layout;
    // elsewhere XKB_DEFAULT_LAYOUT, else the system's keyboard configuration
    // (/etc/default/keyboard), else XKB's default.
    static LayoutNames CurrentNames();
    // A keymap in XKB's text form, as a compositor hands it out; one that
    // does not compile gives no labels.
    static KeyboardLayout FromKeymapText(const std::string &text);

    // The label of the key at an evdev position: the character of its base
    // level in upper case, a short sign for Shift, space and a few other
    // keys without one, empty for the rest.
    QString LabelAt(int evdev) const;

private:
    KeyboardLayout();
    struct Keymap;
    std::unique_ptr<Keymap> keymap_;
};

// For each piano key (index number - 1), what the layout prints on the PC
// keys that the key map gives it; empty for a key without one.
std::array<QString, KeyCount> KeyLabels(const QStringList &keyCodeList,
                                        const QStringList &keyNumberList,
                                        const KeyboardLayout &layout);

} // namespace performance
