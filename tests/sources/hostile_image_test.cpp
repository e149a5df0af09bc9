#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cdio/cdio.h>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "disc/CdioDevice.h"
#include "sources/CdioLog.h"
#include "sources/CdioSource.h"
#include "sources/CdioToc.h"
#include "sources/DiscOpener.h"

namespace {

// --- Images written at test time -------------------------------------------------

void put(std::string& out, uint64_t v, int bytes) {  // big-endian
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string chunk(const std::string& id, const std::string& data, int64_t size = -1) {
  std::string c = id;
  put(c, size < 0 ? data.size() : static_cast<uint64_t>(size), 4);
  return c + data;
}

// A Nero image of one audio track of `sectors` after the 2 s pregap: the
// audio, then its chunks (CUEX, DAOX, SINF, END!) and a NER5 footer, each of
// which a case may forge. Byte i of the track is i * 7 (mod 256).
struct Nero {
  int32_t sectors = 300;
  struct Cue {
    uint8_t track, index;
    int32_t lba;
  };
  std::vector<Cue> cues{{0x00, 0, -150}, {0x01, 0, -150}, {0x01, 1, 0}, {0xAA, 1, 300}};
  std::string extraCue;       // bytes appended to the CUEX data
  int64_t cuexSize = -1;      // the size the CUEX header claims
  int lastTrack = 1;          // DAOX
  int64_t footerOffset = -1;  // -1: where the chunks start
  bool versionOne = false;    // a NERO footer (32-bit offset)
  size_t truncateChunksTo = SIZE_MAX;

  std::string bytes() const {
    std::string audio(static_cast<size_t>(150 + sectors) * 2352, '\0');
    for (size_t i = 150 * 2352; i < audio.size(); ++i)
      audio[i] = static_cast<char>((i - 150 * 2352) * 7);
    std::string cuex;
    for (const Cue& c : cues) {
      put(cuex, 0x01, 1);  // audio, ADR 1
      put(cuex, c.track, 1);
      put(cuex, c.index, 1);
      put(cuex, 0, 1);
      put(cuex, static_cast<uint32_t>(c.lba), 4);
    }
    std::string daox;
    put(daox, 0, 4);
    daox += std::string(16, '\0');  // UPC and the rest of the header
    put(daox, 1, 1);
    put(daox, static_cast<uint64_t>(lastTrack), 1);
    daox += std::string(12, '\0');  // ISRC
    put(daox, 2352, 2);
    put(daox, 0x0700, 2);  // audio
    put(daox, 0, 2);
    put(daox, 0, 8);             // INDEX 00
    put(daox, 150 * 2352, 8);    // INDEX 01
    put(daox, audio.size(), 8);  // the end
    std::string sinf;
    put(sinf, 1, 4);
    std::string body = chunk("CUEX", cuex + extraCue, cuexSize) + chunk("DAOX", daox) +
                       chunk("SINF", sinf) + chunk("END!", "");
    if (truncateChunksTo < body.size()) body.resize(truncateChunksTo);
    const uint64_t offset = footerOffset < 0 ? audio.size() : static_cast<uint64_t>(footerOffset);
    std::string footer = versionOne ? "NERO" : "NER5";
    put(footer, offset, versionOne ? 4 : 8);
    return audio + body + footer;
  }
};

// What a case writes into its folder, returning the path to open.
using Maker = std::function<std::string(const QTemporaryDir& dir)>;

std::string writeFile(const QTemporaryDir& dir, const std::string& name, const std::string& data) {
  const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
  std::ofstream(path, std::ios::binary) << data;
  return path;
}

// `text` with every "audio.bin" naming the one in `dir`: libcdio reads the
// files a .toc names relative to the current folder, not the .toc's.
std::string inFolder(std::string text, const QTemporaryDir& dir) {
  const std::string name = "\"audio.bin\"", full = "\"" + dir.path().toStdString() + "/audio.bin\"";
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + full.size()))
    text.replace(at, name.size(), full);
  return text;
}

// A cdrdao .toc beside a 300-sector data file "audio.bin".
Maker toc(const std::string& text) {
  return [text](const QTemporaryDir& dir) {
    writeFile(dir, "audio.bin", std::string(300 * 2352, '\x11'));
    return writeFile(dir, "disc.toc", inFolder(text, dir));
  };
}

