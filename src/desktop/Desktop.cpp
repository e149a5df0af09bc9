#include "desktop/Desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QEventLoop>
#include <QSocketNotifier>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/Activation.h"
#include "app/Signals.h"
#include "desktop/Instance.h"
#include "desktop/Mpris.h"
#include "desktop/NowPlaying.h"
#include "desktop/SoundStream.h"

namespace desktop {

namespace {
// How long a launch waits for the running copy's answer, ms; a copy that has
// not answered by then is taken as gone, and the launch plays by itself. The
// request carries the deadline kHandOverTakeMs from its sending: a running
// copy that gets it later leaves it alone, and the rest of the wait lets a
// timely answer come back.
constexpr int kHandOverWaitMs = 1000;
constexpr int kHandOverTakeMs = 800;

// `disc` as the file system resolves it, as bytes: the running copy has
// another working folder, and text would lose bytes that are not UTF-8.
QByteArray resolvedPath(const std::string& disc) {
  if (disc.empty()) return {};
  if (char* real = ::realpath(disc.c_str(), nullptr)) {
    QByteArray path(real);
    std::free(real);
    return path;
  }
  // Gone meanwhile: made absolute, with nothing taken out as text.
  if (disc.front() == '/') return QByteArray::fromStdString(disc);
  std::error_code ec;
  return QByteArray::fromStdString(std::filesystem::current_path(ec).string() + "/" + disc);
}
}  // namespace

void prepareProcess() {
  velmar::launchToken();
  nameSoundStream();
}

struct Session::Impl {
  QDBusConnection bus = QDBusConnection::sessionBus();
  std::unique_ptr<Instance> instance;
  bool primary = false;  // this copy holds org.velmar.Velmar
};

Session::Session() : d_(std::make_unique<Impl>()) {
  if (!d_->bus.isConnected() || !d_->bus.interface()) return;
  // The object is there before the name is taken, so a launch that finds the
  // name always finds the door behind it.
  auto instance = std::make_unique<Instance>();
  new InstanceAdaptor(instance.get(), d_->bus);
  if (!d_->bus.registerObject(QLatin1String(Instance::kObjectPath), instance.get(),
                              QDBusConnection::ExportAdaptors))
    return;
  d_->instance = std::move(instance);
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      d_->bus.interface()->registerService(QLatin1String(Instance::kServiceName),
                                           QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
  d_->primary = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
}

Session::~Session() {
  if (!d_->instance) return;
  if (d_->primary) d_->bus.unregisterService(QLatin1String(Instance::kServiceName));
  d_->bus.unregisterObject(QLatin1String(Instance::kObjectPath));
}

std::optional<int> Session::handOver(const std::string& argument, const std::string& disc) {
  if (!d_->instance || d_->primary) return std::nullopt;
  const velmar::LaunchToken& token = velmar::launchToken();
  const QVariantMap request{
      {QLatin1String(Instance::kDeadline),
       Instance::monotonicNs() + qint64{kHandOverTakeMs} * 1'000'000},
      {QLatin1String(Instance::kActivationToken), QString::fromStdString(token.activation)},
      {QLatin1String(Instance::kStartupId), QString::fromStdString(token.startupId)},
  };
  QDBusMessage call = QDBusMessage::createMethodCall(
      QLatin1String(Instance::kServiceName), QLatin1String(Instance::kObjectPath),
      QLatin1String(Instance::kInterface),
      argument.empty() ? QStringLiteral("Raise") : QStringLiteral("Open"));
  if (!argument.empty()) call << resolvedPath(disc);
  call << request;
  QDBusPendingCall pending = d_->bus.asyncCall(call, kHandOverWaitMs);

  // SIGTERM and SIGINT end the wait, and the launch.
  QEventLoop wait;
  QDBusPendingCallWatcher watcher(pending);
  QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &wait, [&] { wait.exit(0); });
  std::unique_ptr<QSocketNotifier> signalled;
  if (velmar::terminationSignalFd() >= 0) {
    signalled =
        std::make_unique<QSocketNotifier>(velmar::terminationSignalFd(), QSocketNotifier::Read);
    QObject::connect(signalled.get(), &QSocketNotifier::activated, &wait, [&] { wait.exit(1); });
  }
  if (!pending.isFinished() && wait.exec() == 1) return 0;
  // Not taken (no answer in time, too late, or the name's holder is not
  // Velmar): this launch plays by itself.
  if (pending.reply().type() != QDBusMessage::ReplyMessage) return std::nullopt;
  return 0;
}

void Session::attach(Player& player) {
  if (d_->instance) d_->instance->setPlayer(&player);
  if (d_->bus.isConnected()) new Mpris(*new NowPlaying(player), d_->bus);
}

}  // namespace desktop
