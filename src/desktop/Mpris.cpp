#include "desktop/Mpris.h"

#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "app/CommandLine.h"
#include "app/Identity.h"
#include "desktop/NowPlaying.h"

namespace {

constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

// Takes `name` on `bus` if nobody holds it; false when another client does.
bool claim(QDBusConnection& bus, const QString& name) {
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                       QDBusConnectionInterface::DontAllowReplacement);
  return reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
}

}  // namespace

using Mode = desktop::Player::Mode;

Mpris::Mpris(NowPlaying& now, QDBusConnection bus)
    : QObject(&now.player()), now_(&now), bus_(std::move(bus)) {
  new MprisRoot(this);
  player_ = new MprisPlayer(this);
  announced_ = playerProperties();
  connect(now_, &NowPlaying::changed, this, &Mpris::announce);
  connect(now_, &NowPlaying::jumped, this, [this] { emit player_->Seeked(player_->position()); });
  connect(&player(), &desktop::Player::volumeChanged, this, &Mpris::announce);

  if (!bus_.isConnected() || !bus_.interface()) return;
  if (!bus_.registerObject(QLatin1String(kObjectPath), this, QDBusConnection::ExportAdaptors))
    return;
  // A name another program holds is left to it; this copy then answers
  // under a name of its own, as MPRIS provides for a second instance.
  const QString name = QLatin1String(kServiceName);
  const QString own = name + QStringLiteral(".instance%1").arg(::getpid());
  if (claim(bus_, name)) {
    service_ = name;
  } else if (claim(bus_, own)) {
    service_ = own;
  }
}

Mpris::~Mpris() {
  if (!bus_.isConnected()) return;
  if (!service_.isEmpty()) bus_.unregisterService(service_);
  bus_.unregisterObject(QLatin1String(kObjectPath));
}

QDBusObjectPath Mpris::trackId(int track) {
  if (track <= 0) return QDBusObjectPath(QLatin1String(kNoTrack));
  return QDBusObjectPath(QLatin1String(kTrackPathPrefix) + QString::number(track));
}

QVariantMap Mpris::playerProperties() const {
  return {
      {QStringLiteral("PlaybackStatus"), player_->playbackStatus()},
      {QStringLiteral("Metadata"), MprisPlayer::metadataOf(now_->state())},
      {QStringLiteral("Volume"), player_->volume()},
      {QStringLiteral("CanGoNext"), player_->canGoNext()},
      {QStringLiteral("CanGoPrevious"), player_->canGoPrevious()},
      {QStringLiteral("CanPlay"), player_->canPlay()},
      {QStringLiteral("CanPause"), player_->canPause()},
      {QStringLiteral("CanSeek"), player_->canSeek()},
  };
}

// Sends PropertiesChanged with the values that differ from the last ones
// announced, if any.
void Mpris::announce() {
  const QVariantMap now = playerProperties();
  QVariantMap changed;
  for (auto it = now.cbegin(); it != now.cend(); ++it)
    if (announced_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
  announced_ = now;
  if (changed.isEmpty() || service_.isEmpty()) return;
  QDBusMessage signal =
      QDBusMessage::createSignal(QLatin1String(kObjectPath), QLatin1String(kPropertiesInterface),
                                 QStringLiteral("PropertiesChanged"));
  signal << QLatin1String(kPlayerInterface) << changed << QStringList();
  bus_.send(signal);
}

void Mpris::jumpTo(int32_t ms) {
  desktop::Player& p = player();
  const Mode mode = p.mode();
  if (mode != Mode::Paused) p.command("stop");
  p.seek(ms);
  if (mode == Mode::Playing) p.command("play");
}

// ---- org.mpris.MediaPlayer2

MprisRoot::MprisRoot(Mpris* mpris) : QDBusAbstractAdaptor(mpris), mpris_(mpris) {}

QString MprisRoot::identity() const {
  return QStringLiteral("Velmar");
}

QString MprisRoot::desktopEntry() const {
  return QLatin1String(velmar::kDesktopFileName);
}

QStringList MprisRoot::supportedUriSchemes() const {
  return {QStringLiteral("cdda"), QStringLiteral("file")};
}

QStringList MprisRoot::supportedMimeTypes() const {
  return {QStringLiteral("application/x-cue"), QStringLiteral("application/x-cdrdao-toc"),
          QStringLiteral("application/x-nrg"), QStringLiteral("x-content/audio-cdda")};
}

void MprisRoot::Raise() {
  mpris_->player().raise({});
}

// Closes the window as its close box does (the device is closed on unload),
// after the reply has gone out.
void MprisRoot::Quit() {
  mpris_->player().quit();
}

// ---- org.mpris.MediaPlayer2.Player

MprisPlayer::MprisPlayer(Mpris* mpris) : QDBusAbstractAdaptor(mpris), mpris_(mpris) {}

QString MprisPlayer::playbackStatus() const {
  switch (mode()) {
    case Mode::Playing:
      return QStringLiteral("Playing");
    case Mode::Paused:
      return QStringLiteral("Paused");
    case Mode::NoDisc:
    case Mode::Stopped:
      break;
  }
  return QStringLiteral("Stopped");
}

QVariantMap MprisPlayer::metadata() const {
  mpris_->now().refresh();
  return metadataOf(mpris_->now().state());
}

QVariantMap MprisPlayer::metadataOf(const NowPlaying::State& s) {
  QVariantMap m;
  const desktop::Player::Track& t = s.track;
  m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(Mpris::trackId(t.number)));
  if (t.number == 0) return m;
  m.insert(QStringLiteral("mpris:length"), qlonglong{t.length} * 1000);
  m.insert(QStringLiteral("xesam:trackNumber"), int{t.number});
  const QString title = QString::fromStdString(t.text.title);
  m.insert(QStringLiteral("xesam:title"),
           title.isEmpty() ? QStringLiteral("Pista %1").arg(t.number) : title);
  if (!s.album.title.empty())
    m.insert(QStringLiteral("xesam:album"), QString::fromStdString(s.album.title));
  const std::string& artist = t.text.performer.empty() ? s.album.performer : t.text.performer;
  if (!artist.empty())
    m.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromStdString(artist)});
  if (!s.album.performer.empty())
    m.insert(QStringLiteral("xesam:albumArtist"),
             QStringList{QString::fromStdString(s.album.performer)});
  return m;
}

