#include "performance/X11AutoRepeat.h"

#include <QGuiApplication>
#include <qguiapplication_platform.h>

// After Qt: Xlib's macros (KeyPress, None, ...) would clash with Qt's names.
#include <X11/XKBlib.h>

namespace performance {

void MakeAutoRepeatDetectable()
{
    auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    const auto *x11 = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr)
        return;
    // A server without the setting keeps repeating as before; the key state
    // then depends on Qt's look-ahead alone, as it did.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(x11->display(), True, &supported);
}

} // namespace performance
