// Opening, committing and abandoning the seven output files.
#include "outputfiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

namespace fs = std::filesystem;

// The names a run gives its files beside the seven.
constexpr const char *companions[] = {".summary.tsv",    ".draws.tsv", ".verdict.txt",
                                      ".membership.tsv", ".run.tsv",   ".report.html"};

// Whether name is that of a file of the run whose files start with stem: one
// of the seven (when withSeven), a companion or a trace (.chainN.tsv).
bool isRunFile(const std::string &name, const std::string &stem, bool withSeven) {
  if (name.compare(0, stem.size(), stem) != 0)
    return false;
  const std::string suffix = name.substr(stem.size());
  for (const Slot &s : slots)
    if (withSeven && suffix == s.suffix)
      return true;
  for (const char *c : companions)
    if (suffix == c)
      return true;
  const std::string chain = ".chain", tsv = ".tsv";
  if (suffix.size() <= chain.size() + tsv.size() || suffix.compare(0, chain.size(), chain) != 0 ||
      suffix.compare(suffix.size() - tsv.size(), tsv.size(), tsv) != 0)
    return false;
  return suffix.find_first_not_of("0123456789", chain.size()) == suffix.size() - tsv.size();
}

fs::path folderOf(const std::string &base) {
  const fs::path folder = fs::path(base).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

std::string stemOf(const std::string &base) {
  return fs::path(base).filename().string();
}

// The run files (plain files only) in folder.
std::vector<std::string> runFilesIn(const fs::path &folder, const std::string &stem,
                                    bool withSeven) {
  std::vector<std::string> names;
  std::error_code e;
  for (const auto &entry : fs::directory_iterator(folder, e))
    if (entry.is_regular_file(e) && isRunFile(entry.path().filename().string(), stem, withSeven))
      names.push_back(entry.path().filename().string());
  return names;
}

void moveOrStop(const fs::path &from, const fs::path &to) {
  if (std::rename(from.c_str(), to.c_str()) != 0)
    stopUnwritten(to.string(), errno);
}

// Moves the earlier run's files into the earlier folder, in place of the
// run set aside there before. With files written in place the seven are this
// run's own.
void setEarlierAside(OutputFiles &files) {
  const fs::path folder = folderOf(files.base), aside = earlierFolder(files.base);
  const std::string stem = stemOf(files.base);
  const std::vector<std::string> earlier = runFilesIn(folder, stem, files.staged);
  if (earlier.empty())
    return;
  if (mkdir(aside.c_str(), 0777) != 0 && errno != EEXIST)
    stopUnopened(aside.string(), errno);
  for (const std::string &name : runFilesIn(aside, stem, true))
    std::remove((aside / name).c_str());
  for (const std::string &name : earlier) {
    moveOrStop(folder / name, aside / name);
    files.aside.push_back(name);
  }
}

// Brings the files set aside back (after this run's own are gone).
void putEarlierBack(OutputFiles &files) {
  if (files.aside.empty())
    return;
  const fs::path folder = folderOf(files.base), aside = earlierFolder(files.base);
  for (const std::string &name : files.aside)
    std::rename((aside / name).c_str(), (folder / name).c_str());
  files.aside.clear();
  rmdir(aside.c_str());
}

void removeStaged(OutputFiles &files) {
  for (const Slot &s : slots) {
    (files.*s.stream).close();
    std::remove(stagedName(files.base + s.suffix).c_str());
  }
}

} // namespace

std::string earlierFolder(const std::string &base) {
  return base + ".earlier";
}

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
  setEarlierAside(files);
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

bool abandonOutputs(OutputFiles &files) {
  if (!files.committed) {
    if (files.staged)
      removeStaged(files);
    putEarlierBack(files);
    return files.staged;
  }
  if (files.aside.empty())
    return false;
  for (const Slot &s : slots)
    (files.*s.stream).close();
  const fs::path folder = folderOf(files.base);
  for (const std::string &name : runFilesIn(folder, stemOf(files.base), true))
    std::remove((folder / name).c_str());
  putEarlierBack(files);
  return true;
}