double MprisPlayer::volume() const {
  return mpris_->player().volume();
}

void MprisPlayer::setVolume(double volume) {
  mpris_->player().setVolume(volume);
}

qlonglong MprisPlayer::position() const {
  mpris_->now().refresh();
  return qlonglong{mpris_->now().elapsedMs()} * 1000;
}

// As MPRIS has them, not as the transport bar enables its buttons: playing,
// pausing and seeking are possible whenever there is a disc, in any state;
// previous and next whenever the call would change what plays.
bool MprisPlayer::canGoNext() const {
  return hasDisc() && mpris_->now().canGoNext();
}
bool MprisPlayer::canGoPrevious() const {
  return hasDisc() && mpris_->now().canGoPrevious();
}
bool MprisPlayer::canPlay() const {
  return hasDisc();
}
bool MprisPlayer::canPause() const {
  return hasDisc();
}
bool MprisPlayer::canSeek() const {
  return hasDisc();
}

// Previous and next decide on the position now, not as of the last tick.
void MprisPlayer::Next() {
  mpris_->now().refresh();
  if (canGoNext()) mpris_->player().command("Next");
}

void MprisPlayer::Previous() {
  mpris_->now().refresh();
  if (canGoPrevious()) mpris_->player().command("Prev");
}

void MprisPlayer::Pause() {
  if (mode() == Mode::Playing) mpris_->player().command("Pause");
}

void MprisPlayer::PlayPause() {
  if (mode() == Mode::Playing) {
    Pause();
  } else {
    Play();
  }
}

// Stops and goes back to the start of the track, so that Play starts it
// again (the transport bar's Stop keeps the position).
void MprisPlayer::Stop() {
  const Mode m = mode();
  if (m != Mode::Playing && m != Mode::Paused) return;
  mpris_->now().refresh();
  const desktop::Player::Track& t = mpris_->now().state().track;
  mpris_->player().command("Stop");
  if (t.number != 0) mpris_->player().seek(t.start);
}

// Starts a stopped disc from its position, resumes a paused one; a playing
// disc plays on.
void MprisPlayer::Play() {
  const Mode m = mode();
  if (m == Mode::Stopped || m == Mode::Paused) mpris_->player().command("Play");
}

void MprisPlayer::setRate(double rate) {
  if (rate == 0.0) Pause();
}

// Relative to the position now, µs; before the track's start goes to its
// start, at or past its end goes on to the next track.
void MprisPlayer::Seek(qlonglong Offset) {
  if (!canSeek()) return;
  mpris_->now().refresh();
  const desktop::Player::Track& t = mpris_->now().state().track;
  if (t.number == 0) return;
  const qlonglong target = qlonglong{mpris_->now().elapsedMs()} + Offset / 1000;
  if (target >= t.length) {
    Next();
    return;
  }
  mpris_->jumpTo(t.start + static_cast<int32_t>(std::max<qlonglong>(target, 0)));
}

// Absolute within the current track, µs; ignored for another track or a
// position outside the track.
void MprisPlayer::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
  if (!canSeek()) return;
  mpris_->now().refresh();
  const desktop::Player::Track& t = mpris_->now().state().track;
  if (t.number == 0 || TrackId != Mpris::trackId(t.number)) return;
  if (Position < 0 || Position > qlonglong{t.length} * 1000) return;
  mpris_->jumpTo(t.start + static_cast<int32_t>(Position / 1000));
}

// Opens the drive or image a cdda:// or file:// URI names, as a launch with
// it would, off the window's thread. Answered once the disc is opened, or
// taken over by a newer request; a disc that cannot be played is refused
// with the reason.
void MprisPlayer::OpenUri(const QString& Uri, const QDBusMessage& message) {
  const std::string uri = Uri.toStdString();
  std::string disc;
  message.setDelayedReply(true);
  QDBusConnection bus = mpris_->bus();
  auto refuse = [bus, message](const std::string& why) {
    bus.send(message.createErrorReply(QDBusError::InvalidArgs, QString::fromStdString(why)));
  };
  if (std::string problem = discNameProblem(uri, &disc); !problem.empty()) return refuse(problem);
  mpris_->player().open(disc, [bus, message, refuse, uri](bool refused, const std::string& why) {
    if (refused) return refuse(cannotOpenText(uri, why));
    bus.send(message.createReply());
  });
}
