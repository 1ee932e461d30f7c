#include "performance/KeyboardLayout.h"

#include "common/IntegerConversion.h"
#include "performance/KeyCodes.h"
#include "performance/KeyMap.h"

#include <QFile>
#include <QGuiApplication>
#include <qguiapplication_platform.h>

#include <xkbcommon/xkbcommon.h>

// After Qt: Xlib's macros would clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace performance {

namespace {

struct KeysymSign {
    xkb_keysym_t keysym;
    const char *sign;
};

// Keys without a printed character that still play well-known roles.
constexpr KeysymSign KeysymSigns[] = {
    {XKB_KEY_Shift_L, "⇧"},   {XKB_KEY_Shift_R, "⇧"},   {XKB_KEY_space, "␣"},
    {XKB_KEY_Return, "↵"},    {XKB_KEY_Tab, "⇥"},       {XKB_KEY_BackSpace, "⌫"},
    {XKB_KEY_Control_L, "Strg"}, {XKB_KEY_Control_R, "Strg"}, {XKB_KEY_Alt_L, "Alt"},
};

constexpr KeysymSign DeadKeyAccents[] = {
    {XKB_KEY_dead_grave, "`"},      {XKB_KEY_dead_acute, "´"},     {XKB_KEY_dead_circumflex, "^"},
    {XKB_KEY_dead_tilde, "~"},      {XKB_KEY_dead_diaeresis, "¨"}, {XKB_KEY_dead_cedilla, "¸"},
};

// The one entry of a comma-separated list that belongs to `group`.
std::string Entry(const std::string &list, unsigned group)
{
    std::size_t start = 0;
    for (unsigned i = 0; i < group; ++i) {
        start = list.find(',', start);
        if (start == std::string::npos)
            return {};
        ++start;
    }
    return list.substr(start, list.find(',', start) - start);
}

// The X server's layout names (rules, model, layouts, variants, options,
// each ended by a NUL) and its active group.
std::optional<LayoutNames> X11Names()
{
    // A program without a GUI (a QCoreApplication) has no X server to ask.
    auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    const auto *x11 = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (display == nullptr)
        return std::nullopt;
    const Atom property = XInternAtom(display, "_XKB_RULES_NAMES", True);
    if (property == 0)
        return std::nullopt;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1024, False,
                           XA_STRING, &type, &format, &count, &left, &data) != Success
        || data == nullptr)
        return std::nullopt;
    std::vector<std::string> fields;
    const char *text = reinterpret_cast<const char *>(data);
    for (unsigned long at = 0; at < count && fields.size() < 5;) {
        fields.emplace_back(text + at);
        at += fields.back().size() + 1;
    }
    XFree(data);
    if (fields.size() < 3)
        return std::nullopt;
    XkbStateRec state{};
    const unsigned group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    return LayoutNames{Entry(fields[2], group), fields.size() > 3 ? Entry(fields[3], group) : std::string()};
}