Maker nero(const Nero& n) {
  return [n](const QTemporaryDir& dir) { return writeFile(dir, "disc.nrg", n.bytes()); };
}

std::string repeated(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const char kGoodToc[] =
    "CD_DA\n"
    "TRACK AUDIO\n"
    "NO PRE_EMPHASIS\n"
    "FILE \"audio.bin\" 0 00:02:00\n"
    "TRACK AUDIO\n"
    "PRE_EMPHASIS\n"
    "FILE \"audio.bin\" 00:02:00 00:02:00\n";

// A sheet whose text libcdio hands out as CD-Text, in ISO-8859-1 as on a
// disc ("\xf1" is ñ).
const char kSheetWithText[] =
    "TITLE \"Canciones de prueba\"\n"
    "PERFORMER \"Orquesta Velmar\"\n"
    "FILE \"disc.bin\" BINARY\n"
    "  TRACK 01 AUDIO\n"
    "    TITLE \"Primera\"\n"
    "    PERFORMER \"Ana\"\n"
    "    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n"
    "    TITLE \"Segunda ma\xf1"
    "ana\"\n"
    "    INDEX 01 00:02:00\n";

QProcessEnvironment programEnvironment() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  // No display: a program that tried to open its window would fail in
  // another way than the refusal expected.
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  // The program finds its probe beside itself, as installed.
  env.remove("VELMAR_PROBE");
  env.remove("VELMAR_DEBUG");
  return env;
}

struct Outcome {
  int status = -1;
  bool normalExit = false;
  std::string out, err;
  qint64 ms = 0;
};

