#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

// An open file descriptor, closed when the object goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// What kind of file `mode` is, in Spanish with its article: "una carpeta",
// "una tubería (FIFO)", "un socket", "un dispositivo de caracteres"...
std::string fileKindText(mode_t mode);

// Opens `path` for reading when it is a regular file, without ever waiting on
// a FIFO or a device: the open does not block and the kind is checked before
// anything is read. A file whose size the system gives falsely (those of
// /sys, 4096 bytes whatever they hold, and of /proc, 0 bytes) is not one:
// its last byte, or its first when it has none, is read to tell. The
// descriptor is in blocking mode. On failure it is empty and `*why` says why,
// to follow the file's name: "no existe", "no se puede abrir: permiso
// denegado", "es una tubería (FIFO), no un archivo". `*st`, when given,
// receives the file's status.
UniqueFd openRegularFile(const std::string& path, std::string* why, struct stat* st = nullptr);

// Reads up to `n` bytes of `fd` at `offset` into `buf`, retrying
// interrupted and partial reads: fewer bytes only at the end of the file; -1
// on a read error (see errno).
ssize_t preadAll(int fd, void* buf, size_t n, off_t offset);

// The whole of the regular file `path` (see openRegularFile), of at most
// `maxBytes`. Null with the reason in `*why` (`tooBig` when it is larger).
std::optional<std::string> readSmallFile(const std::string& path, size_t maxBytes,
                                         const std::string& tooBig, std::string* why);