// XKBLAYOUT="de" and XKBVARIANT="nodeadkeys" from the system's keyboard
// configuration, the first layout of a list.
std::optional<LayoutNames> SystemNames()
{
    QFile file(QStringLiteral("/etc/default/keyboard"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    LayoutNames names;
    // A small file; a larger one is not a keyboard configuration.
    for (const QByteArray &line : file.read(64 * 1024).split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const auto value = [&](const char *key) {
            return trimmed.mid(qsizetype(qstrlen(key))).replace('"', "").split(',').front().toStdString();
        };
        if (trimmed.startsWith("XKBLAYOUT="))
            names.layout = value("XKBLAYOUT=");
        else if (trimmed.startsWith("XKBVARIANT="))
            names.variant = value("XKBVARIANT=");
    }
    if (names.layout.empty())
        return std::nullopt;
    return names;
}

} // namespace

struct KeyboardLayout::Keymap {
    xkb_context *context = nullptr;
    xkb_keymap *keymap = nullptr;
    xkb_state *state = nullptr;
    ~Keymap()
    {
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }
};

KeyboardLayout::KeyboardLayout(const LayoutNames &names) : keymap_(std::make_unique<Keymap>())
{
    keymap_->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (keymap_->context == nullptr)
        return;
    // Empty names: XKB's defaults, which XKB_DEFAULT_* in the environment set.
    xkb_rule_names rules{};
    rules.layout = names.layout.empty() ? nullptr : names.layout.c_str();
    rules.variant = names.layout.empty() || names.variant.empty() ? nullptr : names.variant.c_str();
    keymap_->keymap = xkb_keymap_new_from_names(keymap_->context, &rules, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap_->keymap != nullptr)
        keymap_->state = xkb_state_new(keymap_->keymap);
}

KeyboardLayout::KeyboardLayout() : keymap_(std::make_unique<Keymap>()) {}

KeyboardLayout KeyboardLayout::FromKeymapText(const std::string &text)
{
    KeyboardLayout layout;
    layout.keymap_->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (layout.keymap_->context == nullptr)
        return layout;
    layout.keymap_->keymap = xkb_keymap_new_from_string(layout.keymap_->context, text.c_str(),
                                                        XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (layout.keymap_->keymap != nullptr)
        layout.keymap_->state = xkb_state_new(layout.keymap_->keymap);
    return layout;
}

KeyboardLayout::~KeyboardLayout() = default;
KeyboardLayout::KeyboardLayout(KeyboardLayout &&) noexcept = default;
KeyboardLayout &KeyboardLayout::operator=(KeyboardLayout &&) noexcept = default;

LayoutNames KeyboardLayout::CurrentNames()
{
    if (const auto names = X11Names())
        return *names;
    if (const char *layout = std::getenv("XKB_DEFAULT_LAYOUT"); layout != nullptr && *layout != '\0')
        return {};
    if (const auto names = SystemNames())
        return *names;
    return {};
}

QString KeyboardLayout::LabelAt(int evdev) const
{
    if (!keymap_ || keymap_->state == nullptr)
        return {};
    const xkb_keycode_t keycode = static_cast<xkb_keycode_t>(evdev + NativeScanCodeOffset);
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(keymap_->state, keycode);
    for (const auto &sign : KeysymSigns)
        if (sign.keysym == keysym)
            return QString::fromUtf8(sign.sign);
    const std::uint32_t character = xkb_keysym_to_utf32(keysym);
    if (character > 0x20 && character != 0x7F) {
        // Key caps print capitals, but a letter whose capital is two (ß: SS)
        // is printed as it is.
        const QString sign = QString::fromUcs4(reinterpret_cast<const char32_t *>(&character), 1);
        const QString upper = sign.toUpper();
        return upper.size() == sign.size() ? upper : sign;
    }
    // A dead key prints the accent it puts on the next letter.
    for (const auto &accent : DeadKeyAccents)
        if (accent.keysym == keysym)
            return QString::fromUtf8(accent.sign);
    return {};
}

std::array<QString, KeyCount> KeyLabels(const QStringList &keyCodeList,
                                        const QStringList &keyNumberList,
                                        const KeyboardLayout &layout)
{
    std::array<QString, KeyCount> labels;
    for (qsizetype i = 0; i < std::min(keyCodeList.size(), keyNumberList.size()); ++i) {
        const auto code = common::TryStrToInt(keyCodeList[i].toStdString());
        const int number = KeyNumberFromText(keyNumberList[i]);
        if (!code || number == 0)
            continue;
        QString &label = labels[static_cast<std::size_t>(number - 1)];
        // Both Shift keys and both Enter keys share a code: one sign each.
        for (const auto &entry : ScanCodeTable) {
            if (entry.virtualKey != *code)
                continue;
            const QString printed = layout.LabelAt(entry.evdev);
            if (printed.isEmpty() || label.split(u' ').contains(printed))
                continue;
            label += label.isEmpty() ? printed : u' ' + printed;
        }
    }
    return labels;
}

} // namespace performance
