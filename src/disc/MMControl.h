#pragma once

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "disc/CdDevice.h"

// The multimedia control: the window's handle on the CD-audio device and the
// bar of transport buttons that act on it.
//
// The program drives it as it would the platform's control: it writes
// properties (DeviceType, TimeFormat, Track, To), sends command words through
// Command() and reads Tracks, TrackPosition, TrackLength and Position back.
// Command words are taken without regard to case: "Open", "Close", "Play",
// "Stop", "Seek" (to To), "Pause", "Prev", "Next", "Eject". "Open" needs the
// device type "CDAudio". Unknown words and commands that cannot be carried
// out are ignored; nothing is ever reported. All times are ms (TimeFormat 0).
class MMControl : public QWidget {
  Q_OBJECT

 public:
  explicit MMControl(std::unique_ptr<CdDevice> device, QWidget* parent = nullptr);
  ~MMControl() override;

  void Command(std::string_view word);

  const std::string& DeviceType() const { return deviceType_; }
  void setDeviceType(std::string type);
  // Only 0 (milliseconds) is supported; other values are kept and ignored.
  int32_t TimeFormat() const { return timeFormat_; }
  void setTimeFormat(int32_t format);
  int32_t Track() const { return track_; }
  void setTrack(int32_t track);
  int32_t To() const { return to_; }
  void setTo(int32_t ms);
  // The drive or image the next "Open" opens once set ("" then names the
  // machine's default drive); until it is set, the one the device was made
  // with.
  const std::string& FileName() const { return fileName_; }
  void setFileName(std::string path);

  int32_t Tracks() const;
  // Start and length of the track selected by Track, ms.
  int32_t TrackPosition() const;
  int32_t TrackLength() const;
  int32_t Position() const;

  DeviceMode Mode() const;
  bool CanEject() const;
  // CD-Text of `track`, or the album's for 0; empty without a disc.
  CdText Text(int32_t track) const;

  // Opening another disc without waiting: the device's preparer, and a
  // disc it made ready for `path` (see CdDevice::preparer and adopt).
  DiscPreparer preparer() const { return device_->preparer(); }
  void adopt(const std::string& path, std::unique_ptr<PreparedDisc> disc) {
    device_->adopt(path, std::move(disc));
  }

  // Sees every property write and command word sent to any control, as
  // "TimeFormat=0", "Open", ... in order. For diagnostics and tests; unset by
  // default.
  using TraceHook = std::function<void(const std::string&)>;
  static void setTraceHook(TraceHook hook) { traceHook() = std::move(hook); }

 signals:
  // Emitted after every command word that was carried out (the word as it
  // was sent), so the buttons can follow the device's mode.
  void commandSent(const QString& word);
  // The disc changed by itself (arrived in or left a watched drive); the
  // device already holds the new table of contents.
  void discChanged();

 private:
  static TraceHook& traceHook();
  static void trace(const std::string& what);

  std::unique_ptr<CdDevice> device_;
  std::string deviceType_;
  int32_t timeFormat_ = 0;
  int32_t track_ = 1;
  int32_t to_ = 0;
  std::string fileName_;
  bool fileNameSet_ = false;
  bool open_ = false;
  std::atomic<uint64_t> discChanges_ = 0;  // disc changes announced by the device
};
