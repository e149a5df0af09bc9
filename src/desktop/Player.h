#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "app/Activation.h"
#include "sources/SectorSource.h"

namespace desktop {

// The window as the desktop sees it: what is playing and the commands the
// desktop may send. The window implements it; the desktop reaches the window
// through nothing else, never its controls or the track table. Calls and
// signals are on the window's thread. After the window is unloaded it reports
// no disc and ignores every command.
class Player : public QObject {
  Q_OBJECT

 public:
  enum class Mode { NoDisc, Stopped, Playing, Paused };
  struct Track {
    int16_t number = 0;  // 0: no track
    int32_t start = 0;   // ms from the start of the disc
    int32_t length = 0;  // ms
    // The position lies past the track's first seconds, so "Prev" goes back
    // to the track's start rather than to the track before.
    bool pastStart = false;
    CdText text;  // empty where the disc has none
  };
  // How a request to open a disc ended: refused (`why` in Spanish), or not
  // (opened, or taken over by a newer request).
  using OpenDone = std::function<void(bool refused, const std::string& why)>;

  using QObject::QObject;

  // What is playing.
  virtual Mode mode() const = 0;
  // The position of the audio heard, ms from the start of the disc.
  virtual int32_t position() const = 0;
  // Rows of the track table: 0 to 99.
  virtual int16_t tracks() const = 0;
  // The track that holds `position`; number 0 when none does.
  virtual Track trackAt(int32_t position) const = 0;
  virtual CdText album() const = 0;
  // The volume as the listener hears it: 1.0 at the slider's top, 0.0 at its
  // bottom.
  virtual double volume() const = 0;

  // What the desktop may send.
  // A command word of the window's transport bar and seek bar ("Play",
  // "Pause", "Stop", "Prev", "Next", "stop", "play"...), as they send it.
  virtual void command(const char* word) = 0;
  // To := `ms`, then "seek": a playing disc stops there, a paused one stays
  // paused.
  virtual void seek(int32_t ms) = 0;
  // Moves the volume slider to `loudness` (kept within 0.0 to 1.0) as a
  // user's drag does, so the mixer gets what the drag would write.
  virtual void setVolume(double loudness) = 0;
  // Plays another drive or image ("" the default drive) without holding the
  // window; `done` hears how it ended, before the track list is rebuilt.
  virtual void open(const std::string& disc, OpenDone done) = 0;
  // Shows the window in front, un-minimised and active, with a launcher's
  // token when there is one.
  virtual void raise(const velmar::LaunchToken& token) = 0;
  // Closes the window as its close box does, once the caller has returned.
  virtual void quit() = 0;

 signals:
  // After every command word carried out, whoever sent it (the window's own
  // controls too); an empty word when the disc changed by itself.
  void commandSent(const QString& word);
  // At every refresh tick of the window.
  void ticked();
  void volumeChanged();
};

}  // namespace desktop
