#include "app/frmVelmar.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QTimer>

#include "app/DiscLoader.h"
#include "app/DropDownList.h"
#include "app/Layout.h"
#include "app/WindowPlayer.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "view/SeekBar.h"
#include "volume/modVolumen.h"

frmVelmar::frmVelmar(std::unique_ptr<CdDevice> device, QWidget* parent) : QWidget(parent) {
  modFunciones::ResetState();
  createControls(std::move(device));
  Form_Load();
}

frmVelmar::~frmVelmar() = default;

void frmVelmar::createControls(std::unique_ptr<CdDevice> device) {
  setWindowTitle(QStringLiteral("Velmar"));
  setFixedSize(layout::px(layout::kClientWidth), layout::px(layout::kClientHeight));

  List1 = new DropDownList(this);
  List1->setObjectName(QStringLiteral("List1"));
  List1->setEditable(false);
  List1->setGeometry(layout::kList1.pixels());

  Slider1 = new QSlider(Qt::Vertical, this);
  Slider1->setObjectName(QStringLiteral("Slider1"));
  Slider1->setGeometry(layout::kSlider1.pixels());

  picLED = new QFrame(this);
  picLED->setObjectName(QStringLiteral("picLED"));
  picLED->setGeometry(layout::kPicLED.pixels());

  Label4 = new QLabel(QStringLiteral("00:00"), picLED);
  Label4->setObjectName(QStringLiteral("Label4"));
  Label4->setGeometry(layout::kLabel4.pixels());

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(layout::kTimerIntervalMs);
  connect(Timer1, &QTimer::timeout, this, &frmVelmar::Timer1_Timer);

  MMControl1 = new MMControl(std::move(device), this);
  MMControl1->setObjectName(QStringLiteral("MMControl1"));
  MMControl1->setGeometry(layout::kMMControl1.pixels());

  lblSlider = new SeekBar(this);
  lblSlider->setObjectName(QStringLiteral("lblSlider"));
  lblSlider->setGeometry(layout::kLblSlider.pixels());

  imgSlider = new QLabel(this);
  imgSlider->setObjectName(QStringLiteral("imgSlider"));
  imgSlider->setGeometry(layout::kImgSlider.pixels());

  Label1 = new QLabel(QStringLiteral("V O L U M E N"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(layout::kLabel1.pixels());

  loader_ = new DiscLoader(MMControl1->preparer(), this);

  styleControls();
  wireView();
  wireVolume();
  describeControls();
  connect(MMControl1, &MMControl::discChanged, this, &frmVelmar::ReloadDisc);
  player_ = new WindowPlayer(*this);
}

void frmVelmar::Form_Load() {
  MMControl1->setDeviceType("CDAudio");
  MMControl1->Command("Open");
  MMControl1->setTimeFormat(0);
  modVolumen::Startup(this);
  Timer1->start();
}

void frmVelmar::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Some platforms never activate the window (no window manager, focus
  // stealing prevention); the first show starts the run all the same.
  if (!activated_) QTimer::singleShot(0, this, &frmVelmar::activateOnce);
}

void frmVelmar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) activateOnce();
}

void frmVelmar::activateOnce() {
  if (activated_ || unloaded_) return;
  activated_ = true;
  Form_Activate();
}

void frmVelmar::Form_Activate() {
  MMControl1->Command("Play");
  BuildTrackTable();
}

void frmVelmar::OpenDisc(const std::string& path, OpenDone done) {
  const auto finish = [done = std::move(done)](OpenOutcome outcome, const std::string& problem) {
    if (done) done(outcome, problem);
  };
  if (unloaded_) return finish(OpenOutcome::Refused, kClosing);
  loader_->request(path, [this, finish](DiscLoader::Result r) {
    using Outcome = DiscLoader::Result::Outcome;
    if (unloaded_) return finish(OpenOutcome::Refused, kClosing);
    if (r.outcome == Outcome::Dropped) return finish(OpenOutcome::Dropped, {});
    if (r.outcome == Outcome::Refused) return finish(OpenOutcome::Refused, r.problem);
    MMControl1->adopt(r.path, std::move(r.disc));
    MMControl1->Command("Close");
    MMControl1->setFileName(r.path);
    MMControl1->Command("Open");
    finish(OpenOutcome::Opened, {});
    ReloadDisc();
  });
}

void frmVelmar::ReloadDisc() {
  if (!activated_ || unloaded_) return;
  List1->clear();
  modFunciones::ResetState();
  Form_Activate();
}

bool frmVelmar::BuildTrackTable() {
  const QPointer<frmVelmar> self(this);
  const uint64_t build = ++builds_;
  const int16_t n = modFunciones::TableTrackCount(MMControl1->Tracks());
  for (int16_t i = 1; i <= n; ++i) {
    MMControl1->setTrack(i);
    modFunciones::SetTrackRow(i, MMControl1->TrackPosition(), MMControl1->TrackLength());
    // Filling the list selects nothing: the list shows no choice until the
    // user makes one (an empty list would otherwise select its first item).
    const bool first = List1->count() == 0;
    List1->addItem(QString::number(i));
    if (first) List1->setCurrentIndex(-1);
    QCoreApplication::processEvents();
    if (!self || unloaded_ || build != builds_) return false;
  }
  modFunciones::RefreshCurrentTrack(*MMControl1);
  return true;
}

void frmVelmar::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void frmVelmar::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  Timer1->stop();
  loader_->cancel();
  MMControl1->Command("Close");
}
