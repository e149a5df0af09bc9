#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QRegularExpression>
#include <cstring>
#include <map>

#include "support/BusClient.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"

// Run by ctest under Xvfb (no window manager), on a private session bus and
// sound server: the real program on X11, raised by a later launch that
// carries a launcher's token, watched from the root window as a window
// manager and a launcher's busy feedback would see it.
namespace {

class RootWatch {
 public:
  RootWatch() : c_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c_);
  }
  ~RootWatch() { xcb_disconnect(c_); }

  xcb_atom_t atom(const char* name) {
    auto* r = xcb_intern_atom_reply(
        c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
  }
  std::string property(xcb_window_t w, const char* name) {
    auto* r = xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, w, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    std::string value = r ? std::string(static_cast<const char*>(xcb_get_property_value(r)),
                                        static_cast<size_t>(xcb_get_property_value_length(r)))
                          : "";
    std::free(r);
    return value;
  }
  // Takes in what has come: startup notification messages, put together, and
  // requests to activate a window (its id and the time).
  void poll() {
    const xcb_atom_t begin = atom("_NET_STARTUP_INFO_BEGIN"), more = atom("_NET_STARTUP_INFO"),
                     active = atom("_NET_ACTIVE_WINDOW");
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
      const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
      if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
          (m->type == begin || m->type == more)) {
        std::string& text = pieces_[m->window];
        if (m->type == begin) text.clear();
        const auto* bytes = reinterpret_cast<const char*>(m->data.data8);
        text.append(bytes, strnlen(bytes, 20));
        if (std::memchr(bytes, 0, 20)) messages.push_back(text);
      } else if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE && m->type == active) {
        activations.emplace_back(m->window, m->data.data32[1]);
      }
      std::free(e);
    }
  }
  std::vector<std::string> messages;
  std::vector<std::pair<xcb_window_t, uint32_t>> activations;

 private:
  xcb_connection_t* c_;
  xcb_window_t root_;
  std::map<xcb_window_t, std::string> pieces_;
};

}  // namespace

TEST(LaunchToken, TheRunningCopyIsRaisedWithTheTokenAHandOverCarries) {
  if (!BusClient::onPrivateBus() || !qgetenv("PULSE_SERVER").contains("velmar-pulse") ||
      qEnvironmentVariableIsEmpty("DISPLAY"))
    GTEST_SKIP() << "needs with-pulse.sh, xvfb-run and with-dbus.sh";
  RootWatch x;
  TestDisc disc(counterDisc({750}));
  auto withToken = [](const QString& id, const QString& token) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DESKTOP_STARTUP_ID", id);
    env.insert("XDG_ACTIVATION_TOKEN", token);
    return env;
  };
  RunningProgram velmar(disc.cue, withToken("velmar-1_TIME100", "xdg-1"));
  BusClient client;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return client.get("Identity", BusClient::kRoot).toString() == "Velmar"; }, 20000));

  QProcess monitor;  // the hand-over as it crosses the bus
  monitor.start("dbus-monitor", {"--session", "interface='org.velmar.Velmar.Instance'"});
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return monitor.readAllStandardOutput().contains("NameLost"); }, 5000));
  QProcess second;
  second.setProcessEnvironment(withToken("velmar-2_TIME4242", "xdg-2"));
  second.start(VELMAR_PROGRAM, QStringList());
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        x.poll();
        return !x.activations.empty();
      },
      5000));
  QTest::qWait(200);
  x.poll();
  const QString sent = QString::fromUtf8(monitor.readAllStandardOutput());
  monitor.kill();
  monitor.waitForFinished();

  for (const char* pair : {R"("activation-token"\s+variant\s+string "xdg-2")",
                           R"("desktop-startup-id"\s+variant\s+string "velmar-2_TIME4242")"})
    EXPECT_TRUE(sent.contains(QRegularExpression(pair))) << sent.toStdString();
  // The first launch's feedback was ended by its window; the second's by the
  // window it raised, which asked to be activated with its launch's time.
  EXPECT_EQ(x.messages, (std::vector<std::string>{"remove: ID=velmar-1_TIME100",
                                                  "remove: ID=velmar-2_TIME4242"}));
  ASSERT_EQ(x.activations.size(), 1u);
  EXPECT_EQ(x.activations[0].second, 4242u);
  EXPECT_EQ(x.property(x.activations[0].first, "_NET_STARTUP_ID"), "velmar-2_TIME4242");
}
