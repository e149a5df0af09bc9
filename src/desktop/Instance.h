#pragma once

#include <QByteArray>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <optional>
#include <string>

#include "desktop/Player.h"

// The running copy's door for later launches: the bus name
// org.velmar.Velmar with the interface org.velmar.Velmar.Instance at
// /org/velmar/Velmar. Only Velmar answers there, which tells a running
// Velmar apart from any program that holds the MPRIS name.
//
// Requests that arrive before the window's player is set wait for it.
class Instance : public QObject {
  Q_OBJECT

 public:
  static constexpr char kServiceName[] = "org.velmar.Velmar";
  static constexpr char kObjectPath[] = "/org/velmar/Velmar";
  static constexpr char kInterface[] = "org.velmar.Velmar.Instance";
  static constexpr char kTooLate[] = "org.velmar.Velmar.Error.TooLate";
  // The keys of a launch's request (see InstanceAdaptor).
  static constexpr char kDeadline[] = "deadline";
  static constexpr char kActivationToken[] = "activation-token";
  static constexpr char kStartupId[] = "desktop-startup-id";

  // CLOCK_MONOTONIC, ns: the clock of the deadlines, shared by every process
  // of the machine.
  static qint64 monotonicNs();

  Instance();

  void setPlayer(desktop::Player* player);

  // Brings the window to the front with `token`.
  void raiseWindow(const velmar::LaunchToken& token);
  // Raises the window, then opens `disc` ("" the default drive) in it.
  void openDisc(const std::string& disc, const velmar::LaunchToken& token);

 private:
  void apply();

  QPointer<desktop::Player> player_;
  bool raisePending_ = false;
  velmar::LaunchToken token_;
  std::optional<std::string> discPending_;
};

class InstanceAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.velmar.Velmar.Instance")

 public:
  InstanceAdaptor(Instance* instance, QDBusConnection bus);

 public slots:
  // `request` holds the launch's "deadline" (x, Instance::monotonicNs()
  // after which the launch no longer waits and plays by itself) and its
  // token: "activation-token" and "desktop-startup-id" (s, may be empty). A
  // request that arrives at or after its deadline, or without one, or whose
  // sender has left the bus (a launch stopped while it waited), is not
  // carried out: it is answered org.velmar.Velmar.Error.TooLate.
  void Raise(const QVariantMap& request, const QDBusMessage& message);
  // `disc`: the absolute path of a drive or an image, resolved by the
  // launch, as the file system's bytes (empty: the default drive). Answered
  // as soon as it is taken; the disc is opened afterwards, off the window's
  // thread, and one that cannot be played after all is reported on standard
  // error while the current disc plays on.
  void Open(const QByteArray& disc, const QVariantMap& request, const QDBusMessage& message);

 private:
  // False, and the TooLate answer sent, when `request` came too late.
  bool inTime(const QVariantMap& request, const QDBusMessage& message);
  static velmar::LaunchToken tokenOf(const QVariantMap& request);

  Instance* instance_;
  QDBusConnection bus_;
};
