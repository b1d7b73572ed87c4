// Complete-or-nothing file writing: temporary files, flushed to disk, then
// renamed.
#include "atomicwrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "failure.h"

namespace {

// Writes text to a new temporary file beside path, flushed; returns its name.
std::string staged(const std::string &path, const std::string &text) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty())
    throw DataError("cannot write " + path + ": it names a folder");
  std::string pattern = folder + (slash == std::string::npos ? "/" : "") + "." + name + ".XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int fd = mkstemp(temp.data());
  if (fd < 0)
    throw DataError("cannot write in the folder of " + path + ": " + std::strerror(errno));
  auto fail = [&](const char *what) {
    const std::string reason = std::strerror(errno);
    close(fd);
    unlink(temp.data());
    return DataError(std::string("cannot ") + what + " " + path + ": " + reason);
  };
  // mkstemp makes the file readable by its owner only; a control file gets
  // the permissions any new file would.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0)
    throw fail("write");
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      throw fail("write");
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0)
    throw fail("write");
  if (close(fd) != 0) {
    const std::string reason = std::strerror(errno);
    unlink(temp.data());
    throw DataError("cannot write " + path + ": " + reason);
  }
  return temp.data();
}

} // namespace

void writeAtomically(const std::vector<OutputFile> &files) {
  std::vector<std::string> temps;
  auto removeFrom = [&](size_t first) {
    for (size_t i = first; i < temps.size(); i++)
      unlink(temps[i].c_str());
  };
  try {
    for (const auto &f : files)
      temps.push_back(staged(f.path, f.text));
  } catch (const DataError &) {
    removeFrom(0);
    throw;
  }
  for (size_t i = 0; i < files.size(); i++)
    if (std::rename(temps[i].c_str(), files[i].path.c_str()) != 0) {
      const std::string reason = std::strerror(errno);
      removeFrom(i);
      throw DataError("cannot write " + files[i].path + ": " + reason);
    }
}
