#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QObject>
#include <QTest>
#include <QVariantMap>
#include <vector>

// A D-Bus client of its own (not the program's connection), so that calls
// and signals really cross the bus. Calls are asynchronous and pump the
// event loop while they wait: the service may live in this very process.
class BusClient : public QObject {
  Q_OBJECT

 public:
  static inline const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
  static inline const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
  struct Changed {
    QString interface;
    QVariantMap values;
  };

  // Skips the test where no private bus was set up (tests/support/with-dbus.sh).
  static bool onPrivateBus() { return qgetenv("VELMAR_PRIVATE_BUS") == "1"; }

  explicit BusClient(QString service = QStringLiteral("org.mpris.MediaPlayer2.velmar"),
                     QString path = QStringLiteral("/org/mpris/MediaPlayer2"))
      : name_(QStringLiteral("velmar-test-client-%1").arg(++count())),
        service_(std::move(service)),
        path_(std::move(path)),
        bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)) {}
  ~BusClient() override { QDBusConnection::disconnectFromBus(name_); }

  QDBusConnection& bus() { return bus_; }

  // Calls `method` of `interface` and waits up to 10 s for the answer.
  QDBusMessage call(const QString& method, const QVariantList& args = {},
                    const QString& interface = kPlayer) {
    QDBusMessage m = QDBusMessage::createMethodCall(service_, path_, interface, method);
    m.setArguments(args);
    QDBusPendingCall pending = bus_.asyncCall(m, 10000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 12000))
        << method.toStdString();
    return pending.reply();
  }
  // A property of `interface`; invalid when it cannot be read.
  QVariant get(const QString& property, const QString& interface = kPlayer) {
    const QDBusMessage r = call("Get", {interface, property}, "org.freedesktop.DBus.Properties");
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return {};
    return r.arguments().front().value<QDBusVariant>().variant();
  }
  QDBusMessage set(const QString& property, const QVariant& value,
                   const QString& interface = kPlayer) {
    return call("Set", {interface, property, QVariant::fromValue(QDBusVariant(value))},
                "org.freedesktop.DBus.Properties");
  }

  // Records PropertiesChanged and Seeked of the service from now on.
  void listen() {
    EXPECT_TRUE(bus_.connect(service_, path_, "org.freedesktop.DBus.Properties",
                             "PropertiesChanged", this,
                             SLOT(onChanged(QString, QVariantMap, QStringList))));
    EXPECT_TRUE(bus_.connect(service_, path_, kPlayer, "Seeked", this, SLOT(onSeeked(qlonglong))));
  }
  std::vector<Changed> changes;
  std::vector<qlonglong> seeks;

 private slots:
  void onChanged(const QString& interface, const QVariantMap& values, const QStringList&) {
    changes.push_back({interface, values});
  }
  void onSeeked(qlonglong position) { seeks.push_back(position); }

 private:
  static int& count() {
    static int n = 0;
    return n;
  }
  QString name_, service_, path_;
  QDBusConnection bus_;
};
