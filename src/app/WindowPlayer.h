#pragma once

#include "desktop/Player.h"

class frmVelmar;

// The window's side of the desktop's interface: what its controls, the
// device and the track table say, and the commands sent as the window's own
// controls send them. A child of the window, made with it.
class WindowPlayer final : public desktop::Player {
 public:
  explicit WindowPlayer(frmVelmar& window);

  Mode mode() const override;
  int32_t position() const override;
  int16_t tracks() const override;
  Track trackAt(int32_t position) const override;
  CdText album() const override;
  double volume() const override;

  void command(const char* word) override;
  void seek(int32_t ms) override;
  void setVolume(double loudness) override;
  void open(const std::string& disc, OpenDone done) override;
  void raise(const velmar::LaunchToken& token) override;
  void quit() override;

 private:
  bool gone() const;

  frmVelmar& w_;
};
