// The command-line parser and the output files that keep earlier results.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

#include "options.h"
#include "outputfiles.h"
#include "testkit.h"

namespace {

Options parse(std::vector<const char *> args) {
  args.insert(args.begin(), "mutloc");
  return parseOptions(static_cast<int>(args.size()), args.data());
}

TEST(Options, ControlFileAndOutPrefixInEveryForm) {
  const Options plain = parse({"data.in"});
  EXPECT_EQ(plain.action, Options::Action::run);
  EXPECT_EQ(plain.controlFile, "data.in");
  EXPECT_EQ(plain.outPrefix, "");
  for (const auto &args : {std::vector<const char *>{"--out", "r/x", "data.in"},
                           std::vector<const char *>{"data.in", "-o", "r/x"},
                           std::vector<const char *>{"--out=r/x", "data.in"}}) {
    const Options o = parse(args);
    EXPECT_EQ(o.action, Options::Action::run);
    EXPECT_EQ(o.controlFile, "data.in");
    EXPECT_EQ(o.outPrefix, "r/x");
  }
  // After "--" a name may start with a dash; a lone "-" is a name anyway.
  EXPECT_EQ(parse({"--", "-odd.in"}).controlFile, "-odd.in");
  EXPECT_EQ(parse({"-"}).controlFile, "-");
  EXPECT_EQ(parse({}).controlFile, "");
  EXPECT_EQ(parse({}).action, Options::Action::run);
}

TEST(Options, SamplerThreadsAndThinInEveryForm) {
  const Options plain = parse({"data.in"});
  EXPECT_FALSE(plain.mixing);
  EXPECT_EQ(plain.threads, 0);
  EXPECT_EQ(plain.thin, 0);
  const Options o = parse({"--sampler", "mixing", "data.in", "--threads=3", "--thin", "25"});
  EXPECT_EQ(o.action, Options::Action::run);
  EXPECT_EQ(o.controlFile, "data.in");
  EXPECT_TRUE(o.mixing);
  EXPECT_EQ(o.threads, 3);
  EXPECT_EQ(o.thin, 25);
  EXPECT_EQ(parse({"--thin=1", "data.in"}).thin, 1);
  EXPECT_FALSE(parse({"--sampler=exact", "data.in"}).mixing);
  const struct {
    std::vector<const char *> args;
    const char *says;
  } bad[] = {{{"--sampler", "fast", "data.in"}, "--sampler takes exact or mixing, not: fast"},
             {{"--threads", "0", "data.in"}, "--threads takes a whole number"},
             {{"--threads=2x", "data.in"}, "--threads takes a whole number"},
             {{"--threads", "99999999999", "data.in"}, "--threads takes a whole number"},
             {{"--thin", "0", "data.in"}, "--thin takes a whole number from 1 to 1000000000"},
             {{"--thin=2.5", "data.in"}, "--thin takes a whole number"},
             {{"data.in", "--thin"}, "the option needs a value: --thin"},
             {{"data.in", "--sampler"}, "the option needs a value: --sampler"},
             {{"--samplers", "mixing", "data.in"}, "unknown option --samplers"}};
  for (const auto &c : bad) {
    const Options b = parse(c.args);
    EXPECT_EQ(b.action, Options::Action::usageError) << c.says;
    EXPECT_NE(b.error.find(c.says), std::string::npos) << b.error;
  }
}

TEST(Options, HelpAndVersionWinWhereverTheyStand) {
  EXPECT_EQ(parse({"data.in", "--help"}).action, Options::Action::help);
  EXPECT_EQ(parse({"-h"}).action, Options::Action::help);
  EXPECT_EQ(parse({"--version", "x", "y"}).action, Options::Action::version);
  EXPECT_EQ(parse({"-V"}).action, Options::Action::version);
}

TEST(Options, HeterogeneityWithItsShareOptions) {
  const Options plain = parse({"--sampler", "mixing", "--heterogeneity", "data.in"});
  EXPECT_EQ(plain.action, Options::Action::run);
  EXPECT_TRUE(plain.heterogeneity);
  EXPECT_EQ(plain.sharePriorA, 1);
  EXPECT_EQ(plain.sharePriorB, 1);
  EXPECT_EQ(plain.fixedShare, 0);
  const Options prior =
      parse({"--heterogeneity", "--founder-share-prior=4,0.5", "--sampler=mixing", "d.in"});
  EXPECT_EQ(prior.action, Options::Action::run);
  EXPECT_EQ(prior.sharePriorA, 4);
  EXPECT_EQ(prior.sharePriorB, 0.5);
  EXPECT_EQ(
      parse({"--sampler=mixing", "--heterogeneity", "--founder-share", "1", "d.in"}).fixedShare, 1);
  struct {
    std::vector<const char *> args;
    const char *says;
  } cases[] = {{{"--heterogeneity", "d.in"}, "--sampler mixing"},
               {{"--sampler=mixing", "--founder-share=0.5", "d.in"}, "belong to --heterogeneity"},
               {{"--sampler=mixing", "--founder-share-prior=1,1", "d.in"}, "--heterogeneity"}};
  for (const auto &c : cases) {
    const Options o = parse(c.args);
    EXPECT_EQ(o.action, Options::Action::usageError) << c.says;
    EXPECT_NE(o.error.find(c.says), std::string::npos) << o.error;
  }
  for (const char *bad : {"0", "1.5", "-0.2", "nan", "0.5x", ""}) {
    const Options o = parse({"--sampler=mixing", "--heterogeneity", "--founder-share", bad, "d"});
    EXPECT_EQ(o.action, Options::Action::usageError) << bad;
  }
  for (const char *bad : {"1", "1,", ",2", "0,1", "1,-1", "a,b", "1,inf", "1;2"}) {
    const Options o =
        parse({"--sampler=mixing", "--heterogeneity", "--founder-share-prior", bad, "d"});
    EXPECT_EQ(o.action, Options::Action::usageError) << bad;
    EXPECT_NE(o.error.find("Beta prior"), std::string::npos) << o.error;
  }
}

TEST(Options, UsageErrorsSayWhatWasWrong) {
  struct {
    std::vector<const char *> args;
    const char *says;
  } cases[] = {{{"--verbose", "a.in"}, "--verbose"},
               {{"a.in", "b.in"}, "b.in"},
               {{"a.in", "--out"}, "--out"},
               {{"--out=", "a.in"}, "--out"},
               {{"-o", "", "a.in"}, "-o"}};
  for (const auto &c : cases) {
    const Options o = parse(c.args);
    EXPECT_EQ(o.action, Options::Action::usageError) << c.says;
    EXPECT_NE(o.error.find(c.says), std::string::npos) << o.error;
  }
}

// ---------------------------------------------------------------------------
// Output files

void fill(OutputFiles &files, const std::string &text) {
  for (OutFile *s :
       {&files.dat, &files.log, &files.sig, &files.hap, &files.hpf, &files.mat, &files.tre})
    *s << text << std::flush;
}

const char *const suffixes[] = {".dat", ".log", ".sig", ".hap", ".hpf", ".mat", ".tre"};

TEST(OutputFilesTest, AnAbandonedRunPutsTheEarlierRunBackBeforeAndAfterItsCommit) {
  namespace fs = std::filesystem;
  for (bool commit : {false, true}) {
    const std::string dir = makeTempDir();
    writeFile(dir, "r.log", "old log");
    writeFile(dir, "r.chain3.tsv", "old trace");
    writeFile(dir, "r.chain3.tsv.bak", "not a run file");
    OutputFiles files;
    ASSERT_EQ(openOutputs(files, dir + "/r").path, "");
    EXPECT_TRUE(files.staged);
    fill(files, "new");
    if (commit) {
      commitOutputs(files);
      // The streams go on writing to the files now in place, and the earlier
      // run is set aside whole.
      files.dat << " more" << std::flush;
      EXPECT_EQ(readFile(dir + "/r.dat"), "new more");
      EXPECT_EQ(readFile(dir + "/r.earlier/r.log"), "old log");
      EXPECT_EQ(readFile(dir + "/r.earlier/r.chain3.tsv"), "old trace");
      EXPECT_FALSE(fs::exists(dir + "/r.chain3.tsv"));
    }
    EXPECT_TRUE(abandonOutputs(files));
    EXPECT_EQ(readFile(dir + "/r.log"), "old log");
    EXPECT_EQ(readFile(dir + "/r.chain3.tsv"), "old trace");
    EXPECT_EQ(readFile(dir + "/r.chain3.tsv.bak"), "not a run file");
    EXPECT_FALSE(fs::exists(dir + "/r.dat"));
    EXPECT_FALSE(fs::exists(dir + "/r.earlier"));
    for (const char *s : suffixes)
      EXPECT_FALSE(fs::exists(stagedName(dir + "/r" + s))) << s;
  }
}

TEST(OutputFilesTest, AFolderInTheWayOfAnOutputIsReportedInBothModes) {
  for (bool earlier : {false, true}) {
    const std::string dir = makeTempDir();
    if (earlier)
      writeFile(dir, "r.dat", "old");
    ASSERT_EQ(mkdir((dir + "/r.sig").c_str(), 0755), 0);
    OutputFiles files;
    const Unopened unopened = openOutputs(files, dir + "/r");
    EXPECT_EQ(unopened.path, dir + "/r.sig");
    EXPECT_EQ(unopened.reason, EISDIR);
    EXPECT_FALSE(std::filesystem::exists(stagedName(dir + "/r.dat")));
    if (earlier) {
      EXPECT_EQ(readFile(dir + "/r.dat"), "old");
    }
  }
}

} // namespace
