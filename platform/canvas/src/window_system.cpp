#include "canvas/window_system.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

QString PlatformName() { return qApp ? QGuiApplication::platformName() : QString(); }

xcb_connection_t* X11Connection() {
    if (PlatformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(strlen(name)), name), nullptr));
    return atom ? atom->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

xcb_window_t RootWindow(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    return screens.rem > 0 ? screens.data->root : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
}

// The window a property of `window` names, or none.
xcb_window_t WindowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
    if (window == XCB_WINDOW_NONE || property == XCB_ATOM_NONE) return XCB_WINDOW_NONE;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return XCB_WINDOW_NONE;
    }
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

}  // namespace

namespace WindowSystem {

bool IsWayland() { return PlatformName().startsWith(QLatin1String("wayland")); }

bool AppliesWindowStates() {
    if (PlatformName() != QLatin1String("xcb")) return qApp != nullptr;
    xcb_connection_t* connection = X11Connection();
    if (!connection) return false;
    // An EWMH window manager names its check window on the root window, and
    // the check window names itself: a stale property of a window manager
    // that has gone does not count.
    const xcb_atom_t check = Atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t wm = WindowProperty(connection, RootWindow(connection), check);
    return wm != XCB_WINDOW_NONE && WindowProperty(connection, wm, check) == wm;
}

bool CanShowCompanionShadows() {
    xcb_connection_t* connection = X11Connection();
    if (!connection) return false;
    const xcb_atom_t selection = Atom(connection, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE) return false;
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace WindowSystem
