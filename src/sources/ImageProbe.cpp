#include "sources/ImageProbe.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "sources/Cancellation.h"
#include "sources/CdioLog.h"
#include "sources/CdioToc.h"
#include "sources/RegularFile.h"
#include "sources/SystemError.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMAR_PROBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMAR_PROBE_SANITIZED 1
#endif
#endif

namespace imageprobe {

namespace {

constexpr char kHello[] = "velmar-probe 1";
constexpr size_t kMaxReportBytes = 64 * 1024;
constexpr rlim_t kCpuSeconds = 5;
// A failed check inside libcdio (its "assertion") ends the probe with this.
constexpr int kFailedCheckStatus = 70;

// --- The caller's side --------------------------------------------------------

struct Child {
  pid_t pid = -1;
  UniqueFd out;  // the probe's standard output
};

// The descriptor an image handed to the probe has there.
constexpr int kImageFd = 3;

// Starts the probe on the open image `imageFd`, which the probe has as
// kImageFd. Between fork() and exec() the child makes only
// async-signal-safe calls.
Child start(const std::string& exe, int imageFd, std::string* problem) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *problem = "no se puede comprobar la imagen: " + systemErrorText(errno);
    return {};
  }
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  // A copy above the descriptors the child moves into place first, so that
  // none of those moves overwrites it.
  const UniqueFd image(::fcntl(imageFd, F_DUPFD_CLOEXEC, kImageFd + 1));
  if (!image) {
    *problem = "no se puede comprobar la imagen: " + systemErrorText(errno);
    return {};
  }
  const UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
  const bool keepStderr = cdioDebugWanted();
  std::string exeCopy = exe, pathCopy = openedPath(kImageFd);
  char* argv[] = {exeCopy.data(), pathCopy.data(), nullptr};
  const pid_t parent = ::getpid();

