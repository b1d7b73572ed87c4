// The lock file of an output prefix.
#include "runlock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "messages.h"
#include "outfile.h"
#include "stop.h"

namespace {

// The process id the holder wrote, waiting briefly for a holder that has
// only just taken the lock.
std::string holderOf(int fd) {
  char text[32] = {};
  for (int tries = 0; tries < 50; tries++) {
    const ssize_t got = pread(fd, text, sizeof text - 1, 0);
    if (got > 0 && text[got - 1] == '\n') {
      text[got - 1] = '\0';
      return text;
    }
    usleep(10000);
  }
  return "unknown";
}

} // namespace

void lockPrefix(const std::string &base) {
  const std::string path = base + ".lock";
  // Left open for the rest of the process: closing it would drop the lock.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    stopUnopened(path, errno);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK)
      stopWithNote(msg::cannotLockBefore + path + msg::reasonAfter + std::strerror(errno), "", 1);
    stopWithNote(msg::lockedBefore + holderOf(fd) + msg::lockedMiddle + base + msg::lockedAfter, "",
                 1);
  }
  // Written over the earlier holder's id before the file is cut to size, so
  // that a full disk does not keep a run from locking a prefix it used before.
  const std::string pid = std::to_string(getpid()) + "\n";
  errno = 0;
  if (pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
    stopUnwritten(path, errno != 0 ? errno : EIO);
  if (ftruncate(fd, static_cast<off_t>(pid.size())) != 0)
    stopUnwritten(path, errno);
}
