#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QRegularExpression>
#include <cstring>

#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest under Xvfb (no window manager), on a private session bus and
// sound server: the real program on X11, raised by a later launch that
// carries a launcher's token, seen from the root window as a window manager
// and a launcher's busy feedback see it.
TEST(LaunchToken, TheRunningCopyIsRaisedWithTheTokenAHandOverCarries) {
  if (!RunningProgram::onPrivateBusWithSound() || qEnvironmentVariableIsEmpty("DISPLAY"))
    GTEST_SKIP() << "needs with-pulse.sh, xvfb-run and with-dbus.sh";
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  const std::shared_ptr<void> disconnect(nullptr, [x](void*) { xcb_disconnect(x); });
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  auto atom = [x](const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return r->atom;
  };
  const xcb_atom_t begin = atom("_NET_STARTUP_INFO_BEGIN"), more = atom("_NET_STARTUP_INFO"),
                   active = atom("_NET_ACTIVE_WINDOW");
  // Startup notification messages put together, each ended by a line break,
  // and requests to activate a window (its id and the time).
  std::string messages;
  std::vector<std::pair<xcb_window_t, uint32_t>> activations;
  auto poll = [&] {
    while (xcb_generic_event_t* e = xcb_poll_for_event(x)) {
      const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
      const auto* bytes = reinterpret_cast<const char*>(m->data.data8);
      if ((e->response_type & 0x7f) != XCB_CLIENT_MESSAGE) {
      } else if (m->type == begin || m->type == more) {
        messages.append(bytes, strnlen(bytes, 20));
        if (std::memchr(bytes, 0, 20)) messages += '\n';
      } else if (m->type == active) {
        activations.emplace_back(m->window, m->data.data32[1]);
      }
      std::free(e);
    }
    return !activations.empty();
  };

  auto withToken = [](const QString& id, const QString& token) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DESKTOP_STARTUP_ID", id);
    env.insert("XDG_ACTIVATION_TOKEN", token);
    return env;
  };
  TestDisc disc(counterDisc({750}));
  RunningProgram velmar(disc.cue, withToken("velmar-1_TIME100", "xdg-1"));
  const auto mpris = [](const char* what) {
    return QProcess::execute("dbus-send",
                             {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.velmar",
                              "/org/mpris/MediaPlayer2", what}) == 0;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return mpris("org.freedesktop.DBus.Peer.Ping"); }, 20000));
  QProcess monitor;  // the hand-over as it crosses the bus, with both tokens
  monitor.start("dbus-monitor", {"--session", "interface='org.velmar.Velmar.Instance'"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.bytesAvailable() > 0; }, 5000));
  RunningProgram second(
      std::vector<std::string>{},
      RunningProgram::Options{withToken("velmar-2_TIME4242", "xdg-2"), false, {}});
  ASSERT_GE(second.waitForEnd(10000), 0);
  EXPECT_EQ(second.status(), 0);
  ASSERT_TRUE(QTest::qWaitFor(poll, 5000));  // the messages before it are in
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return QString(monitor.peek(1 << 20))
            .contains(QRegularExpression(R"("activation-token"\s+variant\s+string "xdg-2")"));
      },
      5000));
  monitor.kill();
  monitor.waitForFinished();

  // The first launch's feedback was ended by its window, the second's by the
  // window it raised, which asked to be activated at the second's time.
  EXPECT_EQ(messages, "remove: ID=velmar-1_TIME100\nremove: ID=velmar-2_TIME4242\n");
  EXPECT_EQ(activations,
            (std::vector<std::pair<xcb_window_t, uint32_t>>{{activations.at(0).first, 4242}}));

  // MPRIS Raise, without a token: the window comes back above another.
  const xcb_window_t cover = xcb_generate_id(x);
  xcb_create_window(x, XCB_COPY_FROM_PARENT, cover, root, 0, 0, 300, 200, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
  xcb_map_window(x, cover);
  xcb_flush(x);
  const auto onTop = [&] {
    auto* tree = xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr);
    const int n = tree ? xcb_query_tree_children_length(tree) : 0;
    const bool top = n > 0 && xcb_query_tree_children(tree)[n - 1] == activations.at(0).first;
    std::free(tree);
    return top;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return !onTop(); }, 5000));
  EXPECT_TRUE(mpris("org.mpris.MediaPlayer2.Raise"));
  EXPECT_TRUE(QTest::qWaitFor(onTop, 5000));
}
