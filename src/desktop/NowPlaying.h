#pragma once

#include <QObject>
#include <cstdint>

#include "desktop/Player.h"

// What the window is playing, as the desktop sees it: the mode, the current
// track with its range and CD-Text, and where previous and next would go.
// Reads the player only; sends no command. Between commands it looks again
// at every tick of the window, since playback moves on to the next track and
// stops at the disc's end by itself.
class NowPlaying : public QObject {
  Q_OBJECT

 public:
  struct State {
    desktop::Player::Mode mode = desktop::Player::Mode::NoDisc;
    int16_t tracks = 0;            // rows of the track table
    desktop::Player::Track track;  // number 0: the position lies in no track
    CdText album;
    bool operator==(const State& o) const;
  };

  // A child of `player`.
  explicit NowPlaying(desktop::Player& player);

  desktop::Player& player() const { return player_; }
  // The state as of the last look (see refresh()).
  const State& state() const { return state_; }
  // The position within the current track now, ms; 0 with no track.
  int32_t elapsedMs() const;
  // Whether "Prev" and "Next" would change what plays: go to another
  // track, or back to the start of this one.
  bool canGoPrevious() const;
  bool canGoNext() const;

  // Looks at the player now; emits changed() when the state differs.
  void refresh();

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
  // Looks at the player; with `checkDrift`, a move of the position that the
  // clock does not explain counts as a jump.
  void update(bool checkDrift);

  desktop::Player& player_;
  State state_;
  bool jumpPending_ = false;
  bool settlePending_ = false;
  // For jumps without a command: the last position seen while playing and
  // when it was seen (steady clock, ms).
  int32_t lastPosition_ = 0;
  int64_t lastSeenMs_ = 0;
  bool lastPlaying_ = false;
};
