#include "sources/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "sources/SystemError.h"

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

ssize_t preadAll(int fd, void* buf, size_t n, off_t offset) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r =
        ::pread(fd, static_cast<char*>(buf) + done, n - done, offset + static_cast<off_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(done);
}

std::string fileKindText(mode_t mode) {
  if (S_ISREG(mode)) return "un archivo";
  if (S_ISDIR(mode)) return "una carpeta";
  if (S_ISFIFO(mode)) return "una tubería (FIFO)";
  if (S_ISSOCK(mode)) return "un socket";
  if (S_ISCHR(mode)) return "un dispositivo de caracteres";
  if (S_ISBLK(mode)) return "un dispositivo de bloques";
  return "un archivo especial";
}

UniqueFd openRegularFile(const std::string& path, std::string* why, struct stat* st) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) {
    const int err = errno;
    if (why) *why = err == ENOENT ? "no existe" : "no se puede abrir: " + systemErrorText(err);
    return {};
  }
  struct stat s {};
  if (::fstat(fd.get(), &s) != 0) {
    if (why) *why = "no se puede abrir: " + systemErrorText(errno);
    return {};
  }
  if (!S_ISREG(s.st_mode)) {
    if (why) *why = "es " + fileKindText(s.st_mode) + ", no un archivo";
    return {};
  }
  char byte = 0;
  const ssize_t at = ::pread(fd.get(), &byte, 1, s.st_size > 0 ? s.st_size - 1 : 0);
  if (at == (s.st_size > 0 ? 0 : 1)) {
    if (why)
      *why =
          "es un archivo especial del sistema (como los de /sys y /proc), no un archivo de "
          "datos: el tamaño que da (" +
          std::to_string(s.st_size) + " bytes) no es el real";
    return {};
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  if (st) *st = s;
  return fd;
}

std::optional<std::string> readSmallFile(const std::string& path, size_t maxBytes,
                                         const std::string& tooBig, std::string* why) {
  struct stat st {};
  const UniqueFd fd = openRegularFile(path, why, &st);
  if (!fd) return std::nullopt;
  std::string bytes;
  char buf[65536];
  while (static_cast<uint64_t>(st.st_size) <= maxBytes && bytes.size() <= maxBytes) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *why = "no se puede leer: " + systemErrorText(errno);
      return std::nullopt;
    }
    if (n == 0) return bytes;
    bytes.append(buf, static_cast<size_t>(n));
  }
  *why = tooBig;
  return std::nullopt;
}
