// Opening, committing and abandoning the seven output files.
#include "outputfiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Slot {
  OutFile OutputFiles::*stream;
  const char *suffix;
};

// Opening order of the files.
constexpr Slot slots[] = {{&OutputFiles::dat, ".dat"}, {&OutputFiles::log, ".log"},
                          {&OutputFiles::sig, ".sig"}, {&OutputFiles::hap, ".hap"},
                          {&OutputFiles::hpf, ".hpf"}, {&OutputFiles::mat, ".mat"},
                          {&OutputFiles::tre, ".tre"}};

// An earlier output: a file of that name (a folder of that name is an
// obstacle, not a result).
bool isEarlierOutput(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Whether a staged file can later take the place of path: 0, or the reason
// it cannot.
int unreplaceable(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return 0;
  if (!S_ISREG(st.st_mode))
    return S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
  return access(path.c_str(), W_OK) == 0 ? 0 : errno;
}

void removeStaged(OutputFiles &files) {
  for (const Slot &s : slots) {
    (files.*s.stream).close();
    std::remove(stagedName(files.base + s.suffix).c_str());
  }
}

} // namespace

std::string stagedName(const std::string &finalName) {
  return finalName + ".partial";
}

Unopened openOutputs(OutputFiles &files, const std::string &base) {
  files.base = base;
  files.committed = false;
  files.staged = false;
  for (const Slot &s : slots)
    files.staged = files.staged || isEarlierOutput(base + s.suffix);
  if (files.staged)
    for (const Slot &s : slots)
      if (const int reason = unreplaceable(base + s.suffix))
        return {base + s.suffix, reason};
  for (const Slot &s : slots) {
    const std::string name = base + s.suffix;
    if (!(files.*s.stream).open(files.staged ? stagedName(name) : name)) {
      const int reason = errno;
      if (files.staged)
        removeStaged(files);
      return {name, reason};
    }
  }
  return {};
}

void commitOutputs(OutputFiles &files) {
  if (files.committed)
    return;
  for (const Slot &s : slots)
    (files.*s.stream).flush();
  checkOutputs(files);
  files.committed = true;
  if (!files.staged)
    return;
  for (const Slot &s : slots) {
    const std::string name = files.base + s.suffix;
    if (std::rename(stagedName(name).c_str(), name.c_str()) != 0)
      std::cerr << "mutloc: could not replace " << name << " (" << std::strerror(errno)
                << "); this run's file is " << stagedName(name) << std::endl;
  }
}

void checkOutputs(const OutputFiles &files) {
  for (const Slot &s : slots)
    stopIfUnwritten(files.*s.stream);
}

void closeOutputs(OutputFiles &files) {
  for (const Slot &s : slots)
    closeOrStop(files.*s.stream);
}

void abandonOutputs(OutputFiles &files) {
  if (files.staged && !files.committed)
    removeStaged(files);
}
