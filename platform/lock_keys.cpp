#include "platform/lock_keys.h"

#ifdef OSTREL_HAVE_X11
#include <QGuiApplication>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {
bool IndicatorOn(Display* display, const char* name) {
    int state = 0;
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None)
        return false;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr))
        return false;
    return state != 0;
}
} // namespace

std::optional<LockKeys> ReadLockKeys() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    LockKeys keys;
    keys.caps = IndicatorOn(display, "Caps Lock");
    keys.num = IndicatorOn(display, "Num Lock");
    keys.scroll = IndicatorOn(display, "Scroll Lock");
    return keys;
}
#else
std::optional<LockKeys> ReadLockKeys() {
    return std::nullopt;
}
#endif
