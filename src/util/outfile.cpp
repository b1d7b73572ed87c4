// Checked output files and the stops that name their failures.
#include "outfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "messages.h"
#include "stop.h"

OutFile::OutFile() : std::ostream(nullptr) {
  rdbuf(&buffer);
}

OutFile::~OutFile() {
  close();
}

bool OutFile::open(const std::string &path) {
  close();
  buffer.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (buffer.fd < 0)
    return false;
  buffer.path = path;
  buffer.error = 0;
  clear();
  return true;
}

bool OutFile::is_open() const {
  return buffer.fd >= 0;
}

void OutFile::close() {
  if (buffer.fd < 0)
    return;
  if (!buffer.writeOut())
    setstate(std::ios::badbit);
  if (::close(buffer.fd) != 0 && buffer.error == 0)
    buffer.error = errno;
  buffer.fd = -1;
}

const std::string &OutFile::path() const {
  return buffer.path;
}

int OutFile::failure() const {
  return buffer.error;
}

bool OutFile::Buffer::writeAll(const char *s, size_t n) {
  while (error == 0 && n > 0) {
    const ssize_t put = ::write(fd, s, n);
    if (put < 0 && errno == EINTR)
      continue;
    if (put <= 0) {
      error = put < 0 ? errno : EIO;
      break;
    }
    s += put;
    n -= static_cast<size_t>(put);
  }
  return error == 0;
}

// After a failure the buffered bytes are dropped: the file is lost anyway,
// and the stop comes at the caller's next check.
bool OutFile::Buffer::writeOut() {
  const bool written = writeAll(pbase(), static_cast<size_t>(pptr() - pbase()));
  setp(space.data(), space.data() + space.size());
  return written;
}

OutFile::Buffer::int_type OutFile::Buffer::overflow(int_type c) {
  if (!writeOut())
    return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize OutFile::Buffer::xsputn(const char *s, std::streamsize n) {
  const auto size = static_cast<std::streamsize>(space.size());
  if (n > epptr() - pptr()) {
    if (!writeOut())
      return 0;
    if (n >= size)
      return writeAll(s, static_cast<size_t>(n)) ? n : 0;
  }
  std::memcpy(pptr(), s, static_cast<size_t>(n));
  pbump(static_cast<int>(n));
  return n;
}

int OutFile::Buffer::sync() {
  return writeOut() ? 0 : -1;
}

void stopUnopened(const std::string &path, int reason) {
  stopWithNote(msg::cannotCreateBefore + path + msg::reasonAfter + std::strerror(reason),
               path + msg::cantBeOpened, 1);
}

void stopUnwritten(const std::string &path, int reason) {
  stopWithNote(msg::cannotWriteBefore + path + msg::reasonAfter + std::strerror(reason), "",
               msg::writeFailedStatus);
}

void stopIfUnwritten(const OutFile &file) {
  if (file.failure() != 0)
    stopUnwritten(file.path(), file.failure());
}

void closeOrStop(OutFile &file) {
  file.close();
  stopIfUnwritten(file);
}
