#pragma once
// Keeps a take from being lost without asking: whether the recording holds
// anything that was not saved, and the question put before an action that
// would discard it ("Aufnahme", "Öffnen...", closing the window).

#include <functional>

class QWidget;

namespace app {

inline constexpr char UnsavedTakeText[] = "Die Aufnahme wurde nicht gespeichert. Jetzt speichern?";
inline constexpr char UnsavedTakeSaveText[] = "Speichern...";
inline constexpr char UnsavedTakeDiscardText[] = "Verwerfen";
inline constexpr char UnsavedTakeCancelText[] = "Abbrechen";

enum class UnsavedTakeAnswer { Save, Discard, Cancel };

class UnsavedTake {
public:
    // Something was recorded: the take differs from what was saved or opened.
    void MarkChanged() { unsaved_ = true; }
    // Saved, opened or imported: nothing is lost when the take goes.
    void MarkSaved() { unsaved_ = false; }
    bool IsUnsaved() const { return unsaved_; }

    // Whether an action that discards the take may go on. Nothing unsaved:
    // yes, without asking. Otherwise `ask` puts the question; "Speichern..."
    // runs `save` and goes on only when it saved, "Verwerfen" goes on,
    // "Abbrechen" does not.
    bool MayDiscard(const std::function<UnsavedTakeAnswer()> &ask,
                    const std::function<bool()> &save) const;

private:
    bool unsaved_ = false;
};

// The question as a modal box owned by `owner`.
UnsavedTakeAnswer AskAboutUnsavedTake(QWidget *owner);

// Replaces the box: the answerer answers in the user's place. Empty: the
// box is shown to the user.
using UnsavedTakeAnswerer = std::function<UnsavedTakeAnswer()>;
void SetUnsavedTakeAnswerer(UnsavedTakeAnswerer answerer);

} // namespace app
