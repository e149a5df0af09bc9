#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QElapsedTimer>
#include <filesystem>

#include "disc/CdioDevice.h"
#include "sources/CdioDrive.h"
#include "sources/CdioSource.h"
#include "sources/DiscOpener.h"
#include "sources/ImageProbe.h"
#include "sources/RegularFile.h"
#include "support/RunningProgram.h"
#include "support/TestDisc.h"
#include "support/TestRip.h"

namespace {

// A Nero image of one audio track of 300 sectors, a counter (see
// TestDisc.h), which a case may forge.
discgen::NeroImage neroDisc() {
  return discgen::neroImage(counterDisc({300}));
}

// One with 500 track entries, which make libcdio write past its track table:
// a crash in the process that parses it.
discgen::NeroImage neroWithManyTracks() {
  discgen::NeroImage n = neroDisc();
  n.cues = {{0x01, 0x00, 0, -150}};
  for (int i = 0; i < 500; ++i) n.cues.push_back({0x01, static_cast<uint8_t>(i % 99 + 1), 1, i});
  n.cues.push_back({0x01, 0xAA, 1, 600});
  n.lastTrack = 255;
  return n;
}

// The real program on `path`, run to its end as from SSH: without a display
// a program that tried to open its window would fail in another way than
// the refusal expected. The probe is the program's own: beside it in the
// build tree, in libexec/velmar/ once installed.
std::unique_ptr<RunningProgram> runToEnd(const std::string& path, const char* debug = nullptr) {
  RunningProgram::Options o;
  o.noDisplay = true;
  o.env.remove("VELMAR_DEBUG");
  if (debug) o.env.insert("VELMAR_DEBUG", debug);
  auto p = std::make_unique<RunningProgram>(std::vector<std::string>{path}, o);
  EXPECT_GE(p->waitForEnd(30000), 0);
  return p;
}

// The real program refuses `path` with status 2 and one line that gives
// `reason`, then the hint to its help.
void expectRefusal(const std::string& path, const std::string& reason) {
  const auto r = runToEnd(path);
  EXPECT_EQ(r->status(), 2) << "-1: crashed";
  const std::string err = r->errors(), said = "velmar: no se puede abrir «" + path + "»: ";
  EXPECT_TRUE(err.starts_with(said + reason)) << err;
  EXPECT_EQ(err.find("Pruebe «velmar --help»"), err.find('\n') + 1) << "one line, then help";
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  EXPECT_EQ(r->out(), "");
}

// A probe in place of the program's: the shell `body`, in which `$real "$@"`
// runs the real one, ending with status `$s`; each run that ends leaves an
// empty file "probed.PID".
// What happens to an image between the probe's check and the program's own
// opening of it. (The real probe writes no byte to any file: its limits
// forbid it.)
std::string probeScript(const TestRip& rip, const std::string& body) {
  const std::string script =
      rip.text("probe.sh", "#!/bin/sh\ns=0\nreal='" VELMAR_BINARY_DIR "/velmar-probe'\n" + body +
                               "\ntouch '" + rip.path("probed") + ".'$$\nexit $s\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script;
}

// A block device that is no CD drive: a node of the first loop device's
// numbers made here (the tests run as root); empty if it cannot be made.
std::string blockDevice(const TestRip& rip) {
  const bool made = ::mknod(rip.path("disco").c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0;
  return made ? rip.path("disco") : std::string();
}

}  // namespace

// Every image libcdio's parsers cannot be trusted with, the same hostile
// forms as .toc files (read by our own reader, with their line), paths that
// are no image at all, and paths whose reason the program once misreported
// (an empty window, another reason): each is refused with its true reason by
// discPathProblem, which the command line, a running window and a second
// launch use, the Nero images after the probe took their crash. One of each
// class goes through the real program: status 2, one Spanish line, no crash,
// no window and no line of libcdio's, in release and sanitizer builds alike.
TEST(HostileImages, AreRefusedWithTheirReasonAndStatusTwo) {
  discgen::NeroImage beyond = neroDisc(), intoAudio = beyond, v1Beyond = beyond, longChunk = beyond,
                     ragged = beyond, cut = beyond;
  beyond.footerOffset = int64_t{1} << 40;
  intoAudio.footerOffset = 17;
  v1Beyond.versionOne = true;
  v1Beyond.footerOffset = 0xFFFFFFF0;
  longChunk.cuexSize = 0xFFFFFFF0;
  ragged.cuexTail = "xyz";
  cut.chunkBytes = 20;
  const TestRip rip;
  const std::string damaged = "la imagen está dañada: leer su tabla de contenido hizo fallar",
                    noTracks = "no contiene ninguna pista",
                    notImage = ", no una unidad de CD ni una imagen de disco",
                    bare = rip.text("bare.nrg", "NER5" + std::string(8, '\0'));
  auto nero = [&](const char* name, const discgen::NeroImage& n) {
    return rip.text(name, n.bytes());
  };
  // A sheet naming `file`, and the reason it is refused.
  auto naming = [&](const char* sheet, const std::string& file) {
    return rip.text(sheet, "FILE \"" + file + "\" BINARY\n TRACK 01 AUDIO\n INDEX 01 0:0:0\n");
  };
  auto special = [](const char* sheet, const std::string& file) {
    return "«" + std::string(sheet) + "», línea 1: el archivo «" + file +
           "» es un archivo especial del sistema (como los de /sys y /proc), no un archivo de "
           "datos: el tamaño que da (" +
           std::to_string(std::filesystem::file_size(file)) + " bytes) no es el real";
  };
  const std::string sys = "/sys/devices/system/cpu/online", proc = "/proc/version";
  const struct {
    const char* what;
    std::string path;
    std::string reason;  // its start
    bool launch;         // also through the real program
  } cases[] = {
      {"Nero footer pointing past the end", nero("beyond.nrg", beyond), noTracks, false},
      {"Nero footer pointing into the audio", nero("into.nrg", intoAudio), damaged, true},
      {"Nero version 1 footer past the end", nero("v1.nrg", v1Beyond), noTracks, false},
      {"Nero chunk longer than the file", nero("long.nrg", longChunk), damaged, false},
      {"Nero cue chunk of a ragged size", nero("ragged.nrg", ragged), damaged, false},
      {"Nero chunks cut short", nero("cut.nrg", cut), damaged, false},
      {"Nero footer alone", bare, "no es una imagen .nrg de Nero que se pueda leer", true},
      {"Nero with 500 track entries", nero("many.nrg", neroWithManyTracks()), damaged, false},
      {".toc naming /dev/zero", rip.text("disc.toc", "CD_DA\nTRACK AUDIO\nFILE \"/dev/zero\" 0\n"),
       "«disc.toc», línea 3: el archivo «/dev/zero» es un dispositivo de caracteres, no un archivo",
       false},
      {".toc of binary noise", rip.text("noise.toc", "\x01\xff\xfe{{\"\"\n\x7f"),
       "«noise.toc», línea 1: «\x01ÿþ» no es una palabra de archivo .toc", true},
      {"/dev/zero", "/dev/zero", "es un dispositivo de caracteres" + notImage, true},
      {"a block device that is no CD drive", blockDevice(rip),
       "es un dispositivo de bloques" + notImage, true},
      {"a raw file of /sys (4096 bytes, it says)", naming("sys.cue", sys), special("sys.cue", sys),
       true},
      {"a raw file of /proc (empty, it says)", naming("proc.cue", proc), special("proc.cue", proc),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.path.empty()) {
      std::printf("[ skipped  ] %s: none on this machine\n", c.what);
      continue;
    }
    EXPECT_TRUE(discPathProblem(c.path).starts_with(c.reason)) << discPathProblem(c.path);
    if (c.launch) expectRefusal(c.path, c.reason);
  }

  // VELMAR_DEBUG adds libcdio's lines before the same refusal.
  const std::string quiet = runToEnd(bare)->errors(), loud = runToEnd(bare, "1")->errors();
  EXPECT_NE(loud.find("velmar-probe: "), std::string::npos) << loud;
  EXPECT_TRUE(loud.size() > quiet.size() && loud.ends_with(quiet)) << loud;

  // What the kernel's CD-ROM layer lists stays a drive.
  const std::string info =
      "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\ndrive name:\t\tsr1\tsr0\n"
      "drive speed:\t\t48\t24\n";
  EXPECT_TRUE(cdromInfoListsDrive(info, "sr0") && cdromInfoListsDrive(info, "sr1"));
  EXPECT_FALSE(cdromInfoListsDrive(info, "sr") || cdromInfoListsDrive(info, "vda") ||
               cdromInfoListsDrive("", "sr0"));
}

// What the probe checked is what opens: a Nero image that a forgery which
// crashes libcdio replaces after the probe (a rename, as a download or a copy
// ends) opens as it was checked; one written to in place is refused; a probe
// whose report ends early (killed while it wrote) is not believed, one that
// never answers is abandoned at its time limit. Through the real program
// too, whose check on the command line crashed before. A forged image given
// to a running device leaves it without a disc. (The installed program's
// probe, and no image without it: tests/support/check-package.sh.)
TEST(HostileImages, WhatTheProbeCheckedIsWhatOpens) {
  const TestRip rip;
  const std::string image = rip.path("disc.nrg"), forged = rip.path("forged.nrg");
  auto runs = [&] { return QDir(rip.dir.path(), "probed.*").entryList(); };
  auto write = [&] {
    rip.text("disc.nrg", neroDisc().bytes());
    rip.text("forged.nrg", neroWithManyTracks().bytes());
    for (const QString& run : runs()) std::filesystem::remove(rip.path(run.toStdString()));
  };
  const std::string real = "\"$real\" \"$@\"; s=$?; ",
                    swap = real + "mv -f '" + forged + "' '" + image + "'";
  const std::pair<std::string, std::string> cases[] = {
      {real, ""},
      {swap, ""},
      {real + "truncate -s -12 '" + image + "'", "la imagen cambió mientras se abría"},
      {"printf 'velmar-probe 1\\nok 1 300\\nen'", "la imagen está dañada"},
  };
  const QByteArray probe = qgetenv("VELMAR_PROBE");
  for (const auto& [body, refusal] : cases) {
    SCOPED_TRACE(body);
    write();
    qputenv("VELMAR_PROBE", probeScript(rip, body).c_str());
    std::string why;
    const auto source = CdioSource::open(image, &why);
    qputenv("VELMAR_PROBE", probe);
    EXPECT_TRUE(why.starts_with(refusal) && (refusal.empty() == why.empty())) << why;
    if (!refusal.empty()) continue;
    ASSERT_TRUE(source);
    EXPECT_EQ(tocText(source->toc()), "0+300 s1; lead-out 300");
    std::vector<int16_t> pcm(kSamplesPerSector);
    EXPECT_EQ(source->read(299, 1, pcm.data()), SectorRead::Ok) << "the last sector";
    EXPECT_EQ(pcm[1], discgen::sampleAt(counterDisc({300}).tracks[0], 299 * 588, 1));
    EXPECT_EQ(std::filesystem::exists(forged), body != swap);
  }

  qputenv("VELMAR_PROBE", probeScript(rip, "exec sleep 60").c_str());
  QElapsedTimer clock;
  clock.start();
  const imageprobe::Report hung = imageprobe::probe(openRegularFile(image, nullptr).get());
  const qint64 ms = clock.elapsed();
  qputenv("VELMAR_PROBE", probe);
  EXPECT_EQ(hung.verdict, imageprobe::Report::Verdict::TimedOut);
  EXPECT_TRUE(hung.problem.starts_with("leer la tabla de contenido de la imagen tardó más de 3 s"));
  EXPECT_TRUE(ms >= 2900 && ms < 10000) << ms;

  // The command line's check opens the image it checked; the window then
  // opens what the path names by then, the forgery, which its probe refuses.
  write();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VELMAR_PROBE", QString::fromStdString(probeScript(rip, swap)));
  RunningProgram velmar(image, env);
  EXPECT_TRUE(QTest::qWaitFor([&] { return runs().size() == 2; }, 20000));
  EXPECT_TRUE(velmar.running()) << velmar.errors();
  EXPECT_GE(velmar.terminate(), 0);
  EXPECT_TRUE(velmar.endedWell()) << velmar.errors();

  CdioDevice device(image);
  device.open();
  EXPECT_EQ(device.mode(), DeviceMode::NoDisc);
  EXPECT_EQ(device.tracks(), 0);
}
