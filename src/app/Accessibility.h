#pragma once
// What a screen reader learns of the widgets we draw ourselves: the piano
// keys (named by their notes, pressed while they sound, described by the PC
// keys that play them), the spin buttons (a spin box with its label's name
// and its value), the instrument menu (its 128 items by name, the chosen
// one checked). Qt's own widgets describe themselves.

class QAction;
class QMenu;

namespace app {

// Installs the interfaces once for the whole program; later calls do nothing.
void InstallAccessibility();

// Tells a screen reader that `item` of `menu` has been checked, as Qt does
// for a button: a device, an input or a transport state was chosen.
void TellChecked(QMenu *menu, QAction *item);

} // namespace app
