#include "desktop/Instance.h"

#include <QFile>
#include <QTimer>

#include "app/frmVelmar.h"
#include "sources/DiscOpener.h"

Instance::Instance() = default;

void Instance::setWindow(frmVelmar* window) {
  window_ = window;
  apply();
}

void Instance::raiseWindow() {
  raisePending_ = true;
  apply();
}

void Instance::openDisc(const QString& disc) {
  raisePending_ = true;
  discPending_ = disc;
  apply();
}

void Instance::raise(frmVelmar& w) {
  if (w.unloaded()) return;
  w.show();
  w.setWindowState(w.windowState() & ~Qt::WindowMinimized);
  w.raise();
  w.activateWindow();
}

void Instance::apply() {
  if (!window_) return;
  if (raisePending_) raise(*window_);
  raisePending_ = false;
  if (!discPending_) return;
  const std::string disc = QFile::encodeName(*discPending_).toStdString();
  discPending_.reset();
  // After the caller has its answer: opening builds the track table, which
  // lets events run.
  QTimer::singleShot(0, window_, [w = window_, disc] {
    if (w) w->OpenDisc(disc);
  });
}

InstanceAdaptor::InstanceAdaptor(Instance* instance, QDBusConnection bus)
    : QDBusAbstractAdaptor(instance), instance_(instance), bus_(std::move(bus)) {}

void InstanceAdaptor::Raise() {
  instance_->raiseWindow();
}

void InstanceAdaptor::Open(const QString& disc, const QDBusMessage& message) {
  if (!disc.isEmpty()) {
    const std::string why = discPathProblem(QFile::encodeName(disc).toStdString());
    if (!why.empty()) {
      message.setDelayedReply(true);
      bus_.send(message.createErrorReply(QLatin1String(Instance::kCannotOpen),
                                         QString::fromStdString(why)));
      return;
    }
  }
  instance_->openDisc(disc);
}
