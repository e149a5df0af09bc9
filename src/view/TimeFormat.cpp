#include "view/TimeFormat.h"

#include <cmath>

namespace {

QString twoDigits(int64_t value) {
  return value > 9 ? QString::number(value) : QStringLiteral("0") + QString::number(value);
}

// mm:ss for any non-negative count of seconds.
QString minutesAndSeconds(int64_t seconds) {
  if (seconds < 0) return QStringLiteral("00:00");
  if (seconds < 60) {
    return (seconds > 9 ? QStringLiteral("00:") : QStringLiteral("00:0")) +
           QString::number(seconds);
  }
  const auto minutes = static_cast<int64_t>(std::floor(static_cast<double>(seconds) / 60.0));
  const int64_t rest = seconds - minutes * 60;
  return twoDigits(minutes) + QStringLiteral(":") + twoDigits(rest);
}

}  // namespace

namespace modFunciones {

QString FormatTime(int16_t seconds) {
  return minutesAndSeconds(seconds);
}

QString CaptionFor(int16_t track, int32_t elapsedMs) {
  const QString head = QStringLiteral("Pista ") + QString::number(track) + QStringLiteral(" - ");
  // Dropping the last three digits of the decimal text truncates toward zero,
  // which for a non-negative count is the integer quotient by 1000.
  if (elapsedMs < 1000) return head + QStringLiteral("00:00");
  const int32_t seconds = elapsedMs / 1000;
  if (seconds <= INT16_MAX) return head + FormatTime(static_cast<int16_t>(seconds));
  return head + minutesAndSeconds(seconds);
}

}  // namespace modFunciones
