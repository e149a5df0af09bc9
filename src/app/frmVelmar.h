#pragma once

#include <QList>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "disc/CdDevice.h"

class DiscLoader;
class MMControl;
class QComboBox;
class QLabel;
class QSlider;
class QTimer;
class QFrame;
class SeekBar;
namespace desktop {
class Player;
}

// The player's one window. Constructing it loads it (Form_Load: the device
// is opened and the volume start-up runs); the first time it is shown it
// activates (Form_Activate: playback starts and the track table is built);
// closing it unloads it (Form_Unload: the device is closed).
//
// Handlers keep the names of the events they answer. They may run nested:
// pending events are processed after each track of the table build and at
// the end of every tick, and every handler leaves the shared state
// consistent before those points.
class frmVelmar : public QWidget {
  Q_OBJECT

 public:
  explicit frmVelmar(std::unique_ptr<CdDevice> device, QWidget* parent = nullptr);
  ~frmVelmar() override;

  // Controls, by their design names. Owned by the window.
  QList<QPixmap> ImageList1;  // two 16 x 16 images the window holds; none is shown
  MMControl* MMControl1 = nullptr;
  QComboBox* List1 = nullptr;
  QSlider* Slider1 = nullptr;
  QFrame* picLED = nullptr;
  QLabel* Label4 = nullptr;
  QTimer* Timer1 = nullptr;
  SeekBar* lblSlider = nullptr;
  QLabel* imgSlider = nullptr;
  QLabel* Label1 = nullptr;

  // Event handlers.
  void Form_Load();
  void Form_Activate();
  void Form_Unload();
  void Timer1_Timer();
  // The seek bar's mouse: Button is the set of buttons held (1 left, 2 right,
  // 4 middle), X and Y are twips from the window's top-left corner.
  void lblSlider_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
  void lblSlider_MouseUp(int16_t Button, int16_t Shift, float X, float Y);
  void List1_Click();
  void Slider1_Click();
  void Slider1_Scroll();

  // Plays another drive or image in this window without holding its thread:
  // the disc is made ready off the window's thread (DiscLoader), then put in
  // the device by "Close", FileName, "Open" and started as at activation
  // (ReloadDisc). A newer OpenDisc drops an older one not yet carried out;
  // closing the window drops any. `done` hears, on the window's thread and
  // before the rebuild, whether the disc was opened, refused (the reason in
  // Spanish: the path cannot be played, or the window is closing) or dropped.
  enum class OpenOutcome { Opened, Refused, Dropped };
  static constexpr char kClosing[] = "Velmar se está cerrando";
  using OpenDone = std::function<void(OpenOutcome, const std::string& problem)>;
  void OpenDisc(const std::string& path, OpenDone done = {});
  // After the disc changed (another one opened, a disc arrived in or left
  // the drive): empties the list and the track table, then plays and builds
  // them again exactly as the first activation does. Before the first
  // activation, or after unload, does nothing.
  void ReloadDisc();

  // The window as the desktop sees it (desktop/Player.h).
  desktop::Player& player() const { return *player_; }

  bool activated() const { return activated_; }
  bool unloaded() const { return unloaded_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls(std::unique_ptr<CdDevice> device);
  // Each subsystem's share of setting up the controls, called in this order
  // once every control exists: the look (fonts, pictures, cursors, tab
  // order), the playback view's wiring, the volume slider's wiring, the
  // names and values screen readers read.
  void styleControls();
  void wireView();
  void wireVolume();
  void describeControls();
  // Fills the track table and List1 from the device, letting pending events
  // run after each track, then refreshes the current-track range. Returns
  // false when the window was unloaded meanwhile (the build then stops).
  bool BuildTrackTable();
  // Runs Form_Activate the first time the window is shown or activated.
  void activateOnce();

  DiscLoader* loader_ = nullptr;
  desktop::Player* player_ = nullptr;
  bool activated_ = false;
  bool unloaded_ = false;
  // Bumped by every (re)build of the table: a build that finds it changed
  // after letting events run was overtaken by a newer one and stops.
  uint64_t builds_ = 0;
};
