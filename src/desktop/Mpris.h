#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "desktop/NowPlaying.h"

class MprisPlayer;

// The MPRIS2 face of the window on a D-Bus connection: the root and player
// interfaces at /org/mpris/MediaPlayer2 under org.mpris.MediaPlayer2.velmar
// (org.mpris.MediaPlayer2.velmar.instance<pid> when another program holds
// that name).
//
// Every method acts through the command words the window and its transport
// bar use (desktop::Player), so the display, the seek bar and the list follow
// at the next tick; the volume goes through the slider. What each call may do
// follows MPRIS rather than the transport bar's enabling (see the Can*
// properties). Times on the bus are
// µs within the current track. PropertiesChanged is sent only for values
// that changed; Position is never announced, Seeked follows every jump.
class Mpris : public QObject {
  Q_OBJECT

 public:
  static constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
  static constexpr char kServiceName[] = "org.mpris.MediaPlayer2.velmar";
  static constexpr char kTrackPathPrefix[] = "/org/velmar/Velmar/track/";
  static constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

  // Exports the interfaces on `bus` and takes the bus name; `now` follows
  // the player. A child of the player. Without a usable connection nothing
  // is exported.
  Mpris(NowPlaying& now, QDBusConnection bus);
  ~Mpris() override;

  const QDBusConnection& bus() const { return bus_; }

  desktop::Player& player() const { return now_->player(); }
  NowPlaying& now() const { return *now_; }

  // The player's properties as announced, by name.
  QVariantMap playerProperties() const;
  // The track id of track `track` (0: no track).
  static QDBusObjectPath trackId(int track);

  // Plays from `ms` (from the start of the disc): "stop", To, "seek", and
  // "play" again when the disc was playing. A paused disc gets To and
  // "seek" only, and stays paused there.
  void jumpTo(int32_t ms);

 private:
  void announce();

  NowPlaying* now_;
  QDBusConnection bus_;
  MprisPlayer* player_ = nullptr;
  QString service_;
  QVariantMap announced_;
};

class MprisRoot : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ canQuit)
  Q_PROPERTY(bool CanRaise READ canRaise)
  Q_PROPERTY(bool HasTrackList READ hasTrackList)
  Q_PROPERTY(QString Identity READ identity)
  Q_PROPERTY(QString DesktopEntry READ desktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

 public:
  explicit MprisRoot(Mpris* mpris);

  bool canQuit() const { return true; }
  bool canRaise() const { return true; }
  bool hasTrackList() const { return false; }
  QString identity() const;
  QString desktopEntry() const;
  QStringList supportedUriSchemes() const;
  QStringList supportedMimeTypes() const;

 public slots:
  void Raise();
  void Quit();

 private:
  Mpris* mpris_;
};

class MprisPlayer : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(double Rate READ rate WRITE setRate)
  Q_PROPERTY(double MinimumRate READ rate)
  Q_PROPERTY(double MaximumRate READ rate)
  Q_PROPERTY(QVariantMap Metadata READ metadata)
  Q_PROPERTY(double Volume READ volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ position)
  Q_PROPERTY(bool CanGoNext READ canGoNext)
  Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
  Q_PROPERTY(bool CanPlay READ canPlay)
  Q_PROPERTY(bool CanPause READ canPause)
  Q_PROPERTY(bool CanSeek READ canSeek)
  Q_PROPERTY(bool CanControl READ canControl)

 public:
  explicit MprisPlayer(Mpris* mpris);

  QString playbackStatus() const;
  double rate() const { return 1.0; }
  // Only the normal rate is played: 0.0 pauses, as MPRIS asks, and other
  // rates are ignored.
  void setRate(double rate);
  // The current track's, looked at now.
  QVariantMap metadata() const;
  static QVariantMap metadataOf(const NowPlaying::State& state);
  double volume() const;
  void setVolume(double volume);
  qlonglong position() const;
  bool canGoNext() const;
  bool canGoPrevious() const;
  bool canPlay() const;
  bool canPause() const;
  bool canSeek() const;
  bool canControl() const { return true; }

 public slots:
  void Next();
  void Previous();
  void Pause();
  void PlayPause();
  void Stop();
  void Play();
  void Seek(qlonglong Offset);
  void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position);
  // The message is the call itself, for the error reply.
  void OpenUri(const QString& Uri, const QDBusMessage& message);

 signals:
  void Seeked(qlonglong Position);

 private:
  desktop::Player::Mode mode() const { return mpris_->player().mode(); }
  // A disc is open: stopped, playing or paused.
  bool hasDisc() const { return mode() != desktop::Player::Mode::NoDisc; }

  Mpris* mpris_;
};
