#include "desktop/Instance.h"

#include <time.h>

#include <QDBusConnectionInterface>
#include <cstdio>

#include "sources/SystemError.h"

Instance::Instance() = default;

qint64 Instance::monotonicNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return qint64{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

void Instance::setPlayer(desktop::Player* player) {
  player_ = player;
  apply();
}

void Instance::raiseWindow(const velmar::LaunchToken& token) {
  raisePending_ = true;
  token_ = token;
  apply();
}

void Instance::openDisc(const std::string& disc, const velmar::LaunchToken& token) {
  discPending_ = disc;
  raiseWindow(token);
}

void Instance::apply() {
  if (!player_) return;
  if (raisePending_) player_->raise(token_);
  raisePending_ = false;
  token_ = {};
  if (!discPending_) return;
  const std::string disc = std::move(*discPending_);
  discPending_.reset();
  player_->open(disc, [disc](bool refused, const std::string& why) {
    if (refused)
      std::fprintf(stderr, "velmar: no se puede abrir %s: %s\n", quoted(disc).c_str(), why.c_str());
  });
}

InstanceAdaptor::InstanceAdaptor(Instance* instance, QDBusConnection bus)
    : QDBusAbstractAdaptor(instance), instance_(instance), bus_(std::move(bus)) {}

bool InstanceAdaptor::inTime(const QVariantMap& request, const QDBusMessage& message) {
  const QVariant deadline = request.value(QLatin1String(Instance::kDeadline));
  // A launch stopped by a signal while it waited has left the bus; asking
  // the bus waits on no other program.
  if (deadline.isValid() && Instance::monotonicNs() < deadline.toLongLong() &&
      bus_.interface()->isServiceRegistered(message.service()).value())
    return true;
  message.setDelayedReply(true);
  bus_.send(message.createErrorReply(
      QLatin1String(Instance::kTooLate),
      QStringLiteral("la petición llegó cuando quien la hizo ya no la esperaba")));
  return false;
}

velmar::LaunchToken InstanceAdaptor::tokenOf(const QVariantMap& request) {
  return {request.value(QLatin1String(Instance::kActivationToken)).toString().toStdString(),
          request.value(QLatin1String(Instance::kStartupId)).toString().toStdString()};
}

void InstanceAdaptor::Raise(const QVariantMap& request, const QDBusMessage& message) {
  if (inTime(request, message)) instance_->raiseWindow(tokenOf(request));
}

void InstanceAdaptor::Open(const QByteArray& disc, const QVariantMap& request,
                           const QDBusMessage& message) {
  if (inTime(request, message)) instance_->openDisc(disc.toStdString(), tokenOf(request));
}