Outcome runProgram(const std::string& program, const std::string& arg,
                   const QProcessEnvironment& env = programEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  QElapsedTimer clock;
  clock.start();
  p.start(QString::fromStdString(program), {QString::fromStdString(arg)});
  Outcome r;
  if (!p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
  r.ms = clock.elapsed();
  r.normalExit = p.exitStatus() == QProcess::NormalExit;
  r.status = p.exitCode();
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

}  // namespace

// Every image libcdio's parsers cannot be trusted with, and paths that are no
// image at all, through the real program: a refusal in Spanish, status 2, no
// crash and no window, in release and sanitizer builds alike.
TEST(HostileImages, AreRefusedInSpanishWithStatusTwoAndNothingElse) {
  Nero beyond;
  beyond.footerOffset = int64_t{1} << 40;
  Nero intoAudio;
  intoAudio.footerOffset = 17;
  Nero v1Beyond;
  v1Beyond.versionOne = true;
  v1Beyond.footerOffset = 0xFFFFFFF0;
  Nero longChunk;
  longChunk.cuexSize = 0xFFFFFFF0;
  Nero ragged;
  ragged.extraCue = "xyz";
  Nero cut;
  cut.truncateChunksTo = 20;
  Nero manyTracks;
  manyTracks.cues.clear();
  manyTracks.cues.push_back({0x00, 0, -150});
  for (int i = 0; i < 500; ++i) manyTracks.cues.push_back({static_cast<uint8_t>(i % 99 + 1), 1, i});
  manyTracks.cues.push_back({0xAA, 1, 600});
  manyTracks.lastTrack = 255;

  const std::string damaged = "la imagen está dañada: leer su tabla de contenido hizo fallar";
  const std::string notToc = "no es un archivo .toc de cdrdao que se pueda leer";
  const std::string outside = "la tabla de contenido tiene pistas vacías, desordenadas o fuera";
  const std::string noTracks = "no contiene ninguna pista";
  // Expected: the start of the reason; "|" separates what either of two
  // readings may give (a four-byte file makes libcdio read memory it never
  // wrote, so its answer varies from run to run).
  const std::pair<const char*, std::pair<Maker, std::string>> cases[] = {
      {"Nero footer pointing past the end", {nero(beyond), noTracks}},
      {"Nero footer pointing into the audio", {nero(intoAudio), damaged}},
      {"Nero version 1 footer past the end", {nero(v1Beyond), noTracks}},
      {"Nero chunk longer than the file", {nero(longChunk), damaged}},
      {"Nero cue chunk of a ragged size", {nero(ragged), damaged}},
      {"Nero chunks cut short", {nero(cut), damaged}},
      {"Nero footer alone",
       {[](const QTemporaryDir& d) {
          return writeFile(d, "bare.nrg", std::string("NER5") + std::string(8, '\0'));
        },
        "no es una imagen .nrg de Nero que se pueda leer"}},
      {"Nero file of four bytes",
       {[](const QTemporaryDir& d) { return writeFile(d, "tiny.nrg", "NER5"); },
        damaged + "|" + noTracks}},
      {"Nero with 500 track entries", {nero(manyTracks), damaged}},
      {".toc with 300 tracks",
       {toc("CD_DA\n" + repeated("TRACK AUDIO\nFILE \"audio.bin\" 0 00:00:01\n", 300)),
        "la tabla de contenido tiene 300 pistas; un CD tiene 99 como mucho"}},
      {".toc whose length overflows",
       {toc("CD_DA\nTRACK AUDIO\nFILE \"audio.bin\" 0 99999999:59:74\n"), outside}},
      {".toc longer than a CD",
       {toc("CD_DA\nTRACK AUDIO\nDATAFILE \"audio.bin\" 99999:00:00\n"),
        "la tabla de contenido va más allá de los 100 minutos"}},
      {".toc starting past any file",
       {toc("CD_DA\nTRACK AUDIO\nFILE \"audio.bin\" 4294967295 00:02:00\n"), notToc}},
      {".toc naming /dev/zero",
       {toc("CD_DA\nTRACK AUDIO\nFILE \"/dev/zero\" 0 00:02:00\n"), notToc}},
      {".toc naming a folder", {toc("CD_DA\nTRACK AUDIO\nFILE \"/tmp\" 0 00:02:00\n"), notToc}},
      {".toc naming a missing file",
       {toc("CD_DA\nTRACK AUDIO\nFILE \"nada.bin\" 0 00:02:00\n"), notToc}},
      {".toc of binary noise",
       {[](const QTemporaryDir& d) {
          return writeFile(d, "noise.toc", "\x01\xff\xfe{{\"\"\n\x7f");
        },
        notToc}},
      {"lone .bin",
       {[](const QTemporaryDir& d) { return writeFile(d, "solo.bin", std::string(2352, '\0')); },
        "es una imagen sin su hoja .cue: falta «solo.cue» a su lado"}},
      {"/dev/zero",
       {[](const QTemporaryDir&) { return std::string("/dev/zero"); },
        "es un dispositivo de caracteres, no una unidad de CD ni una imagen de disco"}},
      {"a folder",
       {[](const QTemporaryDir& d) { return d.path().toStdString(); },
        "es una carpeta, no una unidad de CD ni una imagen de disco"}},
  };
  for (const auto& [name, c] : cases) {
    SCOPED_TRACE(name);
    QTemporaryDir dir;
    const std::string path = c.first(dir);
    const Outcome r = runProgram(VELMAR_PROGRAM, path);
    EXPECT_TRUE(r.normalExit) << "crashed";
    EXPECT_EQ(r.status, 2);
    const std::string said = "velmar: no se puede abrir «" + path + "»: ";
    const size_t bar = c.second.find('|');
    EXPECT_TRUE(r.err.rfind(said + c.second.substr(0, bar), 0) == 0 ||
                (bar != std::string::npos && r.err.rfind(said + c.second.substr(bar + 1), 0) == 0))
        << r.err;
    EXPECT_EQ(r.err.find("Pruebe «velmar --help»"), r.err.find('\n') + 1) << "one line, then help";
    EXPECT_EQ(r.out, "");
  }
}

// A .toc whose data file is a FIFO makes libcdio's parser wait for a writer
// that never comes: the probe is abandoned at its time limit.
TEST(HostileImages, AProbeThatHangsIsAbandonedAtItsTimeLimit) {
  QTemporaryDir dir;
  const std::string fifo = dir.filePath("audio.bin").toStdString();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string path = writeFile(
      dir, "fifo.toc", inFolder("CD_DA\nTRACK AUDIO\nFILE \"audio.bin\" 0 00:02:00\n", dir));
  const Outcome r = runProgram(VELMAR_PROGRAM, path);
  std::printf("[ figure ] a hanging probe is refused after %lld ms (limit 3000 ms)\n",
              static_cast<long long>(r.ms));
  EXPECT_TRUE(r.normalExit && r.status == 2) << r.err;
  EXPECT_NE(r.err.find("leer la tabla de contenido de la imagen tardó más de 3 s"),
            std::string::npos)
      << r.err;
  EXPECT_GE(r.ms, 2900);
  EXPECT_LT(r.ms, 10000);
}

// Without its probe the program opens no image rather than parsing it
// in-process; the installed program finds the probe installed beside it.
TEST(HostileImages, WithoutItsProbeNoImageOpensAndTheInstalledProgramFindsIts) {
  QTemporaryDir dir, stage;
  const std::string good = toc(kGoodToc)(dir);
  Nero forged;
  forged.footerOffset = 17;
  const std::string bad = nero(forged)(dir);

  QProcessEnvironment env = programEnvironment();
  env.insert("VELMAR_PROBE", dir.filePath("no-such-probe"));
  const Outcome missing = runProgram(VELMAR_PROGRAM, good, env);
  EXPECT_TRUE(missing.normalExit && missing.status == 2);
  EXPECT_NE(missing.err.find("falta el programa auxiliar «velmar-probe»"), std::string::npos)
      << missing.err;

  QProcess install;
  install.start("cmake", {"--install", VELMAR_BINARY_DIR, "--prefix", stage.path()});
  ASSERT_TRUE(install.waitForFinished(60000) && install.exitCode() == 0)
      << install.readAllStandardError().toStdString();
  const Outcome installed = runProgram(stage.filePath("bin/velmar").toStdString(), bad);
  EXPECT_TRUE(installed.normalExit && installed.status == 2);
  EXPECT_NE(installed.err.find("la imagen está dañada"), std::string::npos) << installed.err;
}

// libcdio's lines reach standard error only when VELMAR_DEBUG asks for them.
TEST(HostileImages, LibcdioSpeaksOnlyWhenAskedTo) {
  QTemporaryDir dir;
  const std::string path = toc("CD_DA\nTRACK AUDIO\nFILE \"nada.bin\" 0 00:02:00\n")(dir);
  for (const bool debug : {false, true}) {
    SCOPED_TRACE(debug);
    QProcessEnvironment env = programEnvironment();
    if (debug) env.insert("VELMAR_DEBUG", "1");
    const Outcome r = runProgram(VELMAR_PROGRAM, path, env);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.find("nada.bin") != std::string::npos, debug) << r.err;
  }
}

