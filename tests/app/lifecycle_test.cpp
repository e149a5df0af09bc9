#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "disc/modFunciones.h"
#include "support/ManualClock.h"

namespace {
// Records every property write and command word the window sends.
struct Trace {
  std::vector<std::string> lines;
  Trace() {
    MMControl::setTraceHook([this](const std::string& s) { lines.push_back(s); });
  }
  ~Trace() { MMControl::setTraceHook(nullptr); }
  size_t count(const std::string& s) const {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), s));
  }
};

struct Window {
  ManualClock clock;
  VirtualCdDevice* device = nullptr;
  std::unique_ptr<frmVelmar> form;

  explicit Window(std::vector<TocEntry> toc = threeTrackDisc()) {
    auto owned = std::make_unique<VirtualCdDevice>(std::move(toc), clock.clock());
    device = owned.get();
    form = std::make_unique<frmVelmar>(std::move(owned));
  }
  void showAndActivate() {
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
  }
  QStringList items() const {
    QStringList out;
    for (int i = 0; i < form->List1->count(); ++i) out << form->List1->itemText(i);
    return out;
  }
};

std::vector<TocEntry> discOf(int tracks) {
  std::vector<TocEntry> toc;
  for (int i = 0; i < tracks; ++i) toc.push_back({2000 + i * 10000, 10000, true});
  return toc;
}
}  // namespace

TEST(Lifecycle, LoadActivateAndUnloadSendTheirCommandsInOrder) {
  Trace trace;
  Window w;
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"DeviceType=CDAudio", "Open", "TimeFormat=0"}));
  EXPECT_FALSE(w.form->activated()) << "nothing plays before the window is shown";
  EXPECT_TRUE(w.form->Timer1->isActive()) << "the timer runs from load";
  EXPECT_EQ(w.form->Timer1->interval(), 200);

  w.showAndActivate();
  ASSERT_GE(trace.lines.size(), 4u);
  EXPECT_EQ(trace.lines[3], "Play") << "playback starts before the table is built";
  EXPECT_EQ(w.items(), (QStringList{"1", "2", "3"}));
  EXPECT_EQ(w.form->List1->currentIndex(), -1) << "filling the list chooses no track";
  EXPECT_EQ(modFunciones::TrackTable[2].start, 200000);
  EXPECT_EQ(modFunciones::TrackTable[2].end, 400000);
  EXPECT_EQ(modFunciones::CurrentStart, 2000);
  EXPECT_EQ(modFunciones::CurrentEnd, 200000);

  // Whatever activation events arrive later, the run starts only once.
  w.form->hide();
  w.form->show();
  QEvent activation(QEvent::ActivationChange);
  QCoreApplication::sendEvent(w.form.get(), &activation);
  QTest::qWait(20);
  EXPECT_EQ(trace.count("Play"), 1u);
  EXPECT_EQ(w.items().size(), 3);

  w.form->close();
  EXPECT_EQ(trace.lines.back(), "Close");
  EXPECT_EQ(trace.count("Close"), 1u);
  EXPECT_FALSE(w.form->Timer1->isActive());
}

TEST(Lifecycle, NoDiscOrMoreThan99Tracks) {
  {
    Window w(std::vector<TocEntry>{});
    w.showAndActivate();
    EXPECT_EQ(w.form->List1->count(), 0);
    EXPECT_EQ(modFunciones::CurrentStart, 0);
    EXPECT_EQ(modFunciones::CurrentEnd, 0);
    EXPECT_EQ(modFunciones::SeekRightLimit, 3750);
  }
  Window w(discOf(120));
  w.showAndActivate();
  EXPECT_EQ(w.form->List1->count(), 99);
  EXPECT_EQ(w.form->List1->itemText(98), "99");
  EXPECT_EQ(modFunciones::TrackTable[99].start, 2000 + 98 * 10000);
}

TEST(Lifecycle, TicksRunDuringTheBuildAndSeeAPartialTable) {
  Window w(discOf(40));
  // A tick during the build sees only rows written so far and zero rows
  // beyond them.
  std::vector<int> seen;
  QObject::connect(w.form->Timer1, &QTimer::timeout, w.form.get(), [&] {
    int filled = 0;
    while (filled < 99 && modFunciones::TrackTable[static_cast<size_t>(filled + 1)].end != 0)
      ++filled;
    seen.push_back(filled);
    EXPECT_EQ(filled, w.form->List1->count());
  });
  w.form->Timer1->setInterval(0);
  w.showAndActivate();
  ASSERT_FALSE(seen.empty());
  EXPECT_LT(seen.front(), 40) << "a tick ran while the table was still being built";
}

TEST(Lifecycle, ClosingDuringTheBuildStopsItAndClosesOnce) {
  Trace trace;
  Window w(discOf(60));
  int built = 0;
  QObject::connect(w.form->Timer1, &QTimer::timeout, w.form.get(), [&] {
    built = w.form->List1->count();
    if (built >= 5) w.form->close();
  });
  w.form->Timer1->setInterval(0);
  w.showAndActivate();
  QTest::qWait(50);
  EXPECT_TRUE(w.form->unloaded());
  EXPECT_LT(w.form->List1->count(), 60) << "the build stopped";
  EXPECT_EQ(trace.count("Close"), 1u);
  EXPECT_EQ(w.device->log().back(), "close");
  w.form.reset();  // destroying the window after an aborted build is safe
}
