#pragma once
// What a screen reader learns of the widgets we draw ourselves: the piano
// keys (named by their notes, pressed while they sound, described by the PC
// keys that play them), the spin buttons (a spin box with its label's name
// and its value), the instrument menu (its 128 items by name, the chosen
// one checked). Qt's own widgets describe themselves.

#include <functional>

class QAccessibleEvent;
class QAction;
class QMenu;

namespace app {

// Installs the interfaces once for the whole program; later calls do nothing.
void InstallAccessibility();

// Tells a screen reader what changed in a widget of ours.
void Tell(QAccessibleEvent &event);
// Tells a screen reader that `item` of `menu` has been checked, as Qt does
// for a button: a device, an input or a transport state was chosen.
void TellChecked(QMenu *menu, QAction *item);

// Tests hear what is told here, also where no screen reader listens (Qt
// drops the events then). None: nothing more than Qt's.
void SetTellListener(std::function<void(const QAccessibleEvent &)> listener);

} // namespace app
