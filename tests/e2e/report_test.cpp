// Whole runs with the companion outputs: the summary table and the verdict of
// runs whose chains disagree and agree, the per-chain traces as R and coda
// load them, and the report page built from a finished run, with the
// densities it draws checked on draws of known distributions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "testkit.h"

namespace {

const std::string reportData = MUTLOC_TEST_DATA "/report/";
const std::string e2eDir = MUTLOC_TEST_DATA "/../e2e/";

struct RunOutput {
  std::string dir, screen, errors;
  int status;
};

// Runs mutloc on a copy of a control file, keeping both output streams.
RunOutput runWithErrors(const std::string &controlText) {
  RunOutput r;
  r.dir = makeTempDir();
  writeFile(r.dir, "control.in", controlText);
  const std::string cmd =
      "cd '" + r.dir + "' && '" MUTLOC_BINARY "' control.in > screen.txt 2> errors.txt";
  const int st = std::system(cmd.c_str());
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.screen = readFile(r.dir + "/screen.txt");
  r.errors = readFile(r.dir + "/errors.txt");
  return r;
}

int shell(const std::string &cmd) {
  const int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::vector<std::string> split(const std::string &line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string f; std::getline(in, f, '\t');)
    out.push_back(f);
  return out;
}

// The pooled row's value of a column of the summary table.
double pooled(const std::string &dir, const std::string &parameter, const std::string &column) {
  const std::vector<std::string> table = lines(readFile(dir + "/control.in.summary.tsv"));
  EXPECT_FALSE(table.empty());
  if (table.empty())
    return 0;
  const std::vector<std::string> header = split(table[0]);
  const size_t at = std::find(header.begin(), header.end(), column) - header.begin();
  for (const std::string &line : table) {
    const std::vector<std::string> f = split(line);
    if (f.size() == header.size() && f[0] == parameter && f[1] == "all")
      return std::stod(f[at]);
  }
  ADD_FAILURE() << "no pooled " << parameter << " row";
  return 0;
}

class DisagreeingRun : public testing::Test {
protected:
  static void SetUpTestSuite() {
    run = new RunOutput(runWithErrors(readFile(reportData + "disagree.in")));
  }
  static void TearDownTestSuite() { delete run; }
  static RunOutput *run;
};
RunOutput *DisagreeingRun::run = nullptr;

TEST_F(DisagreeingRun, EndsWithTheDisagreementVerdictAfterTheUnchangedScreenText) {
  EXPECT_EQ(run->status, 0);
  ASSERT_GE(run->screen.size(), 9u);
  EXPECT_EQ(run->screen.substr(run->screen.size() - 9), "Finished\n");
  EXPECT_EQ(run->screen.find("Verdict"), std::string::npos);
  // The file's verdict is the screen's, closed by the manifest's identity.
  const std::string verdict = readFile(run->dir + "/control.in.verdict.txt");
  const std::string manifest = readFile(run->dir + "/control.in.run.tsv");
  const size_t id = manifest.find("\nrun\t") + 5;
  EXPECT_EQ(verdict,
            run->errors + "Run " + manifest.substr(id, manifest.find('\n', id) - id) + ".\n");
  EXPECT_NE(verdict.find("The chains do not agree"), std::string::npos) << verdict;
  EXPECT_NE(verdict.find("--sampler mixing"), std::string::npos) << verdict;
  EXPECT_GT(pooled(run->dir, "location", "rhat"), 1.1);
}

TEST_F(DisagreeingRun, TracesHoldOneRowPerDatRecordWithTheSameValues) {
  const std::vector<std::string> dat = lines(readFile(run->dir + "/control.in.dat"));
  for (int k = 1; k <= 2; k++) {
    const std::vector<std::string> trace =
        lines(readFile(run->dir + "/control.in.chain" + std::to_string(k) + ".tsv"));
    ASSERT_EQ(trace.size(), dat.size() + 1) << k;
    EXPECT_EQ(trace[0].substr(0, 6), "state\t");
    for (size_t i = 0; i < dat.size(); i++) {
      // A .dat segment is 14 fields: state, location, log posterior, age, ...
      std::istringstream d(dat[i]);
      std::vector<double> seg(28);
      for (double &v : seg)
        d >> v;
      const std::vector<std::string> t = split(trace[i + 1]);
      const size_t base = (k - 1) * 14;
      EXPECT_EQ(std::stod(t[0]), seg[base]);
      EXPECT_NEAR(std::stod(t[1]), seg[base + 2], 1e-5 * std::abs(seg[base + 2]));
      EXPECT_NEAR(std::stod(t[9]), seg[base + 1], 1e-5 * std::abs(seg[base + 1]) + 1e-12);
      EXPECT_NEAR(std::stod(t[10]), seg[base + 3], 1e-5 * std::abs(seg[base + 3]));
    }
  }
}

TEST_F(DisagreeingRun, TracesLoadInRWithCoda) {
  EXPECT_EQ(shell("Rscript '" + e2eDir + "load_traces.R' '" + run->dir +
                  "/control.in' 2 500 > /dev/null"),
            0);
}

// The pooled row of a parameter's estimates table on the page.
std::string pooledEstimates(const std::string &page, const std::string &parameter) {
  const size_t table = page.find("<table id=\"estimates-" + parameter + "\">");
  const size_t row = page.find("<tr><td>pooled</td>", table);
  if (table == std::string::npos || row == std::string::npos)
    return "";
  return page.substr(row, page.find("</tr>", row) - row);
}

std::string fourDigits(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", x);
  return text;
}

TEST_F(DisagreeingRun, ReportPageHoldsVerdictTablesAndEmbeddedImages) {
  ASSERT_EQ(shell("cd '" + run->dir + "' && '" MUTLOC_REPORT "' control.in > report-out.txt"), 0);
  EXPECT_EQ(readFile(run->dir + "/report-out.txt"), "control.in.report.html\n");
  const std::string page = readFile(run->dir + "/control.in.report.html");
  EXPECT_NE(page.find("The chains do not agree"), std::string::npos);
  EXPECT_NE(page.find("<table id=\"diagnostics\">"), std::string::npos);
  EXPECT_NE(page.find("R-hat (posterior)"), std::string::npos);
  EXPECT_NE(page.find("<table id=\"acceptance\">"), std::string::npos);
  // The location in cM, on the map's own scale, as in the plots.
  const std::string location = pooledEstimates(page, "location");
  EXPECT_NE(
      location.find("<td>" + fourDigits(pooled(run->dir, "location", "median") * 100) + "</td>"),
      std::string::npos)
      << location;
  // The settings labelled: the .log's first line is the seed in use.
  EXPECT_NE(page.find("<td>Random seed</td><td>-2024 (the control file's fixed seed)</td>"),
            std::string::npos);
  EXPECT_NE(page.find("conditional on the population growth rate r = 0.5 and the sampled "
                      "proportion 0.05 of this run"),
            std::string::npos);
  EXPECT_NE(page.find("Watch the log-likelihood"), std::string::npos);
  size_t images = 0;
  for (size_t at = 0; (at = page.find("src=\"data:image/png;base64,", at)) != std::string::npos;
       at++)
    images++;
  EXPECT_EQ(images, 3u);
  // Self-contained: nothing is fetched from elsewhere.
  EXPECT_EQ(page.find("src=\"http"), std::string::npos);
  EXPECT_EQ(page.find("href=\"http"), std::string::npos);
}

// With the marker list beside the control file the page names the markers
// and gives the location in base pairs, interpolated as the run's summary
// does; with --heterogeneity it adds the founder share and the rows.
// A table's text with the last column of every line left out.
std::string withoutLastColumn(const std::string &table) {
  std::string out;
  for (const std::string &line : lines(table))
    out += line.substr(0, line.rfind('\t')) + "\n";
  return out;
}

TEST(Report, NamesMarkersAndBasePairsAndShowsTheFounderShare) {
  const std::string dir = makeTempDir();
  writeFile(dir, "control.in", readFile(reportData + "converge.in"));
  writeFile(dir, "control.in.markers.tsv",
            "marker\tid\tchrom\tpos\tmap\n1\trs1\tchr7\t100000\t0\n2\trs2\tchr7\t200000\t0.01\n"
            "3\trs3\tchr7\t300000\t0.02\n4\trs4\tchr7\t450000\t0.035\n");
  ASSERT_EQ(shell("cd '" + dir +
                  "' && '" MUTLOC_BINARY
                  "' --sampler mixing --heterogeneity control.in > /dev/null 2>&1"),
            0);
  ASSERT_EQ(shell("cd '" + dir + "' && '" MUTLOC_REPORT "' control.in > /dev/null"), 0);
  const std::string page = readFile(dir + "/control.in.report.html");
  const std::string location = pooledEstimates(page, "location");
  EXPECT_NE(location.find("<td>rs1 to rs4</td>"), std::string::npos) << location;
  const long bp = std::lround(pooled(dir, "location", "median_bp"));
  std::string separated = std::to_string(bp);
  for (int at = static_cast<int>(separated.size()) - 3; at > 0; at -= 3)
    separated.insert(at, ",");
  EXPECT_NE(location.find("<td>" + separated + "</td>"), std::string::npos) << location;
  EXPECT_NE(pooledEstimates(page, "founder_share"), "");
  EXPECT_NE(page.find("<table id=\"membership\">"), std::string::npos);

  // A second run of the same control file into another folder: any file of
  // it copied over the first run's, or one that names no run, is refused.
  const std::string other = makeTempDir();
  writeFile(other, "control.in", readFile(reportData + "converge.in"));
  ASSERT_EQ(shell("cd '" + other +
                  "' && '" MUTLOC_BINARY
                  "' --sampler mixing --heterogeneity control.in > /dev/null 2>&1"),
            0);
  const auto refusal = [&] {
    EXPECT_EQ(shell("cd '" + dir + "' && '" MUTLOC_REPORT "' control.in 2> errors.txt"), 1);
    return readFile(dir + "/errors.txt");
  };
  for (const char *suffix :
       {".summary.tsv", ".draws.tsv", ".chain2.tsv", ".membership.tsv", ".verdict.txt"}) {
    const std::string own = readFile(dir + "/control.in" + suffix);
    writeFile(dir, std::string("control.in") + suffix, readFile(other + "/control.in" + suffix));
    const std::string says = refusal();
    EXPECT_EQ(
        says.rfind(std::string("mutloc-report: control.in") + suffix + " is from another run: ", 0),
        0u)
        << says;
    EXPECT_EQ(lines(says).size(), 1u) << says;
    // Without its identity the file cannot be matched either.
    const std::string unnamed = suffix == std::string(".verdict.txt")
                                    ? own.substr(0, own.rfind("Run "))
                                    : withoutLastColumn(own);
    writeFile(dir, std::string("control.in") + suffix, unnamed);
    EXPECT_NE(refusal().find(std::string("control.in") + suffix + " names no run"),
              std::string::npos)
        << suffix;
    writeFile(dir, std::string("control.in") + suffix, own);
  }
  EXPECT_EQ(shell("cd '" + dir + "' && '" MUTLOC_REPORT "' control.in > /dev/null"), 0);
}

TEST(Report, DensitiesOfKnownDrawsArePooledAsTheMixtureWithRegionsInPieces) {
  EXPECT_EQ(shell("Rscript '" + e2eDir + "report_densities.R' '" MUTLOC_REPORT "'"), 0);
}

TEST(Report, StopsWithAMessageWhenTheRunHasNotFinished) {
  const std::string dir = makeTempDir();
  writeFile(dir, "control.in", "");
  EXPECT_EQ(shell("cd '" + dir + "' && '" MUTLOC_REPORT "' control.in 2> errors.txt"), 1);
  EXPECT_NE(readFile(dir + "/errors.txt").find("control.in.run.tsv is missing"), std::string::npos);
  EXPECT_NE(shell("'" MUTLOC_REPORT "' 2> /dev/null"), 0);
}

// Each damage, done to the files of a whole run in turn, is refused with one
// line naming the file and what is wrong.
TEST(Report, RefusesFilesThatAreNotAWholeRunOrDoNotMatchItsManifest) {
  const RunOutput run = runWithErrors(readFile(reportData + "disagree.in"));
  ASSERT_EQ(run.status, 0);
  const std::string base = run.dir + "/control.in", draws = readFile(base + ".draws.tsv");
  const struct {
    std::string suffix, damaged, says;
  } cases[] = {
      {".run.tsv", "field\tvalue\nstate\trunning\n", ".run.tsv says the run has not ended"},
      {".run.tsv", "field\tvalue\nstate\tfailed\n", ".run.tsv says the run failed"},
      {".draws.tsv", draws.substr(0, 300), ".draws.tsv is cut short in its last line."},
      // Whole lines: the draws of iterations 500 to 599 of chain 1.
      {".draws.tsv", draws.substr(0, draws.find("\n1\t600\t") + 1),
       ".draws.tsv holds 100 draws where the run's manifest says 4000."},
      {".verdict.txt", "", ".verdict.txt is empty."},
      {".chain2.tsv", readFile(base + ".chain2.tsv") + "1\t2\n", ".chain2.tsv is damaged"}};
  for (const auto &c : cases) {
    const std::string whole = readFile(base + c.suffix);
    writeFile(run.dir, "control.in" + c.suffix, c.damaged);
    EXPECT_EQ(shell("cd '" + run.dir + "' && '" MUTLOC_REPORT "' control.in 2> errors.txt"), 1);
    const std::string says = readFile(run.dir + "/errors.txt");
    EXPECT_EQ(says.rfind("mutloc-report: control.in" + c.says, 0), 0u) << says;
    EXPECT_EQ(lines(says).size(), 1u) << says;
    writeFile(run.dir, "control.in" + c.suffix, whole);
  }
}

// A mixing run whose draws file and traces keep one sampling iteration in 3 is
// plotted from the kept draws with the summary's log-likelihood beside its
// trace; a verdict whose genealogy has not settled is a warning even where the
// chains agree, and a draws file that is not the one the manifest describes is
// still refused.
TEST(Report, ShowsAThinnedRunAndItsLogLikelihoodAndRefusesItsDamagedDraws) {
  const std::string dir = makeTempDir(), base = dir + "/control.in";
  writeFile(dir, "control.in", readFile(reportData + "converge.in"));
  ASSERT_EQ(shell("cd '" + dir +
                  "' && '" MUTLOC_BINARY "' --sampler mixing --thin 3 control.in > /dev/null 2>&1"),
            0);
  const auto report = [&] {
    const int status =
        shell("cd '" + dir + "' && '" MUTLOC_REPORT "' control.in >/dev/null 2>errors.txt");
    return readFile(status == 0 ? base + ".report.html" : dir + "/errors.txt");
  };
  const std::string page = report();
  // 20000 sampling iterations a chain keep iterations 1000, 1003, ..., 20998.
  EXPECT_NE(page.find("use those 13,334 draws, while the summary's"), std::string::npos);
  const size_t head = page.find("<table id=\"estimates-log_likelihood\">");
  EXPECT_EQ(page.substr(head, page.find("</tr>", head) - head).find("region"), std::string::npos);
  char rhat[32];
  std::snprintf(rhat, sizeof rhat, "<td>%.6g</td>", pooled(dir, "log_likelihood", "rhat"));
  const size_t table = page.find("<table id=\"log-likelihood-diagnostics\">");
  EXPECT_LT(page.find(rhat, page.find("<td>pooled</td>", table)), page.find("alt=\"trace plots\""));

  const std::string verdict = readFile(base + ".verdict.txt");
  ASSERT_NE(verdict.find("The chains agree"), std::string::npos);
  const size_t named = verdict.rfind("Run ");
  writeFile(dir, "control.in.verdict.txt",
            verdict.substr(0, named) + "  The genealogy has not settled: ...\n" +
                verdict.substr(named));
  EXPECT_NE(report().find("<pre class=\"verdict warn\">"), std::string::npos);
  std::string draws = readFile(base + ".draws.tsv");
  writeFile(dir, "control.in.draws.tsv", draws.substr(0, draws.find("\n1\t1300\t") + 1));
  EXPECT_EQ(report(), "mutloc-report: control.in.draws.tsv holds 100 draws where the run's "
                      "manifest says 13334 (one in 3 of 20,000 sampling iterations, for each of "
                      "2 chains).\n");
  writeFile(dir, "control.in.draws.tsv",
            draws.replace(draws.find("\n1\t1003\t"), 8, "\n1\t1002\t"));
  EXPECT_NE(report().find("its draws are not those of iterations 1,000, 1,003, 1,006, ..."),
            std::string::npos);
}

TEST(ConvergingRun, TinyDataSetRunLongEnoughGetsTheAgreementVerdict) {
  const RunOutput run = runWithErrors(readFile(reportData + "converge.in"));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.errors.find("The chains agree"), std::string::npos) << run.errors;
  EXPECT_LT(pooled(run.dir, "location", "rhat"), 1.01);
  EXPECT_GE(pooled(run.dir, "age", "ess_tail"), 400);
}

TEST(OneChainRun, SaysConvergenceCannotBeJudged) {
  std::string control = readFile(reportData + "disagree.in");
  const std::string chains = "# Simulation runs (number of chains)\n2";
  control.replace(control.find(chains), chains.size(), "# Simulation runs (number of chains)\n1");
  const RunOutput run = runWithErrors(control);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.errors.find("cannot be judged from one chain"), std::string::npos) << run.errors;
  EXPECT_EQ(lines(readFile(run.dir + "/control.in.summary.tsv")).size(), 5u);
  EXPECT_EQ(readFile(run.dir + "/control.in.chain2.tsv"), "");
}

} // namespace
