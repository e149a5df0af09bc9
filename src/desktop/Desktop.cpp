#include "desktop/Desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/frmVelmar.h"
#include "desktop/Instance.h"
#include "desktop/Mpris.h"
#include "desktop/NowPlaying.h"
#include "desktop/SoundStream.h"

namespace desktop {

namespace {
// How long a launch waits for the running copy to take its request, ms. A
// copy that does not answer in time is taken as gone.
constexpr int kHandOverTimeoutMs = 10000;
}  // namespace

void prepareProcess() {
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
  // The running copy has another working folder: it gets the disc by its
  // absolute path.
  QString path;
  if (!disc.empty()) path = QFileInfo(QFile::decodeName(disc.c_str())).absoluteFilePath();
  QDBusMessage call = QDBusMessage::createMethodCall(
      QLatin1String(Instance::kServiceName), QLatin1String(Instance::kObjectPath),
      QLatin1String(Instance::kInterface),
      argument.empty() ? QStringLiteral("Raise") : QStringLiteral("Open"));
  if (!argument.empty()) call << path;
  const QDBusMessage reply = d_->bus.call(call, QDBus::Block, kHandOverTimeoutMs);
  if (reply.type() == QDBusMessage::ReplyMessage) return 0;
  if (reply.type() == QDBusMessage::ErrorMessage &&
      reply.errorName() == QLatin1String(Instance::kCannotOpen)) {
    const CommandLine refused = commandLineError("no se puede abrir «" + argument +
                                                 "»: " + reply.errorMessage().toStdString());
    std::fputs(refused.message.c_str(), stderr);
    return refused.exitStatus;
  }
  // The name's holder is not Velmar, or did not answer: this launch plays by
  // itself.
  return std::nullopt;
}

void Session::attach(frmVelmar& window) {
  auto* now = new NowPlaying(window);
  if (d_->instance) d_->instance->setWindow(&window);
  if (d_->bus.isConnected()) new Mpris(window, *now, d_->bus);
}

}  // namespace desktop
