// In-memory builders and the binary runner shared by the tests.
#include "testkit.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

void setSmallRun(int n, int loci, int chains) {
  pset = Settings();
  pset.numChromosomes = n;
  pset.numLoci = loci;
  pset.numChains = chains;
  TMAT = 7;
  TOTLOCI = loci;
  pset.mapDist.assign(loci + 1, 0.0);
  ChainSettings blank;
  blank.rootLoci.assign(loci, 0);
  chainSettings.assign(chains, blank);
  ::chains.assign(chains, Chain());
  for (int ch = 0; ch < chains; ch++)
    ::chains[ch].index = ch;
}

TreeMatrix makeTree(const std::vector<std::vector<double>> &rows) {
  TreeMatrix t;
  for (const auto &r : rows) {
    TreeRow row(TMAT + TOTLOCI, -1.0);
    for (size_t c = 0; c < r.size() && c < row.size(); c++)
      row[c] = r[c];
    t.push_back(row);
  }
  return t;
}

namespace {

// Temporary directories made by the tests, removed when the test program ends
// (only by the process that made them: the children of death tests exit too).
pid_t tempDirsOwner = 0;

std::vector<std::string> &tempDirs() {
  static std::vector<std::string> dirs;
  return dirs;
}

void removeTempDirs() {
  if (getpid() != tempDirsOwner)
    return;
  std::error_code ignored;
  for (const auto &d : tempDirs())
    std::filesystem::remove_all(d, ignored);
}

} // namespace

std::string makeTempDir() {
  char templ[] = "/tmp/mutloc-test-XXXXXX";
  const char *d = mkdtemp(templ);
  if (!d)
    return std::string();
  if (tempDirs().empty()) {
    tempDirsOwner = getpid();
    std::atexit(removeTempDirs);
  }
  tempDirs().push_back(d);
  return std::string(d);
}

// A directory that cannot be entered throws, which fails the test that makes
// it; one that cannot be left again ends the test program, since every later
// test would run in the wrong place.
InTempDir::InTempDir() : previous(std::filesystem::current_path().string()), dir(makeTempDir()) {
  std::filesystem::current_path(dir);
}

InTempDir::~InTempDir() {
  std::error_code failed;
  std::filesystem::current_path(previous, failed);
  if (failed) {
    std::cerr << "cannot return to " << previous << ": " << failed.message() << "\n";
    std::abort();
  }
}

void writeFile(const std::string &dir, const std::string &name, const std::string &text) {
  std::ofstream f(dir + "/" + name, std::ios::binary);
  f << text;
}

std::string readFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  if (!f)
    return "";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string readRunFile(const std::string &base, const std::string &suffix) {
  std::string text = readFile(base + suffix);
  const std::string manifest = readFile(base + ".run.tsv");
  const size_t at = manifest.find("\nrun\t");
  if (at == std::string::npos)
    return text;
  const std::string id = manifest.substr(at + 5, manifest.find('\n', at + 5) - at - 5);
  for (size_t k = text.find(id); k != std::string::npos; k = text.find(id, k + 3))
    text.replace(k, id.size(), "RUN");
  return text;
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    out.push_back(l);
  return out;
}

RunResult runMutloc(const std::string &dir, const std::string &args) {
  return runShell("cd '" + dir + "' && '" MUTLOC_BINARY "' " + args + " 2>/dev/null");
}

RunResult runShell(const std::string &cmd) {
  RunResult r{-1, ""};
  FILE *p = popen(cmd.c_str(), "r");
  if (!p)
    return r;
  char buf[4096];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, p)) > 0)
    r.out.append(buf, got);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}
