#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

class frmVelmar;

// The running copy's door for later launches: the bus name
// org.velmar.Velmar with the interface org.velmar.Velmar.Instance at
// /org/velmar/Velmar. Only Velmar answers there, which tells a running
// Velmar apart from any program that holds the MPRIS name.
//
// Requests that arrive before the window exists wait for it.
class Instance : public QObject {
  Q_OBJECT

 public:
  static constexpr char kServiceName[] = "org.velmar.Velmar";
  static constexpr char kObjectPath[] = "/org/velmar/Velmar";
  static constexpr char kInterface[] = "org.velmar.Velmar.Instance";
  static constexpr char kCannotOpen[] = "org.velmar.Velmar.Error.CannotOpen";

  Instance();

  void setWindow(frmVelmar* window);

  // Shows `window` in front of others, un-minimised and active.
  static void raise(frmVelmar& window);

  // Brings the window to the front, un-minimised.
  void raiseWindow();
  // Opens `disc` ("" the default drive) in the window, after raising it.
  void openDisc(const QString& disc);

 private:
  void apply();

  QPointer<frmVelmar> window_;
  bool raisePending_ = false;
  std::optional<QString> discPending_;
};

class InstanceAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.velmar.Velmar.Instance")

 public:
  InstanceAdaptor(Instance* instance, QDBusConnection bus);

 public slots:
  void Raise();
  // `disc`: an absolute path of a drive or an image. Refused with
  // org.velmar.Velmar.Error.CannotOpen and the reason in Spanish when it
  // cannot be played.
  void Open(const QString& disc, const QDBusMessage& message);

 private:
  Instance* instance_;
  QDBusConnection bus_;
};
