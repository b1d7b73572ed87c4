// The programs as `cmake --install` lays them out in a fresh prefix, run by
// name from a folder of their own: the manual pages beside them, the command
// line of each (--help, --version, a usage error), the bundled demo through
// `mutloc --sampler mixing` and mutloc-report, and --threads with the exact
// sampler, which only warns.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <unistd.h>

#include "controltext.h"
#include "testkit.h"

namespace {

const std::string buildDir = std::filesystem::path(MUTLOC_REPORT).parent_path();
const std::string sourceDir = MUTLOC_TEST_DATA "/../..";
const char *const programs[] = {"mutloc", "mutloc-prepare", "mutloc-report"};

struct Ran {
  int status;
  std::string out, err;
};

// Runs command in dir with the installed programs first on the PATH.
Ran run(const std::string &prefix, const std::string &dir, const std::string &command) {
  const RunResult r = runShell("cd '" + dir + "' && PATH='" + prefix + "/bin':\"$PATH\" " +
                               command + " > out.txt 2> err.txt");
  return {r.status, readFile(dir + "/out.txt"), readFile(dir + "/err.txt")};
}

bool contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

// Whether R can run the report (Rscript and the packages it loads).
bool reportCanRun() {
  return runShell("Rscript -e 'for (p in c(\"ggplot2\", \"posterior\", \"base64enc\")) "
                  "stopifnot(requireNamespace(p, quietly = TRUE))' > /dev/null 2>&1")
             .status == 0;
}

// The demo control file, cut to a few iterations.
std::string shortDemo() {
  return edited(readFile(sourceDir + "/examples/demo.in"),
                {{"Burn-in iteration\n5000\n", "Burn-in iteration\n40\n"},
                 {"Iterations\n20000\n", "Iterations\n120\n"}});
}

// The files of the run demo.in in dir, but its manifest and lock (which name
// the process and the time), with the run's identity as RUN.
std::map<std::string, std::string> runFiles(const std::string &dir) {
  std::map<std::string, std::string> files;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename();
    if (name.rfind("demo.in.", 0) == 0 && name != "demo.in.run.tsv" && name != "demo.in.lock")
      files[name] = readRunFile(dir + "/demo.in", name.substr(7));
  }
  return files;
}

class Installed : public testing::Test {
protected:
  static void SetUpTestSuite() {
    prefix = new std::string(makeTempDir());
    const RunResult r =
        runShell("cmake --install '" + buildDir + "' --prefix '" + *prefix + "' 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
  }
  static void TearDownTestSuite() { delete prefix; }
  // A fresh working folder far from the build and source folders.
  std::string folder() const { return makeTempDir(); }
  static std::string *prefix;
};
std::string *Installed::prefix = nullptr;

TEST_F(Installed, EachProgramHasItsManualPageNamingEveryOptionOfItsHelp) {
  const std::string dir = folder();
  const std::string version = run(*prefix, dir, "mutloc --version").out;
  const std::string number = version.substr(7, version.find('\n') - 7);
  ASSERT_FALSE(number.empty()) << version;
  for (const std::string program : programs) {
    if (program == "mutloc-report" && !reportCanRun())
      continue;
    const std::string bin = *prefix + "/bin/" + program;
    EXPECT_EQ(access(bin.c_str(), X_OK), 0) << bin;
    std::string page = readFile(*prefix + "/share/man/man1/" + program + ".1");
    ASSERT_FALSE(page.empty()) << program;
    EXPECT_TRUE(contains(page, "\"mutloc " + number + "\"")) << program;
    EXPECT_FALSE(contains(page, "@")) << program;
    for (size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at))
      page.erase(at, 1);
    const std::string help = run(*prefix, dir, program + " --help").out;
    std::set<std::string> options;
    // Every "--name" of the help text (lower-case letters and inner dashes).
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
      size_t end = at + 2;
      while (end < help.size() && (std::islower(static_cast<unsigned char>(help[end])) ||
                                   (help[end] == '-' && end + 1 < help.size() &&
                                    std::islower(static_cast<unsigned char>(help[end + 1])))))
        end++;
      if (end > at + 2)
        options.insert(help.substr(at, end - at));
    }
    EXPECT_GE(options.size(), 2u) << program;
    for (const std::string &name : options)
      EXPECT_TRUE(contains(page, name)) << program << ".1 lacks " << name;
  }
}

