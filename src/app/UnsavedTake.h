#pragma once
// Keeps a take from being lost without asking: whether the recording holds
// anything that was not saved, and the question put before an action that
// would discard it ("Aufnahme", "Öffnen...", closing the window).

#include <QtGlobal>

#include <cstdint>
#include <functional>

class QWidget;

namespace app {

inline constexpr char UnsavedTakeText[] = QT_TRANSLATE_NOOP("UnsavedTake", "Die Aufnahme wurde nicht gespeichert. Jetzt speichern?");
inline constexpr char UnsavedTakeSaveText[] = QT_TRANSLATE_NOOP("UnsavedTake", "Speichern...");
inline constexpr char UnsavedTakeDiscardText[] = QT_TRANSLATE_NOOP("UnsavedTake", "Verwerfen");
inline constexpr char UnsavedTakeCancelText[] = QT_TRANSLATE_NOOP("UnsavedTake", "Abbrechen");

enum class UnsavedTakeAnswer { Save, Discard, Cancel };

class UnsavedTake {
public:
    // Something was recorded: the take differs from what was saved or opened.
    void MarkChanged()
    {
        unsaved_ = true;
        ++changes_;
    }
    // Saved, opened or imported: nothing is lost when the take goes.
    void MarkSaved() { unsaved_ = false; }
    // The take as it is now, for a save that finishes later.
    std::uint64_t Version() const { return changes_; }
    // A save of the take as it was at `version` has finished: it is the
    // take's unless something was recorded since.
    void MarkSaved(std::uint64_t version)
    {
        if (version == changes_)
            unsaved_ = false;
    }
    bool IsUnsaved() const { return unsaved_; }

    // Whether an action that discards the take may go on. Nothing unsaved:
    // yes, without asking. Otherwise `ask` puts the question; "Speichern..."
    // runs `save` and goes on only when it saved, "Verwerfen" goes on,
    // "Abbrechen" does not.
    bool MayDiscard(const std::function<UnsavedTakeAnswer()> &ask,
                    const std::function<bool()> &save) const;

private:
    bool unsaved_ = false;
    std::uint64_t changes_ = 0;
};

// The question as a modal box owned by `owner`.
UnsavedTakeAnswer AskAboutUnsavedTake(QWidget *owner);

// Replaces the box: the answerer answers in the user's place. Empty: the
// box is shown to the user.
using UnsavedTakeAnswerer = std::function<UnsavedTakeAnswer()>;
void SetUnsavedTakeAnswerer(UnsavedTakeAnswerer answerer);

} // namespace app
