#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <filesystem>
#include <functional>

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

// What a case writes into its folder, returning the path to open.
using Maker = std::function<std::string(const TestRip&)>;

Maker nero(const discgen::NeroImage& n) {
  return [n](const TestRip& rip) { return rip.text("disc.nrg", n.bytes()); };
}

struct Outcome {
  bool normalExit = false;
  int status = -1;
  std::string out, err;
};

// Runs `program` on `arg` with `env` added. No display: a program that tried
// to open its window would fail in another way than the refusal expected.
// The probe is the program's own: beside it in the build tree, in
// libexec/velmar/ once installed. (RunningProgram gives no exit status.)
Outcome runProgram(const std::string& arg,
                   const std::vector<std::pair<QString, QString>>& env = {}) {
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "VELMAR_PROBE", "VELMAR_DEBUG"}) e.remove(v);
  e.insert("QT_QPA_PLATFORM", "xcb");
  for (const auto& [k, v] : env) e.insert(k, v);
  QProcess p;
  p.setProcessEnvironment(e);
  p.start(VELMAR_PROGRAM, {QString::fromStdString(arg)});
  if (!p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished();
  }
  return {p.exitStatus() == QProcess::NormalExit, p.exitCode(),
          p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

// `said` starts with `reason`; "|" in `reason` separates what either of two
// readings may give.
bool startsWithEither(const std::string& said, const std::string& reason) {
  const size_t bar = reason.find('|');
  return said.starts_with(reason.substr(0, bar)) ||
         (bar != std::string::npos && said.starts_with(reason.substr(bar + 1)));
}

// The real program refuses `path` with status 2 and one line that gives
// `reason`, then the hint to its help.
void expectRefusal(const std::string& path, const std::string& reason) {
  const Outcome r = runProgram(path);
  EXPECT_TRUE(r.normalExit && r.status == 2) << "crashed or status " << r.status;
  const std::string said = "velmar: no se puede abrir «" + path + "»: ";
  EXPECT_TRUE(r.err.starts_with(said) && startsWithEither(r.err.substr(said.size()), reason))
      << r.err;
  EXPECT_EQ(r.err.find("Pruebe «velmar --help»"), r.err.find('\n') + 1) << "one line, then help";
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  EXPECT_EQ(r.out, "");
}

// A probe, the real one, that runs the shell command `then` once it has
// answered, and leaves an empty file "probed.PID" for each run: what happens
// to an image between the probe's check and the program's own opening of it.
// (It writes no byte to any file: the probe's limits forbid it.)
std::string probeThen(const TestRip& rip, const std::string& then) {
  const std::string script = rip.text(
      "probe-then.sh", "#!/bin/sh\n\"" VELMAR_BINARY_DIR "/velmar-probe\" \"$@\"\nstatus=$?\n" +
                           then + "\ntouch '" + rip.path("probed") + ".'$$\nexit $status\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script;
}

// A block device that is no CD drive: a node of the first loop device's
// numbers made here (as root), else a disk of this machine; empty if none.
std::string blockDevice(const TestRip& rip) {
  if (::mknod(rip.path("disco").c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0)
    return rip.path("disco");
  for (const char* disk : {"/dev/vda", "/dev/sda", "/dev/nvme0n1", "/dev/loop0"}) {
    struct stat st {};
    if (::stat(disk, &st) == 0 && S_ISBLK(st.st_mode)) return disk;
  }
  return {};
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
  const std::string damaged = "la imagen está dañada: leer su tabla de contenido hizo fallar",
                    notToc = "«disc.toc», línea ", noTracks = "no contiene ninguna pista",
                    notImage = ", no una unidad de CD ni una imagen de disco";
  auto sheetNaming = [](const std::string& file) -> Maker {
    return [file](const TestRip& rip) {
      return rip.text("disco.cue",
                      "FILE \"" + file + "\" BINARY\n TRACK 01 AUDIO\n INDEX 01 0:0:0\n");
    };
  };
  auto special = [](const std::string& file) {
    return "«disco.cue», línea 1: el archivo «" + file +
           "» es un archivo especial del sistema (como los de /sys y /proc), no un archivo de "
           "datos: el tamaño que da (" +
           std::to_string(std::filesystem::file_size(file)) + " bytes) no es el real";
  };
  const std::string sys = "/sys/devices/system/cpu/online", proc = "/proc/version";
  auto path = [](const char* p) { return [p](const TestRip&) { return std::string(p); }; };
  const auto bare = [](const TestRip& r) {
    return r.text("bare.nrg", "NER5" + std::string(8, '\0'));
  };
  const struct {
    const char* what;
    Maker make;
    std::string reason;  // its start; "|": a four-byte file makes libcdio read memory it never
                         // wrote, so its answer varies from run to run
    bool launch;         // also through the real program
  } cases[] = {
      {"Nero footer pointing past the end", nero(beyond), noTracks, false},
      {"Nero footer pointing into the audio", nero(intoAudio), damaged, true},
      {"Nero version 1 footer past the end", nero(v1Beyond), noTracks, false},
      {"Nero chunk longer than the file", nero(longChunk), damaged, false},
      {"Nero cue chunk of a ragged size", nero(ragged), damaged, false},
      {"Nero chunks cut short", nero(cut), damaged, false},
      {"Nero footer alone", bare, "no es una imagen .nrg de Nero que se pueda leer", true},
      {"Nero file of four bytes", [](const TestRip& r) { return r.text("tiny.nrg", "NER5"); },
       damaged + "|" + noTracks, false},
      {"Nero with 500 track entries", nero(neroWithManyTracks()), damaged, false},
      {".toc naming /dev/zero",
       [](const TestRip& r) {
         return r.text("disc.toc", "CD_DA\nTRACK AUDIO\nFILE \"/dev/zero\" 0\n");
       },
       notToc + "3: el archivo «/dev/zero» es un dispositivo de caracteres, no un archivo", false},
      {".toc of binary noise",
       [](const TestRip& r) { return r.text("noise.toc", "\x01\xff\xfe{{\"\"\n\x7f"); },
       "«noise.toc», línea 1: «\x01ÿþ» no es una palabra de archivo .toc", true},
      {"/dev/zero", path("/dev/zero"), "es un dispositivo de caracteres" + notImage, true},
      {"a block device that is no CD drive", blockDevice, "es un dispositivo de bloques" + notImage,
       true},
      {"a raw file of /sys (4096 bytes, it says)", sheetNaming(sys), special(sys), true},
      {"a raw file of /proc (empty, it says)", sheetNaming(proc), special(proc), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TestRip rip;
    const std::string image = c.make(rip);
    if (image.empty()) {
      std::printf("[ skipped  ] %s: none on this machine\n", c.what);
      continue;
    }
    EXPECT_TRUE(startsWithEither(discPathProblem(image), c.reason)) << discPathProblem(image);
    if (c.launch) expectRefusal(image, c.reason);
  }

  // VELMAR_DEBUG adds libcdio's lines before the same refusal.
  const TestRip rip;
  const Outcome quiet = runProgram(bare(rip)),
                loud = runProgram(bare(rip), {{"VELMAR_DEBUG", "1"}});
  EXPECT_NE(loud.err.find("velmar-probe: "), std::string::npos) << loud.err;
  EXPECT_TRUE(loud.err.size() > quiet.err.size() && loud.err.ends_with(quiet.err)) << loud.err;

  // What the kernel's CD-ROM layer lists stays a drive.
  const std::string info =
      "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\ndrive name:\t\tsr1\tsr0\n"
      "drive speed:\t\t48\t24\n";
  EXPECT_TRUE(cdromInfoListsDrive(info, "sr0") && cdromInfoListsDrive(info, "sr1"));
  EXPECT_FALSE(cdromInfoListsDrive(info, "sr") || cdromInfoListsDrive(info, "vda") ||
               cdromInfoListsDrive("", "sr0"));
}

// A probe that never answers is abandoned at its time limit; one whose
// report ends early (killed while it wrote) is not believed. (The installed
// program's probe, and no image without it: tests/support/check-package.sh.)
TEST(HostileImages, AProbeThatHangsOrAnswersHalfIsNotBelieved) {
  const TestRip rip;
  const UniqueFd image = openRegularFile(nero(neroDisc())(rip), nullptr);
  const QByteArray probe = qgetenv("VELMAR_PROBE");
  auto fake = [&](const std::string& script) {
    const std::string path = rip.text("fake.sh", "#!/bin/sh\n" + script + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    qputenv("VELMAR_PROBE", path.c_str());
    const imageprobe::Report r = imageprobe::probe(image.get());
    qputenv("VELMAR_PROBE", probe);
    return r;
  };
  EXPECT_EQ(fake("printf 'velmar-probe 1\\nok 1 300\\nen'").verdict,
            imageprobe::Report::Verdict::Damaged);
  QElapsedTimer clock;
  clock.start();
  const imageprobe::Report r = fake("exec sleep 60");
  const qint64 ms = clock.elapsed();
  std::printf("[ figure ] a hanging probe is refused after %lld ms (limit 3000 ms)\n",
              static_cast<long long>(ms));
  EXPECT_EQ(r.verdict, imageprobe::Report::Verdict::TimedOut) << r.problem;
  EXPECT_TRUE(r.problem.starts_with("leer la tabla de contenido de la imagen tardó más de 3 s"));
  EXPECT_TRUE(ms >= 2900 && ms < 10000) << ms;
}

// What the probe checked is what opens: a Nero image that a forgery which
// crashes libcdio replaces after the probe (a rename, as a download or a copy
// ends) opens as it was checked; one written to in place is refused. Through
// the real program too, whose check on the command line crashed before. A
// good image opens with its table and audio; a forged one given to a running
// device leaves it without a disc.
TEST(HostileImages, WhatTheProbeCheckedIsWhatOpens) {
  const TestRip rip;
  const std::string image = rip.path("disc.nrg"), forged = rip.path("forged.nrg");
  auto runs = [&] { return QDir(rip.dir.path(), "probed.*").entryList(); };
  auto write = [&] {
    nero(neroDisc())(rip);
    rip.text("forged.nrg", neroWithManyTracks().bytes());
    for (const QString& run : runs()) std::filesystem::remove(rip.path(run.toStdString()));
  };
  const std::string swap = "mv -f '" + forged + "' '" + image + "'";
  const std::pair<std::string, std::string> cases[] = {
      {"true", ""},
      {swap, ""},
      {"truncate -s -12 '" + image + "'", "la imagen cambió mientras se abría"},
  };
  const QByteArray probe = qgetenv("VELMAR_PROBE");
  for (const auto& [then, refusal] : cases) {
    SCOPED_TRACE(then);
    write();
    qputenv("VELMAR_PROBE", probeThen(rip, then).c_str());
    std::string why;
    const auto source = CdioSource::open(image, &why);
    qputenv("VELMAR_PROBE", probe);
    EXPECT_EQ(why, refusal);
    if (!refusal.empty()) continue;
    ASSERT_TRUE(source);
    EXPECT_EQ(tocText(source->toc()), "0+300 s1; lead-out 300");
    std::vector<int16_t> pcm(kSamplesPerSector);
    EXPECT_EQ(source->read(299, 1, pcm.data()), SectorRead::Ok) << "the last sector";
    EXPECT_EQ(pcm[1], discgen::sampleAt(counterDisc({300}).tracks[0], 299 * 588, 1));
    EXPECT_EQ(std::filesystem::exists(forged), then != swap);
  }

  // The command line's check opens the image it checked; the window then
  // opens what the path names by then, the forgery, which its probe refuses.
  write();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VELMAR_PROBE", QString::fromStdString(probeThen(rip, swap)));
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