  const pid_t pid = ::fork();
  if (pid == 0) {
    // The probe ends with the thread that waits for it, also when the
    // caller's process ends without waiting (or has ended already).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (devNull) ::dup2(devNull.get(), STDIN_FILENO);
    ::dup2(writeEnd.get(), STDOUT_FILENO);
    if (devNull && !keepStderr) ::dup2(devNull.get(), STDERR_FILENO);
    struct rlimit none = {0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    // A standard error kept for VELMAR_DEBUG may be a file: a size limit of
    // 0 would kill the probe (SIGXFSZ) at libcdio's first line.
    if (!keepStderr) ::setrlimit(RLIMIT_FSIZE, &none);
    struct rlimit cpu = {kCpuSeconds, kCpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef VELMAR_PROBE_SANITIZED
    struct rlimit memory = {kMemoryBytes, kMemoryBytes};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    // The caller's handlers and blocked signals are not the probe's.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGXCPU, SIGXFSZ})
      ::sigaction(sig, &byDefault, nullptr);
    sigset_t all;
    ::sigemptyset(&all);
    ::sigprocmask(SIG_SETMASK, &all, nullptr);
    ::dup2(image.get(), kImageFd);
    ::close_range(kImageFd + 1, ~0U, 0);
    ::execv(argv[0], argv);
    ::_exit(127);
  }
  if (pid < 0) {
    *problem = "no se puede comprobar la imagen: " + systemErrorText(errno);
    return {};
  }
  return {pid, std::move(readEnd)};
}

Report parse(const std::string& out) {
  Report r;
  std::istringstream in(out);
  std::string hello, verdict, end;
  if (!std::getline(in, hello) || hello != kHello || !std::getline(in, verdict) ||
      !std::getline(in, end) || end != "end") {
    r.verdict = Report::Verdict::Damaged;
    return r;
  }
  std::istringstream v(verdict);
  std::string word;
  v >> word;
  if (word == "ok" && (v >> r.tracks >> r.leadOut) && r.tracks > 0) {
    r.verdict = Report::Verdict::Readable;
  } else if (word == "unreadable") {
    r.verdict = Report::Verdict::NotAnImage;
    r.problem = "no es una imagen .nrg de Nero que se pueda leer";
  } else if (word == "invalid" && verdict.size() > 8) {
    r.verdict = Report::Verdict::BadToc;
    r.problem = verdict.substr(8);
  } else {
    r.verdict = Report::Verdict::Damaged;
  }
  return r;
}

// --- The probe's side ---------------------------------------------------------

void probeLog(cdio_log_level_t level, const char message[]) {
  // Past a failed check libcdio goes on with a broken state: stop here.
  if (level == CDIO_LOG_ASSERT) ::_exit(kFailedCheckStatus);
  if (level >= CDIO_LOG_WARN && message) std::fprintf(stderr, "velmar-probe: %s\n", message);
}

[[noreturn]] void answer(const std::string& verdict) {
  std::printf("%s\n%s\nend\n", kHello, verdict.c_str());
  std::fflush(stdout);
  ::_exit(0);
}

}  // namespace

std::string openedPath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

namespace {

// The probe's executable, as looked up in ImageProbe.h; empty when none is
// found.
std::string executable() {
  if (const char* env = std::getenv("VELMAR_PROBE"); env && *env) return env;
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  // The kernel's path has no symbolic links left, so "bin/.." is the prefix.
  // VELMAR_PROBE_FROM_BINDIR, from the build: the probe's installed folder
  // relative to the program's ("../libexec/velmar").
  const std::filesystem::path folder =
      std::filesystem::path(std::string(self, static_cast<size_t>(n))).parent_path();
  for (const char* relative : {VELMAR_PROBE_FROM_BINDIR "/velmar-probe", "velmar-probe"}) {
    const std::string path = (folder / relative).lexically_normal().string();
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

// Waits until the child has ended, `msLeft()` at most, without reaping it:
// its pid stays the child's until waitpid().
bool endsIn(pid_t pid, const std::function<int()>& msLeft) {
  for (;;) {
    siginfo_t info{};
    const int w = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (w == 0 && info.si_pid == pid) return true;
    if (w < 0 && errno != EINTR) return true;  // nothing left to wait for
    if (msLeft() == 0) return false;
    ::usleep(2000);
  }
}

}  // namespace

Report probe(int imageFd) {
  Report r;
  const std::string exe = executable();
  if (exe.empty() || ::access(exe.c_str(), X_OK) != 0) {
    r.verdict = Report::Verdict::NoProbe;
    r.problem = "no se puede comprobar la imagen: falta el programa auxiliar «velmar-probe»";
    return r;
  }
  Cancellation* cancellation = Cancellation::current();
  auto abandoned = [&] {
    r.verdict = Report::Verdict::Cancelled;
    r.problem = "se dejó de leer la imagen";
    return r;
  };
  if (cancellation && cancellation->cancelled()) return abandoned();
  Child child = start(exe, imageFd, &r.problem);
  if (child.pid < 0) {
    r.verdict = Report::Verdict::NoProbe;
    return r;
  }
  // Abandoning the job kills the probe: its output ends and it is reaped
  // below at once.
  Cancellation::Hook stop;
  if (cancellation) stop = cancellation->onCancel([pid = child.pid] { ::kill(pid, SIGKILL); });

  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
  const std::function<int()> msLeft = [&] {
    return static_cast<int>(std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
  };
  std::string out;
  for (bool eof = false; !eof && out.size() <= kMaxReportBytes;) {
    pollfd pfd{child.out.get(), POLLIN, 0};
    const int ready = ::poll(&pfd, 1, msLeft());
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buf[4096];
    const ssize_t n = ::read(child.out.get(), buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) eof = true;
    if (n > 0) out.append(buf, static_cast<size_t>(n));
  }
  child.out.reset();

  const bool ended = endsIn(child.pid, msLeft);
  if (!ended) ::kill(child.pid, SIGKILL);
  // No stop may signal the pid once it is reaped (it could be reused).
  stop.reset();
  int status = 0;
  while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (cancellation && cancellation->cancelled()) return abandoned();
  if (!ended) {
    r.verdict = Report::Verdict::TimedOut;
    r.problem = "leer la tabla de contenido de la imagen tardó más de " +
                std::to_string(kTimeoutMs / 1000) +
                " s y se abandonó; puede que nombre un archivo que no se puede leer";
    return r;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && out.size() <= kMaxReportBytes)
    r = parse(out);
  if (r.verdict == Report::Verdict::Damaged)
    r.problem = "la imagen está dañada: leer su tabla de contenido hizo fallar al lector";
  return r;
}

int probeMain(int argc, char** argv) {
  // A crash here is the expected answer to a hostile image: no core file.
  ::prctl(PR_SET_DUMPABLE, 0);
  cdio_log_set_handler(probeLog);
  if (argc != 2) {
    std::fputs("uso: velmar-probe IMAGEN.nrg\n", stderr);
    return 2;
  }
  DiscToc toc;
  {
    const std::unique_ptr<CdIo_t, decltype(&cdio_destroy)> cdio(cdio_open(argv[1], DRIVER_NRG),
                                                                &cdio_destroy);
    if (!cdio) answer("unreadable");
    toc = readCdioToc(cdio.get());
  }
  if (toc.tracks.empty()) answer("invalid no contiene ninguna pista");
  if (const std::string problem = tocProblem(toc); !problem.empty()) answer("invalid " + problem);
  answer("ok " + std::to_string(toc.tracks.size()) + " " + std::to_string(toc.leadOutLsn));
}

}  // namespace imageprobe
