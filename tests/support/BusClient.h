#pragma once

#include <gtest/gtest.h>

#include <QDBusArgument>
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
// Values come as plain Qt values (a map for Metadata).
class BusClient : public QObject {
  Q_OBJECT

 public:
  static inline const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
  static inline const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");

  // Whether the test runs on a private bus (tests/support/with-dbus.sh), and
  // also against the private sound server (with-pulse.sh).
  static bool onPrivateBus() { return qgetenv("VELMAR_PRIVATE_BUS") == "1"; }
  static bool withSound() {
    return onPrivateBus() && qgetenv("PULSE_SERVER").contains("velmar-pulse");
  }

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
    return plain(r.arguments().front().value<QDBusVariant>().variant());
  }

  // Records PropertiesChanged (the player's) and Seeked from now on.
  void listen() {
    EXPECT_TRUE(bus_.connect(service_, path_, "org.freedesktop.DBus.Properties",
                             "PropertiesChanged", this,
                             SLOT(onChanged(QString, QVariantMap, QStringList))));
    EXPECT_TRUE(bus_.connect(service_, path_, kPlayer, "Seeked", this, SLOT(onSeeked(qlonglong))));
  }
  std::vector<QVariantMap> changes;
  std::vector<qlonglong> seeks;

 private slots:
  void onChanged(const QString& interface, const QVariantMap& values, const QStringList&) {
    EXPECT_EQ(interface, kPlayer);
    changes.push_back(plain(values).toMap());
  }
  void onSeeked(qlonglong position) { seeks.push_back(position); }

 private:
  static QVariant plain(const QVariant& v) {
    if (!v.canConvert<QDBusArgument>() && v.typeId() != QMetaType::QVariantMap) return v;
    QVariantMap map = v.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(v) : v.toMap();
    for (QVariant& each : map) each = plain(each);
    return map;
  }
  static int& count() {
    static int n = 0;
    return n;
  }
  QString name_, service_, path_;
  QDBusConnection bus_;
};