TEST_F(Installed, EveryProgramAnswersHelpVersionAndAWrongCommandLine) {
  const bool withReport = reportCanRun();
  const std::string dir = folder();
  const std::string version = run(*prefix, dir, "mutloc --version").out;
  const std::string number = version.substr(7, version.find('\n') - 7);
  for (const std::string program : programs) {
    if (program == "mutloc-report" && !withReport)
      continue;
    const Ran help = run(*prefix, dir, program + " --help");
    EXPECT_EQ(help.status, 0) << program;
    EXPECT_TRUE(contains(help.out, program)) << help.out;
    EXPECT_TRUE(contains(help.out, "--version")) << help.out;
    EXPECT_TRUE(contains(help.out, "Exit status")) << help.out;
    EXPECT_EQ(help.err, "") << program;
    const Ran shown = run(*prefix, dir, program + " --version");
    EXPECT_EQ(shown.status, 0) << program;
    EXPECT_EQ(shown.out.rfind(program + " " + number, 0), 0u) << shown.out;
    EXPECT_EQ(shown.err, "") << program;

    const Ran wrong = run(*prefix, dir, program + " --no-such-option x.in");
    EXPECT_EQ(wrong.status, 2) << program;
    EXPECT_EQ(wrong.out, "") << program;
    EXPECT_TRUE(contains(wrong.err, "--no-such-option")) << wrong.err;
    EXPECT_TRUE(contains(wrong.err, program + " --help")) << wrong.err;
  }
  std::filesystem::remove(dir + "/out.txt");
  std::filesystem::remove(dir + "/err.txt");
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  if (!withReport)
    return;
  // The report's own command line: one control file, "--" before a name
  // that starts with -.
  for (const char *args : {"", "a.in b.in", "--"}) {
    const Ran r = run(*prefix, dir, std::string("mutloc-report ") + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(contains(r.err, "mutloc-report --help")) << r.err;
  }
  const Ran dashed = run(*prefix, dir, "mutloc-report -- -x.in");
  EXPECT_EQ(dashed.status, 1);
  EXPECT_TRUE(contains(dashed.err, "-x.in.run.tsv is missing")) << dashed.err;
}

TEST_F(Installed, TheDemoRunsThroughTheMixingSamplerAndTheReport) {
  const std::string dir = folder();
  writeFile(dir, "demo.in", shortDemo());
  const Ran sampled = run(*prefix, dir, "mutloc --sampler mixing --threads 2 demo.in");
  ASSERT_EQ(sampled.status, 0) << sampled.err;
  EXPECT_TRUE(contains(sampled.out, "Finished")) << sampled.out;
  EXPECT_FALSE(contains(sampled.err, "no effect")) << sampled.err;
  for (const char *suffix : {".summary.tsv", ".draws.tsv", ".verdict.txt", ".chain2.tsv"})
    EXPECT_FALSE(readFile(dir + "/demo.in" + suffix).empty()) << suffix;
  EXPECT_TRUE(contains(readFile(dir + "/demo.in.run.tsv"), "state\tcomplete\n"));
  if (!reportCanRun())
    GTEST_SKIP() << "R or its packages ggplot2, posterior and base64enc are missing";
  const Ran report = run(*prefix, dir, "mutloc-report demo.in");
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out, "demo.in.report.html\n");
  EXPECT_TRUE(contains(readFile(dir + "/demo.in.report.html"), "<img"));
}

TEST_F(Installed, ThreadsWithTheExactSamplerOnlyWarns) {
  const std::string plain = folder(), threaded = folder();
  for (const std::string &dir : {plain, threaded})
    writeFile(dir, "demo.in", shortDemo());
  const Ran without = run(*prefix, plain, "mutloc demo.in");
  const Ran with = run(*prefix, threaded, "mutloc --threads 2 demo.in");
  ASSERT_EQ(without.status, 0) << without.err;
  EXPECT_EQ(with.status, 0);
  EXPECT_EQ(with.out, without.out);
  EXPECT_FALSE(contains(without.err, "--threads"));
  EXPECT_EQ(with.err.rfind("mutloc: warning: --threads has no effect with the exact sampler", 0),
            0u)
      << with.err;
  const auto expected = runFiles(plain), got = runFiles(threaded);
  EXPECT_GE(expected.size(), 10u);
  EXPECT_EQ(got.size(), expected.size());
  for (const auto &[name, text] : expected)
    EXPECT_TRUE(got.count(name) && got.at(name) == text) << name << " differs";
}

} // namespace
