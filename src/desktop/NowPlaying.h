#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

#include "app/frmVelmar.h"
#include "disc/CdDevice.h"

// What the window is playing, as the desktop sees it: the device's mode, the
// current track with its range and CD-Text, and where previous and next
// would go.
// Reads the window only through its controls' properties, the track table
// and MMControl's signals; sends no command and writes no property. Between
// commands it looks again at every tick of the window's timer, since
// playback moves on to the next track and stops at the disc's end by itself.
//
// Keeps the display box's tooltip on the current track's CD-Text (title,
// then performer, on two lines; none when the disc has neither).
class NowPlaying : public QObject {
  Q_OBJECT

 public:
  struct State {
    DeviceMode mode = DeviceMode::NotOpen;
    bool canEject = false;
    int16_t tracks = 0;       // rows of the track table
    int16_t track = 0;        // 0: the position lies in no track of the table
    int32_t trackStart = 0;   // ms from the start of the disc
    int32_t trackLength = 0;  // ms
    // Past the first kPreviousBackWindowMs of the track: "previous" goes to
    // its start rather than to the track before.
    bool pastTrackStart = false;
    CdText text;  // the track's
    CdText album;
    bool operator==(const State& o) const;
  };

  explicit NowPlaying(frmVelmar& window);

  frmVelmar& window() const { return *window_; }
  // The state as of the last look (see refresh()).
  const State& state() const { return state_; }
  // The device's position within the current track now, ms; 0 with no track.
  int32_t elapsedMs() const;
  // Whether the device's "Prev" and "Next" would change what plays: go to
  // another track, or back to the start of this one.
  bool canGoPrevious() const;
  bool canGoNext() const;

  // Looks at the window now; emits changed() when the state differs.
  void refresh();

  // The tooltip text for `s`: title and performer on two lines, either alone
  // when the other is missing; empty without CD-Text.
  static QString tipFor(const State& s);

 signals:
  void changed();
  // The position jumped (a seek, a track chosen, previous or next, a disc
  // that ran out and went back to its start) rather than moving on with
  // playback. Emitted once per command sequence, after it.
  void jumped();

 private:
  State look() const;
  void afterCommand(const QString& word);
  void settle();
  // Looks at the window; with `checkDrift`, a move of the position that the
  // clock does not explain counts as a jump.
  void update(bool checkDrift);

  QPointer<frmVelmar> window_;
  State state_;
  bool jumpPending_ = false;
  bool settlePending_ = false;
  // For jumps without a command: the last position seen while playing and
  // when it was seen (steady clock, ms).
  int32_t lastPosition_ = 0;
  int64_t lastSeenMs_ = 0;
  bool lastPlaying_ = false;
};
