#include "app/Activation.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace velmar {

namespace {

constexpr char kActivationVar[] = "XDG_ACTIVATION_TOKEN";
constexpr char kStartupVar[] = "DESKTOP_STARTUP_ID";

bool onWayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// The X server time of the user's action that started the launch, from the
// id's "_TIME<time>" ending; 0 when it carries none.
uint32_t launchTime(const std::string& id) {
  const size_t at = id.rfind("_TIME");
  if (at == std::string::npos) return 0;
  const char* digits = id.c_str() + at + 5;
  char* end = nullptr;
  const unsigned long long t = std::strtoull(digits, &end, 10);
  if (end == digits || *end != '\0' || t > UINT32_MAX) return 0;
  return static_cast<uint32_t>(t);
}

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// X11: the window takes the launch's id, the launch's feedback ends, and the
// window asks to be activated with the launch's time. False when the id
// carries no time (the caller activates as usual).
bool announceOnX11(xcb_connection_t* c, xcb_window_t window, const std::string& id) {
  const char* names[] = {"_NET_STARTUP_ID", "UTF8_STRING", "_NET_STARTUP_INFO_BEGIN",
                         "_NET_STARTUP_INFO", "_NET_ACTIVE_WINDOW"};
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (const char* n : names)
    cookies.push_back(xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(n)), n));
  std::vector<xcb_atom_t> atoms;
  for (xcb_intern_atom_cookie_t cookie : cookies) {
    XcbReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookie, nullptr));
    atoms.push_back(r ? r->atom : xcb_atom_t{XCB_ATOM_NONE});
  }
  XcbReply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
  if (!tree) return false;
  const xcb_window_t root = tree->root;

  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atoms[0], atoms[1], 8,
                      static_cast<uint32_t>(id.size()), id.data());

  // "remove: ID=..." in pieces of 20 bytes, the terminating NUL included;
  // an id with blanks, quotes or backslashes is quoted.
  std::string value = id;
  if (id.find_first_of(" \"\\") != std::string::npos) {
    value = "\"";
    for (char ch : id) value += (ch == '"' || ch == '\\') ? std::string{'\\', ch} : std::string{ch};
    value += '"';
  }
  const std::string message = "remove: ID=" + value;
  for (size_t sent = 0; sent <= message.size(); sent += 20) {
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 8;
    ev.window = window;
    ev.type = sent == 0 ? atoms[2] : atoms[3];
    std::memcpy(ev.data.data8, message.c_str() + sent,
                std::min<size_t>(20, message.size() + 1 - sent));
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&ev));
  }

  const uint32_t time = launchTime(id);
  if (time != 0) {
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = atoms[4];
    ev.data.data32[0] = 1;  // from an application
    ev.data.data32[1] = time;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&ev));
  }
  xcb_flush(c);
  return time != 0;
}

}  // namespace

const LaunchToken& launchToken() {
  static const LaunchToken token = [] {
    LaunchToken t;
    if (const char* v = std::getenv(kActivationVar)) t.activation = v;
    if (const char* v = std::getenv(kStartupVar)) t.startupId = v;
    return t;
  }();
  return token;
}

void useLaunchToken(QWidget& firstWindow) {
  const LaunchToken& own = launchToken();
  if (firstWindow.isVisible() && !own.activation.empty() && onWayland())
    raise(firstWindow, {own.activation, {}});
  qunsetenv(kActivationVar);
  qunsetenv(kStartupVar);
}

void raise(QWidget& w, const LaunchToken& token) {
  w.show();
  w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
  w.raise();
  if (onWayland() && !token.activation.empty()) {
    // Qt 6's Wayland shell reads the token at this request and then unsets
    // it; unset here too, for a compositor without xdg-activation.
    qputenv(kActivationVar, QByteArray::fromStdString(token.activation));
    w.activateWindow();
    qunsetenv(kActivationVar);
    return;
  }
  if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
      x11 && !token.startupId.empty() &&
      announceOnX11(x11->connection(), static_cast<xcb_window_t>(w.winId()), token.startupId))
    return;
  w.activateWindow();
}

}  // namespace velmar
