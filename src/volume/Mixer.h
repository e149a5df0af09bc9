#pragma once

#include <cstdint>
#include <span>

// The audio mixer as the volume procedures see it: four calls (open a mixer,
// look up a line by its component type, look up a line's control by its
// control type, write a control's value), each returning a result code that
// is 0 on success. Handles, line identifiers and control identifiers are
// never 0 when valid; a zero handle or identifier names nothing.
namespace mixer {

using Handle = uint32_t;
using Result = uint32_t;

// Result codes.
inline constexpr Result kOk = 0;
inline constexpr Result kError = 1;          // the mixer refused the call
inline constexpr Result kBadDeviceId = 2;    // no mixer with that number
inline constexpr Result kInvalidHandle = 5;  // not an open mixer
inline constexpr Result kNoDriver = 6;       // no sound system to open
inline constexpr Result kNoMem = 7;          // out of memory
inline constexpr Result kInvalidFlag = 10;   // a query this layer does not offer
inline constexpr Result kInvalidParam = 11;  // a malformed request
inline constexpr Result kInvalidLine = 1024;
inline constexpr Result kInvalidControl = 1025;
inline constexpr Result kInvalidValue = 1026;

// Component types of lines.
inline constexpr uint32_t kComponentSpeakers = 4;  // the speakers' destination line
// Control types.
inline constexpr uint32_t kControlVolume = 0x50030001;  // unsigned, 0 (silent) to 65535 (loudest)

// Query flags.
inline constexpr uint32_t kLineInfoByComponentType = 3;
inline constexpr uint32_t kLineControlsOneByType = 2;
inline constexpr uint32_t kSetDetailsValue = 0;

// Volume values travel as 0 to 65535 whatever the hardware's own range.
inline constexpr uint32_t kVolumeMax = 65535;

// A mixer line. The caller sets componentType; a lookup fills lineId.
struct Line {
  uint32_t componentType = 0;
  uint32_t lineId = 0;
};

// A control on a line, as a lookup returns it: the identifier later writes
// address. Volume controls take 0 (silent) to kVolumeMax (loudest).
struct Control {
  uint32_t controlId = 0;
};

// Request for the controls of one line: the caller sets lineId, controlType
// and the buffer the lookup fills (one record for a lookup by type).
struct LineControls {
  uint32_t lineId = 0;
  uint32_t controlType = 0;
  std::span<Control> controls;
};

// A value to write into a control. channels 1 applies the value to every
// channel of the line alike; only single-item controls are offered.
struct ControlDetails {
  uint32_t controlId = 0;
  uint32_t channels = 1;
  uint32_t multipleItems = 0;
  uint32_t value = 0;
};

// The seam between the volume procedures and a mixer implementation. Calls
// never throw and write their out-parameters only on success.
class Api {
 public:
  virtual ~Api() = default;
  // Opens mixer number `device` (0 is the system's default mixer).
  virtual Result open(Handle& handle, uint32_t device) = 0;
  virtual Result getLineInfo(Handle handle, Line& line, uint32_t flags) = 0;
  virtual Result getLineControls(Handle handle, LineControls& request, uint32_t flags) = 0;
  virtual Result setControlDetails(Handle handle, const ControlDetails& details,
                                   uint32_t flags) = 0;
  virtual Result close(Handle handle) = 0;
};

}  // namespace mixer