// Good images, in-process: the table of contents, the pre-emphasis flag and
// the CD-Text (as UTF-8) come through.
TEST(HostileImages, GoodImagesOpenWithTheirTableOfContentsAndText) {
  QTemporaryDir dir;
  std::string reason;
  auto source = CdioSource::open(toc(kGoodToc)(dir), &reason);
  ASSERT_TRUE(source) << reason;
  const DiscToc& t = source->toc();
  ASSERT_EQ(t.tracks.size(), 2u);
  EXPECT_EQ(t.leadOutLsn, 300);
  EXPECT_EQ(t.tracks[0].lsn, 0);
  EXPECT_EQ(t.tracks[1].lsn, 150);
  EXPECT_FALSE(t.tracks[0].preemphasis);
  EXPECT_TRUE(t.tracks[1].preemphasis);
  EXPECT_EQ(t.tracks[0].session, 1);
  EXPECT_TRUE(t.text.empty() && t.tracks[0].text.empty());
  EXPECT_FALSE(source->isDrive());

  writeFile(dir, "disc.bin", std::string(300 * 2352, '\0'));
  auto sheet = CdioSource::open(writeFile(dir, "disc.cue", kSheetWithText), &reason);
  ASSERT_TRUE(sheet) << reason;
  const DiscToc& c = sheet->toc();
  ASSERT_EQ(c.tracks.size(), 2u);
  EXPECT_EQ(c.text.title, "Canciones de prueba");
  EXPECT_EQ(c.text.performer, "Orquesta Velmar");
  EXPECT_EQ(c.tracks[0].text.title, "Primera");
  EXPECT_EQ(c.tracks[0].text.performer, "Ana");
  EXPECT_EQ(c.tracks[1].text.title, "Segunda mañana");
  EXPECT_EQ(c.tracks[1].text.performer, "");

  auto nrg = CdioSource::open(nero(Nero{})(dir), &reason);
  ASSERT_TRUE(nrg) << reason;
  ASSERT_EQ(nrg->toc().tracks.size(), 1u);
  EXPECT_EQ(nrg->toc().leadOutLsn, 300);
  std::vector<int16_t> pcm(kSamplesPerSector);
  EXPECT_EQ(nrg->read(0, 1, pcm.data()), SectorRead::Ok);
  EXPECT_EQ(pcm[1], static_cast<int16_t>(0x150E)) << "bytes 2 and 3 of the track: 14, 21";
  EXPECT_EQ(nrg->read(299, 1, pcm.data()), SectorRead::Ok) << "the track's last sector";

  // A forged image given to a running window: no disc, no crash.
  Nero forged;
  forged.cuexSize = 0xFFFFFFF0;
  QTemporaryDir other;
  CdioDevice device(nero(forged)(other));
  device.open();
  EXPECT_EQ(device.mode(), DeviceMode::NoDisc);
  EXPECT_EQ(device.tracks(), 0);

  // The paths as the command line and the device see them.
  EXPECT_EQ(discPathProblem(toc(kGoodToc)(dir)), "");
  EXPECT_FALSE(isDrivePath("/dev/zero"));
  EXPECT_EQ(deviceKind(dir.path().toStdString()), DeviceKind::NotADevice);
}

