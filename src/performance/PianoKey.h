#pragma once
// One piano key: a passive rectangle with a fixed note that reports its
// clicks. Its outline colour shows its sounding state, which the keyboard
// model holds: black while silent, PressedColor while its note sounds. A key
// without a model (the key assignment window's) shows the colour it is given.

#include "performance/KeyGeometry.h"
#include "performance/KeyboardModel.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

namespace performance {

inline constexpr QColor PressedColor{0, 0, 255};
inline constexpr QColor SilentColor{0, 0, 0};

class PianoKey;

// Receives the mouse presses and releases of keys (the main window's keys
// only; the key assignment window's keys take no mouse input).
class KeyMouseListener {
public:
    virtual ~KeyMouseListener() = default;
    // `y`: where the button went down, in pixels below the key's top.
    virtual void KeyMouseDown(PianoKey &key, int y) = 0;
    virtual void KeyMouseUp(PianoKey &key) = 0;
};

// Tells which PC keys play a key, for its description to a screen reader:
// the labels "PC-Tasten anzeigen" would write, whether they are shown or not.
class PcKeySource {
public:
    virtual ~PcKeySource() = default;
    virtual QString PcKeysOf(const PianoKey &key) const = 0;
};

class PianoKey : public QWidget {
    Q_OBJECT
public:
    // Placed at the table's position, moved down by `topOffset`.
    PianoKey(const KeyGeometry &geometry, int topOffset, QWidget *parent);

    int Number() const { return geometry_.number; }
    std::uint8_t Note() const { return geometry_.note; }
    QColor Fill() const { return geometry_.black ? Qt::black : Qt::white; }
    int OutlineWidth() const { return geometry_.outlineWidth; }

    QColor OutlineColor() const;
    // For a key without a model.
    void SetOutlineColor(const QColor &color);

    // The model whose sounding state the key shows; none: its own colour.
    void SetModel(const KeyboardModel *model);
    // The model changed this key's sounding state: repainted, and a screen
    // reader told.
    void SoundingChanged();

    bool IsSounding() const { return OutlineColor() == PressedColor; }
    bool IsSilent() const { return OutlineColor() == SilentColor; }

    void SetMouseListener(KeyMouseListener *listener) { listener_ = listener; }

    // The PC key that plays this key, written near its lower end; empty: none.
    QString Label() const { return label_; }
    void SetLabel(const QString &label);

    // The PC keys that play this key; empty when no source is set or none does.
    QString PcKeys() const { return pcKeys_ ? pcKeys_->PcKeysOf(*this) : QString(); }
    void SetPcKeySource(const PcKeySource *source) { pcKeys_ = source; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    KeyGeometry geometry_;
    QColor outline_ = SilentColor;
    const KeyboardModel *model_ = nullptr;
    KeyMouseListener *listener_ = nullptr;
    QString label_;
    const PcKeySource *pcKeys_ = nullptr;
};

// Creates all 42 keys as children of `parent`, in stacking order (later
// children lie on top), named "Key1".."Key42". Indexed by number - 1.
std::array<PianoKey *, KeyCount> CreatePianoKeys(QWidget *parent, int topOffset = 0);

} // namespace performance
