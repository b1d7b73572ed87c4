// End-to-end checks of the command line and of the run's behaviour around
// it: options and their statuses, where a control-file stop happened, the
// reader's warnings, huge requests refused at once, earlier outputs kept
// after an error, interruption by signals (under both samplers), files that
// cannot be made or written, one run per prefix, a run's files kept together
// as one set, and the progress line that only a terminal gets.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "controltext.h"
#include "messages.h"
#include "process.h"
#include "testkit.h"

namespace {

const char *const suffixes[] = {".dat", ".log", ".sig", ".hap", ".hpf", ".mat", ".tre"};

bool exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

// A fresh folder holding the control file c.in with text.
std::string folderWith(const std::string &text) {
  const std::string dir = makeTempDir();
  writeFile(dir, "c.in", text);
  return dir;
}

// The base control file, sampling for a minute or more.
std::string longRun(int chains = 2) {
  return edited(baseControl(), {{"(chains)\n2\n", "(chains)\n" + std::to_string(chains) + "\n"},
                                {"Iterations\n20\n", "Iterations\n1000000\n"}});
}

// A short run with six thousand chains, whose set-up takes about a second,
// all of it after the interruption handlers are in place.
std::string slowSetUp() {
  return edited(baseControl(), {{"(chains)\n2\n", "(chains)\n6000\n"}});
}

// Whether the process has put in its SIGINT handler (/proc's SigCgt mask).
bool catchesSigint(pid_t pid) {
  for (int k = 0; k < 20000; k++) {
    const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("SigCgt:");
    if (at != std::string::npos && (std::stoull(status.substr(at + 7), nullptr, 16) >> 1 & 1))
      return true;
    usleep(1000);
  }
  return false;
}

// The value of field in the manifest of the run at base.
std::string manifestField(const std::string &base, const std::string &field) {
  for (const std::string &line : lines(readFile(base + ".run.tsv")))
    if (line.rfind(field + "\t", 0) == 0)
      return line.substr(field.size() + 1);
  return "";
}

// Waits until the run at base has started sampling (at most 20 s).
bool waitForSampling(const std::string &base) {
  for (int k = 0; k < 2000 && manifestField(base, "state") != "running"; k++)
    usleep(10000);
  return manifestField(base, "state") == "running";
}

// The files of the run with the stem in folder, but its lock and the staged
// files of a killed run, with their contents.
std::map<std::string, std::string> runFiles(const std::string &folder,
                                            const std::string &stem = "c.in") {
  std::map<std::string, std::string> all;
  std::error_code e;
  for (const auto &entry : std::filesystem::directory_iterator(folder, e)) {
    const std::string name = entry.path().filename(), kind = entry.path().extension();
    if (entry.is_regular_file() && name.rfind(stem + ".", 0) == 0 && kind != ".lock" &&
        kind != ".partial")
      all[name] = readFile(entry.path());
  }
  return all;
}

// ---------------------------------------------------------------------------
// Options

TEST(CommandLine, HelpAndVersionPrintAndExitZeroWithoutTouchingFiles) {
  const std::string dir = folderWith(baseControl());
  for (const char *option : {"--help", "-h"}) {
    const Finished f = runToEnd(dir, {option, "c.in"});
    EXPECT_EQ(f.status, 0);
    for (const char *part : {"Usage: mutloc", "--out PREFIX", "--help", "--version", "SIGINT"})
      EXPECT_TRUE(contains(f.out, part)) << part;
  }
  const Finished v = runToEnd(dir, {"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("mutloc ", 0), 0u) << v.out;
  EXPECT_TRUE(contains(v.out, "build: "));
  EXPECT_FALSE(exists(dir + "/c.in.dat"));
}

TEST(CommandLine, UsageErrorsExitTwoWithAMessageOnStandardError) {
  const std::string dir = folderWith(baseControl());
  struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {{{"--frobnicate", "c.in"}, "unknown option --frobnicate"},
               {{"c.in", "other.in"}, "extra: other.in"},
               {{"c.in", "--out"}, "needs a value: --out"},
               {{"--out=", "c.in"}, "needs a value: --out"}};
  for (const auto &c : cases) {
    const Finished f = runToEnd(dir, c.args);
    EXPECT_EQ(f.status, 2) << c.says;
    EXPECT_EQ(f.out, "") << c.says;
    EXPECT_TRUE(contains(f.err, c.says)) << f.err;
    EXPECT_TRUE(contains(f.err, "mutloc --help")) << f.err;
  }
  EXPECT_FALSE(exists(dir + "/c.in.dat"));
}

TEST(CommandLine, UnopenableControlFileNamesThePathAndTheReason) {
  const std::string dir = makeTempDir();
  const Finished f = runToEnd(dir, {"no/such.in"});
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(f.out, std::string(msg::noInputFile) + "\n");
  EXPECT_TRUE(contains(f.err, "\"no/such.in\": No such file or directory")) << f.err;

  const Finished none = runToEnd(dir, {});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, std::string(msg::noInputFile) + "\n");
}

TEST(CommandLine, OutPrefixPutsTheSevenFilesThereAndTheControlFolderStaysUntouched) {
  const std::string dir = folderWith(baseControl());
  const std::string results = makeTempDir();
  const Finished plain = runToEnd(dir, {"c.in"});
  ASSERT_EQ(plain.status, 0);
  std::vector<std::string> expected;
  for (const char *s : suffixes) {
    expected.push_back(readFile(dir + "/c.in" + s));
    std::filesystem::remove(dir + "/c.in" + s);
  }

  const Finished f = runToEnd(dir, {"--out", results + "/run1", "c.in"});
  ASSERT_EQ(f.status, 0) << f.out;
  EXPECT_EQ(f.out, plain.out);
  for (size_t k = 0; k < expected.size(); k++) {
    EXPECT_EQ(readFile(results + "/run1" + suffixes[k]), expected[k]) << suffixes[k];
    EXPECT_FALSE(exists(dir + "/c.in" + suffixes[k])) << suffixes[k];
  }
  // The option may also follow the file, in its --out=PREFIX form.
  EXPECT_EQ(runToEnd(dir, {"c.in", "--out=" + results + "/run2"}).status, 0);
  EXPECT_EQ(readFile(results + "/run2.dat"), expected[0]);
}

// ---------------------------------------------------------------------------
// Messages that help

TEST(ControlFileMessages, AStopNamesTheFileAndLineOnStandardErrorAndKeepsItsScreenText) {
  // Line 20 holds the map distance that is not increasing.
  const std::string dir =
      folderWith(edited(baseControl(), {{"0 0.01 0.02 0.035", "0 0.01 0.005 0.035"}}));
  const Finished f = runToEnd(dir, {"c.in"});
  EXPECT_EQ(f.out, std::string(msg::mapIncreasing) + "\n");
  EXPECT_EQ(f.status, 1);
  EXPECT_TRUE(contains(f.err, "\"c.in\" was being read at line 20")) << f.err;
}

TEST(ControlFileMessages, SkippedTextAndAWideMapAreWarnedAboutWithoutChangingTheRun) {
  const std::string clean = folderWith(baseControl());
  const Finished plain = runToEnd(clean, {"c.in"});
  ASSERT_EQ(plain.status, 0);
  // Standard error holds the verdict alone.
  EXPECT_EQ(plain.err.rfind("Verdict", 0), 0u) << plain.err;
  EXPECT_FALSE(contains(plain.err, "warning")) << plain.err;

  // "2O000" reads as 2 and passes over "O000"; a centimorgan map spans 3.5.
  const std::string dir =
      folderWith(edited(baseControl(), {{"Iterations\n20\n", "Iterations\n2O000\n"}}));
  const Finished f = runToEnd(dir, {"c.in"});
  EXPECT_EQ(f.status, 0);
  EXPECT_TRUE(contains(f.err, "warning: line 44: the text \"O000\" was skipped")) << f.err;
  EXPECT_TRUE(contains(f.err, "\"Screen and file updates")) << f.err;

  const std::string cm = folderWith(edited(baseControl(), {{"0 0.01 0.02 0.035", "0 1 2 3.5"},
                                                           {"0 0.035\n", "0 3.5\n"},
                                                           {"Starting value(s) for mutation\n0.015",
                                                            "Starting value(s) for mutation\n1.5"},
                                                           {"0.005 0.3", "0.3 0.3"}}));
  const Finished wide = runToEnd(cm, {"c.in"});
  EXPECT_EQ(wide.status, 0) << wide.out;
  EXPECT_TRUE(contains(wide.err, "the map spans 3.5 Morgans")) << wide.err;
  EXPECT_TRUE(contains(wide.err, "1 cM is 0.01")) << wide.err;

  // A comment after a value is warned about but changes no output byte.
  const std::string commented = folderWith(
      edited(baseControl(), {{"Flip all Loci\n0\n", "Flip all Loci\n0   (no flips)\n"}}));
  const Finished c = runToEnd(commented, {"c.in"});
  EXPECT_TRUE(contains(c.err, "the text \"(no flips)\" was skipped")) << c.err;
  EXPECT_EQ(c.out, plain.out);
  for (const char *s : suffixes)
    EXPECT_EQ(readFile(commented + "/c.in" + s), readFile(clean + "/c.in" + s)) << s;
}

// ---------------------------------------------------------------------------
// Huge requests

TEST(HugeRequests, TwoBillionChainsOrIterationsAreRefusedAtOnceInLittleMemory) {
  const std::string chains = cutAfter(baseControl(), "# Simulation runs (chains)\n") + "2147483647";
  const std::string iterations = cutAfter(baseControl(), "Iterations\n") + "2147483647\n";
  for (const auto &[text, item] :
       {std::pair{chains, msg::itemChains}, std::pair{iterations, msg::itemIterations}}) {
    const std::string dir = folderWith(text);
    const Finished f = runToEnd(dir, {"c.in"});
    EXPECT_EQ(f.status, 1) << item;
    // The refusal does no work: well under a second of the processor's time
    // (wall time on a loaded machine says little, so it only rules out a hang).
    EXPECT_LT(f.cpuSeconds, 1.0) << item;
    EXPECT_LT(f.seconds, 30.0) << item;
    EXPECT_LT(f.peakKb, 100 * 1024) << item;
    EXPECT_EQ(f.out.rfind(std::string("\"") + item + "\" asks for about ", 0), 0u) << f.out;
    EXPECT_TRUE(contains(f.out, "GB of memory, more than the ") ||
                contains(f.out, "TB of memory, more than the "))
        << f.out;
  }
}

// ---------------------------------------------------------------------------
// Earlier results

TEST(EarlierResults, AStopBeforeTheFirstIterationLeavesThePreviousOutputsAsTheyWere) {
  const std::string dir = folderWith(baseControl());
  ASSERT_EQ(runToEnd(dir, {"c.in"}).status, 0);
  std::vector<std::string> before;
  for (const char *s : suffixes)
    before.push_back(readFile(dir + "/c.in" + s));

  // Errors in the reader, in the start-up checks and a huge request.
  for (const Edits &typo :
       {Edits{{"Alpha level\n0.05", "Alpha level\n1.5"}}, Edits{{"5 10 0.005 0.3", "5 10 0.9 0.3"}},
        Edits{{"Iterations\n20", "Iterations\n2000000000"}}}) {
    writeFile(dir, "c.in", edited(baseControl(), typo));
    const Finished f = runToEnd(dir, {"c.in"});
    EXPECT_NE(f.status, 0) << typo[0].second;
    for (size_t k = 0; k < before.size(); k++) {
      EXPECT_EQ(readFile(dir + "/c.in" + suffixes[k]), before[k]) << suffixes[k];
      EXPECT_FALSE(exists(dir + "/c.in" + suffixes[k] + ".partial")) << suffixes[k];
    }
  }
  // A good run replaces them.
  writeFile(dir, "c.in",
            edited(baseControl(), {{"Use fixed random seed\n-5", "Use fixed random seed\n-6"}}));
  ASSERT_EQ(runToEnd(dir, {"c.in"}).status, 0);
  EXPECT_NE(readFile(dir + "/c.in.dat"), before[0]);
  EXPECT_EQ(lines(readFile(dir + "/c.in.log"))[0], "-6");
}

TEST(EarlierResults, WithoutEarlierOutputsAStopLeavesTheLogEchoAndEmptyFiles) {
  const std::string dir =
      folderWith(edited(baseControl(), {{"Alpha level\n0.05", "Alpha level\n1.5"}}));
  const Finished f = runToEnd(dir, {"c.in"});
  EXPECT_EQ(f.out, std::string(msg::alphaLevelRange) + "\n");
  EXPECT_EQ(readFile(dir + "/c.in.log"), "-5\n");
  for (const char *s : suffixes) {
    if (std::string(s) != ".log") {
      EXPECT_EQ(readFile(dir + "/c.in" + s), "") << s;
    }
  }
}

// ---------------------------------------------------------------------------
// Interruption

// Consistency of the files an interrupted run of the base file (2 chains, 20
// bars, 10 chromosomes, 4 loci, proportions saved) leaves.
void expectCompleteFiles(const std::string &base, long sampled) {
  for (const std::string &line : lines(readFile(base + ".dat"))) {
    std::istringstream fields(line);
    int n = 0;
    for (std::string w; fields >> w;)
      n++;
    EXPECT_EQ(n, 29) << line;
  }
  for (const char *histogram : {".sig", ".tre"}) {
    const auto l = lines(readFile(base + histogram));
    ASSERT_EQ(l.size(), 2u * 21) << histogram;
    for (int chain = 0; chain < 2; chain++) {
      long counted = 0;
      for (int bar = 0; bar < 20; bar++) {
        std::istringstream f(l[chain * 21 + bar]);
        double pos, share;
        long count;
        f >> pos >> share >> count;
        counted += count;
      }
      EXPECT_EQ(counted, sampled) << histogram;
    }
  }
  EXPECT_EQ(lines(readFile(base + ".mat")).size(), 19u + 1);
  EXPECT_FALSE(readFile(base + ".hap").empty());
  EXPECT_FALSE(readFile(base + ".hpf").empty());
}

const char *const samplers[] = {"exact", "mixing"};

TEST(Interruption, SigintAndSigtermMidRunWriteCompleteFilesAndExitWith130And143) {
  for (const char *sampler : samplers)
    for (const auto &[signal, status, name] :
         {std::tuple{SIGINT, 130, "SIGINT"}, std::tuple{SIGTERM, 143, "SIGTERM"}}) {
      const std::string dir = folderWith(longRun());
      const Child child = startMutloc(dir, {"--sampler", sampler, "c.in"});
      // Four .dat lines: iteration 15 is done, so samples have been stored.
      ASSERT_TRUE(waitForLines(dir + "/c.in.dat", 4));
      kill(child.pid, signal);
      const Finished f = waitFor(child, dir, 60);
      EXPECT_EQ(f.status, status) << name << ' ' << sampler;
      EXPECT_FALSE(contains(f.out, "Finished"));
      const std::string says = std::string("interrupted by ") + name + " after iteration ";
      ASSERT_TRUE(contains(f.err, says)) << f.err;
      long done = 0, total = 0, sampled = 0;
      ASSERT_EQ(std::sscanf(f.err.c_str() + f.err.find(says) + says.size(),
                            "%ld of %ld; the final files hold %ld", &done, &total, &sampled),
                3)
          << f.err;
      EXPECT_EQ(total, 1000010);
      EXPECT_EQ(sampled, done - 10);
      EXPECT_GT(sampled, 5);
      expectCompleteFiles(dir + "/c.in", sampled);
      EXPECT_EQ(manifestField(dir + "/c.in", "state"), "interrupted");
      EXPECT_EQ(manifestField(dir + "/c.in", "sampled"), std::to_string(sampled));
      EXPECT_EQ(lines(readRunFile(dir + "/c.in", ".summary.tsv")).back(),
                "interrupted\tall\t" + std::to_string(2 * sampled) +
                    "\tNA\tNA\tNA\t0.95\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tRUN");
    }
}

TEST(Interruption, DuringBurnInTheFilesHoldNoSamplesButTheGenealogyAndHaplotypes) {
  for (const char *sampler : samplers) {
    const std::string dir =
        folderWith(edited(longRun(), {{"Burn-in iteration\n10", "Burn-in iteration\n1000000"}}));
    const Child child = startMutloc(dir, {"--sampler", sampler, "c.in"});
    ASSERT_TRUE(waitForLines(dir + "/c.in.dat", 2));
    kill(child.pid, SIGINT);
    const Finished f = waitFor(child, dir, 60);
    EXPECT_EQ(f.status, 130) << sampler;
    EXPECT_TRUE(contains(f.err, "; the final files hold 0 sampling iterations")) << f.err;
    EXPECT_EQ(readFile(dir + "/c.in.sig"), "");
    EXPECT_EQ(readFile(dir + "/c.in.tre"), "");
    EXPECT_EQ(lines(readFile(dir + "/c.in.mat")).size(), 19u + 1);
    EXPECT_FALSE(readFile(dir + "/c.in.hap").empty());
  }
}

TEST(Interruption, DuringSetUpTheEarlierOutputsStayAsTheyWere) {
  for (const char *sampler : samplers) {
    const std::string dir = folderWith(baseControl());
    ASSERT_EQ(runToEnd(dir, {"--sampler", sampler, "c.in"}).status, 0);
    const auto before = runFiles(dir);
    writeFile(dir, "c.in", slowSetUp());
    const Child child = startMutloc(dir, {"--sampler", sampler, "c.in"});
    ASSERT_TRUE(catchesSigint(child.pid));
    kill(child.pid, SIGINT);
    const Finished f = waitFor(child, dir, 60);
    EXPECT_EQ(f.status, 130) << sampler;
    EXPECT_TRUE(contains(f.err, "before the first iteration")) << f.err;
    EXPECT_EQ(runFiles(dir), before) << sampler;
    EXPECT_FALSE(exists(dir + "/c.in.dat.partial"));
  }
}

// Each .dat line goes out in one write, but the kernel may end a write to a
// file part way when the process is killed outright, so the one line being
// written then may be cut short; every line before it is whole.
TEST(Interruption, AHardKillCanCutOnlyTheLastDatLine) {
  // Many chains make lines longer than a stream buffer (about 11 kB).
  const std::string dir =
      folderWith(edited(longRun(80), {{"10 5 1 1\n", "10 1 1 1\n"}, {"\n1000000\n", "\n50000\n"}}));
  const Child child = startMutloc(dir, {"c.in"});
  ASSERT_TRUE(waitForLines(dir + "/c.in.dat", 30));
  kill(child.pid, SIGKILL);
  EXPECT_EQ(waitFor(child, dir).status, 128 + SIGKILL);
  const std::string dat = readFile(dir + "/c.in.dat");
  ASSERT_FALSE(dat.empty());
  const std::vector<std::string> all = lines(dat);
  const bool lastCut = dat.back() != '\n';
  ASSERT_GE(all.size() - lastCut, 30u);
  const int fullLine = 80 * 14 + 1;
  for (size_t k = 0; k < all.size(); k++) {
    std::istringstream fields(all[k]);
    int n = 0;
    for (std::string w; fields >> w;)
      n++;
    if (lastCut && k + 1 == all.size())
      EXPECT_LE(n, fullLine);
    else
      EXPECT_EQ(n, fullLine) << "line " << k;
  }
}

// ---------------------------------------------------------------------------
// Files that cannot be made or written, one run per prefix, and runs whose
// files belong together

// A folder in the way of the first file (the lock), and a file in the way
// of --out's folder, which is otherwise made when missing.
TEST(WriteFailures, AnOutputThatCannotBeCreatedIsNamedWithTheReason) {
  const std::string dir = folderWith(baseControl());
  std::filesystem::create_directories(dir + "/d/r.lock");
  const Finished f = runToEnd(dir, {"--out", "d/r", "c.in"});
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(f.out, "d/r.lock" + std::string(msg::cantBeOpened) + "\n");
  EXPECT_EQ(f.err, "mutloc: cannot create \"d/r.lock\": Is a directory\n");

  writeFile(dir, "file", "");
  const Finished g = runToEnd(dir, {"--out", "file/r", "c.in"});
  EXPECT_EQ(g.status, 1);
  EXPECT_EQ(g.err, "mutloc: cannot create \"file\": Not a directory\n");
  ASSERT_EQ(runToEnd(dir, {"--out", "new/runs/r", "c.in"}).status, 0);
  EXPECT_TRUE(exists(dir + "/new/runs/r.dat"));
}

// Every file a run writes, each in turn on a device that is always full.
TEST(WriteFailures, AFileThatCannotBeWrittenStopsTheRunNamingItAndTheReason) {
  for (const char *sampler : samplers)
    for (const char *name : {".dat", ".log", ".sig", ".hap", ".hpf", ".mat", ".tre", ".chain1.tsv",
                             ".chain2.tsv", ".summary.tsv", ".draws.tsv", ".verdict.txt"}) {
      const std::string dir = folderWith(baseControl());
      ASSERT_EQ(symlink("/dev/full", (dir + "/c.in" + name).c_str()), 0);
      const Finished f = runToEnd(dir, {"--sampler", sampler, "c.in"});
      EXPECT_EQ(f.status, msg::writeFailedStatus) << name << ' ' << sampler;
      EXPECT_EQ(f.out.find("Finished"), std::string::npos) << name;
      EXPECT_EQ(f.err, "mutloc: cannot write \"c.in" + std::string(name) +
                           "\": No space left on device\n");
    }
}

TEST(WriteFailures, OnAFullFileSystemTheRunStopsAndAnEarlierRunSurvives) {
  const std::string dir = folderWith(baseControl()), fs = dir + "/fs";
  if (mkdir(fs.c_str(), 0755) != 0 || mount("tmpfs", fs.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  const std::shared_ptr<void> unmount(nullptr, [&](void *) { umount2(fs.c_str(), MNT_DETACH); });
  ASSERT_EQ(runToEnd(dir, {"--out", "fs/r", "c.in"}).status, 0);
  const auto before = runFiles(fs, "r");
  // Filled to the last byte.
  const int filler = open((fs + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
  for (size_t size : {4096, 1})
    while (write(filler, std::string(size, 'x').data(), size) > 0) {
    }
  close(filler);
  writeFile(dir, "c.in",
            edited(baseControl(), {{"Use fixed random seed\n-5", "Use fixed random seed\n-6"}}));
  for (const std::string prefix : {"fs/r", "fs/new"}) {
    const Finished f = runToEnd(dir, {"--out", prefix, "c.in"});
    EXPECT_EQ(f.status, msg::writeFailedStatus) << prefix;
    EXPECT_EQ(f.out.find("Finished"), std::string::npos);
    EXPECT_TRUE(contains(f.err, "mutloc: cannot write \"" + prefix + ".")) << f.err;
    EXPECT_TRUE(contains(f.err, "\": No space left on device")) << f.err;
  }
  EXPECT_EQ(runFiles(fs, "r"), before);
}

TEST(OneRunPerPrefix, ASecondRunOnTheSamePrefixIsRefusedAtOnceNamingTheFirst) {
  const std::string dir = folderWith(longRun()), elsewhere = makeTempDir();
  writeFile(dir, "d.in", baseControl());
  const Child first = startMutloc(dir, {"c.in"});
  ASSERT_TRUE(waitForSampling(dir + "/c.in"));
  // The same control file, or another one given the same prefix.
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{dir + "/c.in"}, {"--out", dir + "/c.in", dir + "/d.in"}}) {
    const Finished second = waitFor(startMutloc(elsewhere, args), elsewhere, 10);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_TRUE(contains(second.err, "another run (process " + std::to_string(first.pid) +
                                         ") is writing the files of \"" + dir + "/c.in\""))
        << second.err;
  }
  kill(first.pid, SIGINT);
  EXPECT_EQ(waitFor(first, dir, 60).status, 130);
}

TEST(WholeRuns, ARerunSetsTheEarlierRunAsideAsASetAndItsManifestSaysItIsComplete) {
  const std::string dir = folderWith(edited(baseControl(), {{"(chains)\n2\n", "(chains)\n3\n"}}));
  ASSERT_EQ(runToEnd(dir, {"c.in"}).status, 0);
  const auto first = runFiles(dir);
  EXPECT_TRUE(first.count("c.in.chain3.tsv"));
  for (const auto &[field, value] : {std::pair{"state", "complete"},
                                     {"seed", "-5"},
                                     {"chains", "3"},
                                     {"iterations", "30"},
                                     {"done", "30"},
                                     {"sampled", "20"}})
    EXPECT_EQ(manifestField(dir + "/c.in", field), value) << field;
  EXPECT_EQ(manifestField(dir + "/c.in", "run").size(), 16u);

  // A rerun with two chains and another seed.
  writeFile(dir, "c.in",
            edited(baseControl(), {{"Use fixed random seed\n-5", "Use fixed random seed\n-6"}}));
  ASSERT_EQ(runToEnd(dir, {"c.in"}).status, 0);
  EXPECT_EQ(runFiles(dir + "/c.in.earlier"), first);
  EXPECT_FALSE(exists(dir + "/c.in.chain3.tsv"));
  EXPECT_NE(manifestField(dir + "/c.in", "run"), manifestField(dir + "/c.in.earlier/c.in", "run"));
}

// Killed in set-up, as sampling starts or later: the folder holds the earlier
// run as it was, or this run marked as running beside the earlier run set
// aside whole, never files of both.
TEST(WholeRuns, AKilledRerunLeavesTheEarlierRunWholeAndItselfVisiblyIncomplete) {
  for (const size_t moment : {0, 1, 40}) {
    const std::string dir = folderWith(baseControl());
    ASSERT_EQ(runToEnd(dir, {"c.in"}).status, 0);
    const auto earlier = runFiles(dir);
    writeFile(dir, "c.in", moment == 0 ? slowSetUp() : longRun());
    const Child child = startMutloc(dir, {"c.in"});
    ASSERT_TRUE(moment == 0
                    ? catchesSigint(child.pid)
                    : waitForSampling(dir + "/c.in") && waitForLines(dir + "/c.in.dat", moment));
    kill(child.pid, SIGKILL);
    EXPECT_EQ(waitFor(child, dir).status, 128 + SIGKILL);
    if (moment == 0) {
      EXPECT_EQ(runFiles(dir), earlier);
    } else {
      EXPECT_EQ(manifestField(dir + "/c.in", "state"), "running");
      EXPECT_EQ(runFiles(dir + "/c.in.earlier"), earlier) << moment;
      for (const char *companion : {".summary.tsv", ".draws.tsv", ".verdict.txt"})
        EXPECT_FALSE(exists(dir + "/c.in" + companion)) << companion;
    }
    // The report renders the earlier run, or refuses this one.
    const int reported =
        std::system(("cd '" + dir + "' && '" MUTLOC_REPORT "' c.in > report.txt 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(reported), moment == 0 ? 0 : 1) << readFile(dir + "/report.txt");
  }
}

TEST(WholeRuns, ARunThatFailsAfterItStartedPutsTheEarlierRunBackOrSaysItFailed) {
  // The verdict, a run's last file, goes to a device that is always full.
  for (const bool earlierRun : {false, true}) {
    const std::string dir = folderWith(baseControl());
    if (earlierRun) {
      ASSERT_EQ(runToEnd(dir, {"c.in"}).status, 0);
    }
    std::filesystem::remove(dir + "/c.in.verdict.txt");
    ASSERT_EQ(symlink("/dev/full", (dir + "/c.in.verdict.txt").c_str()), 0);
    const auto earlier = runFiles(dir);
    writeFile(dir, "c.in",
              edited(baseControl(), {{"Use fixed random seed\n-5", "Use fixed random seed\n-6"}}));
    EXPECT_EQ(runToEnd(dir, {"c.in"}).status, msg::writeFailedStatus);
    if (earlierRun) {
      EXPECT_EQ(runFiles(dir), earlier);
    } else {
      EXPECT_EQ(manifestField(dir + "/c.in", "state"), "failed");
    }
    EXPECT_FALSE(exists(dir + "/c.in.earlier"));
  }
}

// ---------------------------------------------------------------------------
// Progress

TEST(Progress, ShownOnlyWhenStandardErrorIsATerminal) {
  const std::string text = edited(
      baseControl(), {{"Iterations\n20\n", "Iterations\n40000\n"}, {"10 5 1 1\n", "0 1000 1 1\n"}});
  const std::string onTerminal = folderWith(text);
  const Finished t = runToEnd(onTerminal, {"c.in"}, true);
  EXPECT_EQ(t.status, 0);
  EXPECT_TRUE(contains(t.err, "iteration ")) << t.err;
  EXPECT_TRUE(contains(t.err, "%)")) << t.err;
  EXPECT_TRUE(contains(t.err, "iterations/s")) << t.err;
  EXPECT_TRUE(contains(t.err, " left")) << t.err;

  const std::string redirected = folderWith(text);
  const Finished r = runToEnd(redirected, {"c.in"});
  // No progress line: standard error holds the verdict alone.
  EXPECT_EQ(r.err.rfind("Verdict", 0), 0u) << r.err;
  EXPECT_FALSE(contains(r.err, "iterations/s")) << r.err;
  // Standard output is the same either way.
  EXPECT_EQ(r.out, t.out);
  EXPECT_EQ(readFile(redirected + "/c.in.dat"), readFile(onTerminal + "/c.in.dat"));
}

} // namespace

// The marker list beside the control file names the markers and the base
// pairs of the answers; one that lists other markers stops the run before it
// starts, and without a list the summary keeps its columns.
TEST(MarkerNames, AListBesideTheControlFileNamesTheAnswersOnTheGenome) {
  const std::string dir = makeTempDir();
  writeFile(dir, "data.in", baseControl());
  ASSERT_EQ(runMutloc(dir, "data.in").status, 0);
  EXPECT_FALSE(contains(lines(readFile(dir + "/data.in.summary.tsv"))[0], "_bp"));
  writeFile(dir, "data.in.markers.tsv",
            "marker\tid\tchrom\tpos\tmap\n1\trs1\tchr7\t100000\t0\n2\trs2\tchr7\t200000\t0.01\n"
            "3\trs3\tchr7\t300000\t0.02\n4\trs4\tchr7\t450000\t0.035\n");
  ASSERT_EQ(runMutloc(dir, "--sampler mixing data.in").status, 0);
  const std::vector<std::string> summary = lines(readFile(dir + "/data.in.summary.tsv"));
  EXPECT_TRUE(contains(summary[0], "\tmarker_below_id\tmarker_above_id\tchrom\tmedian_bp"));
  EXPECT_TRUE(contains(readFile(dir + "/data.in.verdict.txt"), " bp), between markers rs"));
  writeFile(dir, "other.tsv", "marker\tid\tchrom\tpos\tmap\n1\trs1\tchr7\t100000\t0\n");
  const RunResult r =
      runShell("cd '" + dir + "' && '" MUTLOC_BINARY "' --markers other.tsv data.in 2>&1");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.out, "the marker list \"other.tsv\" lists 1 markers")) << r.out;
}