// Reads from an image whose data went away during playback fail as reads:
// libcdio's error lines end nothing (its own handler would exit).
TEST(HostileImages, ReadsFromAVanishedImageFailWithoutEndingTheProcess) {
  QTemporaryDir dir;
  std::string reason;
  auto source = CdioSource::open(toc(kGoodToc)(dir), &reason);
  ASSERT_TRUE(source) << reason;
  std::filesystem::resize_file(dir.filePath("audio.bin").toStdString(), 2352 * 10);
  std::vector<int16_t> pcm(static_cast<size_t>(kSamplesPerSector) * kMaxSectorsPerRead);
  EXPECT_EQ(source->read(0, 1, pcm.data()), SectorRead::Ok);
  EXPECT_NE(source->read(200, kMaxSectorsPerRead, pcm.data()), SectorRead::Ok);
  std::filesystem::remove(dir.filePath("audio.bin").toStdString());
  EXPECT_NE(source->read(250, 1, pcm.data()), SectorRead::Ok);

  // libcdio on its own, on a sheet-less .bin: its default handler exits.
  installCdioLogHandler();
  const std::string lone = writeFile(dir, "solo.bin", std::string(2352, '\0'));
  EXPECT_EQ(cdio_open(lone.c_str(), DRIVER_BINCUE), nullptr);
}

// An Enhanced CD (audio, then a data session) as a drive reports it: the data
// track is in session 2 and the last audio track stops at its session's end.
TEST(DriveToc, SessionsAndTheGapBeforeTheDataSession) {
  auto disc = [] {
    DiscToc t;
    for (const auto& [lsn, sectors] :
         {std::pair{0, 15000}, {15000, 20000 + kSessionGapSectors}, {46400, 5000}}) {
      t.tracks.emplace_back();
      t.tracks.back().lsn = lsn;
      t.tracks.back().sectors = sectors;
    }
    t.tracks[2].audio = false;
    t.leadOutLsn = 51400;
    return t;
  };
  const std::tuple<const char*, int32_t, std::vector<int>, std::vector<int32_t>> cases[] = {
      {"one session", 0, {1, 1, 1}, {15000, 20000 + kSessionGapSectors, 5000}},
      {"no answer", -1, {1, 1, 1}, {15000, 20000 + kSessionGapSectors, 5000}},
      {"data session", 46400, {1, 1, 2}, {15000, 20000, 5000}},
  };
  for (const auto& [name, last, sessions, sectors] : cases) {
    SCOPED_TRACE(name);
    DiscToc t = disc();
    applySessions(t, last);
    for (size_t i = 0; i < t.tracks.size(); ++i) {
      EXPECT_EQ(t.tracks[i].session, sessions[i]) << i;
      EXPECT_EQ(t.tracks[i].sectors, sectors[i]) << i;
    }
    EXPECT_EQ(tocProblem(t), "");
  }
}
