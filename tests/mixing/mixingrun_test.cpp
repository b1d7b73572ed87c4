// The mixing sampler run end to end by the built program: the same output
// whatever the thread count, thinning that leaves every figure as it was, the
// options' checks, and its target: with a likelihood that does not depend on
// the state it returns the prior of location and age, and on a small data set
// whose target both samplers share its location and age agree with the
// default sampler's within sampling error.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "batchmeans.h"
#include "controltext.h"
#include "likelihood.h"
#include "testkit.h"
#include "thinning.h"

namespace {

const char *const suffixes[] = {".dat", ".log", ".sig", ".hap", ".hpf", ".mat", ".tre"};

RunResult runIn(const std::string &dir, const std::string &control, const std::string &args) {
  writeFile(dir, "data.in", control);
  return runMutloc(dir, args + " data.in");
}

// A run's location and age samples of every chain, read from a trace written
// at every iteration without acceptance proportions (nine fields per chain),
// burn-in left out, chains one after another.
struct Trace {
  std::vector<double> locations, ages;
};

Trace readTrace(const std::string &datPath, int chainCount, long burnIn) {
  Trace t;
  std::vector<std::vector<double>> loc(chainCount), age(chainCount);
  for (const std::string &line : lines(readFile(datPath))) {
    std::istringstream in(line);
    std::vector<double> f;
    double v;
    while (in >> v)
      f.push_back(v);
    if (f.size() < static_cast<size_t>(9 * chainCount) || f[0] < burnIn)
      continue;
    for (int ch = 0; ch < chainCount; ch++) {
      loc[ch].push_back(f[9 * ch + 1]);
      age[ch].push_back(f[9 * ch + 3]);
    }
  }
  for (int ch = 0; ch < chainCount; ch++) {
    t.locations.insert(t.locations.end(), loc[ch].begin(), loc[ch].end());
    t.ages.insert(t.ages.end(), age[ch].begin(), age[ch].end());
  }
  return t;
}

// Mean of a function of the samples with its standard error from batch means
// (correlated draws): 40 consecutive batches, each within one chain when the
// chains' sample counts are multiples of the batch length.
double identity(double v) {
  return v;
}

// Two estimates agree when they differ by less than 4.5 combined standard
// errors (a false alarm about once in 150,000 comparisons).
void expectAgree(const Estimate &a, const Estimate &b, const char *what) {
  const double se = std::sqrt(a.se * a.se + b.se * b.se);
  EXPECT_LT(std::fabs(a.mean - b.mean), 4.5 * se)
      << what << ": " << a.mean << " +- " << a.se << " against " << b.mean << " +- " << b.se;
}

// Two runs that must be one run: both finished, with the same screen text
// and the seven files byte for byte.
void expectSameRun(const RunResult &a, const std::string &dirA, const RunResult &b,
                   const std::string &dirB) {
  ASSERT_EQ(a.status, 0) << a.out;
  ASSERT_EQ(b.status, 0) << b.out;
  EXPECT_EQ(a.out, b.out);
  for (const char *s : suffixes)
    EXPECT_EQ(readFile(dirA + "/data.in" + s), readFile(dirB + "/data.in" + s)) << s;
}

std::string longRun(const std::string &control, int burnIn, int iterations) {
  return edited(control,
                {{"Burn-in iteration\n10\n", "Burn-in iteration\n" + std::to_string(burnIn) + "\n"},
                 {"Iterations\n20\n", "Iterations\n" + std::to_string(iterations) + "\n"},
                 {"haplotypes...\n10 5 1 1\n", "haplotypes...\n1000000 1 0 0\n"}});
}

} // namespace

TEST(MixingRun, OutputIsTheSameWhateverTheThreadCount) {
  const std::string one = makeTempDir(), two = makeTempDir();
  const std::string control = edited(baseControl(), {{"Iterations\n20\n", "Iterations\n700\n"}});
  const RunResult a = runIn(one, control, "--sampler mixing --threads 1");
  const RunResult b = runIn(two, control, "--threads 2 --sampler=mixing");
  ASSERT_NO_FATAL_FAILURE(expectSameRun(a, one, b, two));
  // The trace has the default sampler's layout: one line per record
  // iteration (every fifth, and the last), 14 fields per chain and R.
  const std::vector<std::string> dat = lines(readFile(one + "/data.in.dat"));
  ASSERT_EQ(dat.size(), 143u);
  std::istringstream last(dat.back());
  std::vector<std::string> fields;
  std::string f;
  while (last >> f)
    fields.push_back(f);
  EXPECT_EQ(fields.size(), 29u);
  EXPECT_EQ(fields[0], "709");
}

// The header and every third row of a file whose rows come in blocks of
// `block` (one per chain), counted from each block's first, and the last row
// when asked.
std::vector<std::string> everyThirdRow(const std::string &text, size_t block, bool last) {
  const std::vector<std::string> all = lines(text);
  std::vector<std::string> kept = {all[0]};
  for (size_t k = 1; k < all.size(); k++)
    if ((k - 1) % block % 3 == 0 || (last && k + 1 == all.size()))
      kept.push_back(all[k]);
  return kept;
}

// --thin 3 keeps the draws of sampling iterations 0, 3, 6, ... and every
// third trace row (every 15th iteration here) and the last; the summary and
// verdict come from every draw, so they do not change.
TEST(MixingRun, ThinningKeepsEveryNthDrawAndTraceRowAndEveryFigure) {
  const std::string whole = makeTempDir(), thinned = makeTempDir();
  const std::string control = edited(baseControl(), {{"Iterations\n20\n", "Iterations\n700\n"}});
  const RunResult a = runIn(whole, control, "--sampler mixing");
  const RunResult b = runIn(thinned, control, "--sampler mixing --thin 3");
  ASSERT_NO_FATAL_FAILURE(expectSameRun(a, whole, b, thinned));
  for (const char *s : {".summary.tsv", ".verdict.txt"})
    EXPECT_EQ(readRunFile(whole + "/data.in", s), readRunFile(thinned + "/data.in", s)) << s;
  EXPECT_EQ(lines(readRunFile(thinned + "/data.in", ".draws.tsv")),
            everyThirdRow(readRunFile(whole + "/data.in", ".draws.tsv"), 700, false));
  EXPECT_EQ(lines(readRunFile(thinned + "/data.in", ".chain2.tsv")),
            everyThirdRow(readRunFile(whole + "/data.in", ".chain2.tsv"), 1000, true));
  EXPECT_NE(readFile(thinned + "/data.in.summary.tsv").find("\nlog_likelihood\tall\t1400\t"),
            std::string::npos);
}

// Unasked, a run whose draws and traces would pass the size they are kept to
// is thinned to fit it, and says so; the exact sampler only warns.
TEST(MixingRun, ALargeRunIsThinnedToFitAndTheExactSamplerOnlyWarns) {
  const std::string dir = makeTempDir(), in = "cd '" + dir + "' && '" MUTLOC_BINARY "' ";
  writeFile(dir, "data.in",
            edited(baseControl(),
                   {{"Iterations\n20\n", "Iterations\n40000\n"}, {"10 5 1 1\n", "0 1 1 1\n"}}));
  const RunResult r = runShell(in + "--sampler mixing data.in 2>&1 >/dev/null");
  EXPECT_NE(r.out.find("--thin 2 (chosen for the run's size)"), std::string::npos) << r.out;
  double bytes = 0;
  for (const char *s : {".draws.tsv", ".chain1.tsv", ".chain2.tsv"})
    bytes += readFile(dir + "/data.in" + s).size();
  EXPECT_LT(bytes, thinnedBytes);
  writeFile(dir, "data.in", baseControl());
  EXPECT_NE(runShell(in + "--thin 9 data.in 2>&1").out.find("--thin has no effect"),
            std::string::npos);
}

TEST(MixingRun, ExactSamplerOptionIsTheDefaultRun) {
  const std::string plain = makeTempDir(), named = makeTempDir();
  const RunResult a = runIn(plain, baseControl(), "");
  const RunResult b = runIn(named, baseControl(), "--sampler exact");
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(b.status, 0);
  for (const char *s : suffixes)
    EXPECT_EQ(readFile(plain + "/data.in" + s), readFile(named + "/data.in" + s)) << s;
}

// With one allele at every marker every haplotype has probability 1, so the
// posterior is the prior: the location uniform over its interval, the age
// distributed by its prior density over its bounds.
TEST(MixingTarget, WithoutInformativeDataItReturnsThePrior) {
  const std::string dir = makeTempDir();
  const std::string control =
      edited(longRun(baseControl(), 1000, 40000),
             {{"5 1 2 1 2\n3 2 1 1 1\n4 1 1 2 2\n2 2 2 2 1\n6 1 2 2 2\n", "20 1 1 1 1\n"},
              {"Loci for the root\n1 2 1 1\n", "Loci for the root\n1 1 1 1\n"},
              {"5 1 2 1 1\n5 2 2 1 2\n", "10 1 1 1 1\n"}});
  const RunResult r = runIn(dir, control, "--sampler mixing");
  ASSERT_EQ(r.status, 0) << r.out;
  const Trace t = readTrace(dir + "/data.in.dat", 2, 1000);
  ASSERT_EQ(t.locations.size(), 80000u);

  const double high = 0.035;
  expectAgree(batchMeans(t.locations, identity), {high / 2, 0}, "location mean");
  expectAgree(batchMeans(t.locations, [&](double x) { return x < high / 4 ? 1.0 : 0.0; }),
              {0.25, 0}, "location in the first quarter");

  // The age prior's mean and median by quadrature over [10, 200]
  // (n = 10, growth 0.5, sampled proportion 0.1).
  pset.propSampled = 0.1;
  const int steps = 200000;
  const double low = 10, top = 200, h = (top - low) / steps;
  std::vector<double> cdf(steps + 1, 0.0);
  double mass = 0, moment = 0;
  for (int s = 0; s < steps; s++) {
    const double T = low + (s + 0.5) * h;
    const double w = std::exp(tpriormut(10, T, 0.5)) * h;
    mass += w;
    moment += w * T;
    cdf[s + 1] = mass;
  }
  int s = 0;
  while (cdf[s] < mass / 2)
    s++;
  const double median = low + s * h;
  expectAgree(batchMeans(t.ages, identity), {moment / mass, 0}, "age mean");
  expectAgree(batchMeans(t.ages, [&](double a) { return a < median ? 1.0 : 0.0; }), {0.5, 0},
              "age below the prior median");
}

// Haplotype data with the frequencies and the age held fixed (step width 0,
// age not iterated): there the default sampler's moves also leave the whole
// posterior invariant, so the two samplers must agree in distribution. With
// the age moving they would not: the default sampler's age proposal is not
// symmetric, which on this data set lowers its mean age by about 0.2
// generations, a difference these run lengths resolve.
TEST(MixingTarget, AgreesWithTheDefaultSamplerOnASmallDataSet) {
  const std::string exactDir = makeTempDir(), mixingDir = makeTempDir();
  const std::string control = edited(longRun(baseControl(), 2000, 60000),
                                     {{"alleles,algswitch\n5 10 0.005 0.3 0.3 0.05 1\n",
                                       "alleles,algswitch\n5 10 0.005 0.3 0.3 0 1\n"},
                                      {"allele freq\n1 1 1 1\n", "allele freq\n1 0 1 1\n"}});
  const RunResult e = runIn(exactDir, control, "");
  const RunResult m = runIn(mixingDir, control, "--sampler mixing");
  ASSERT_EQ(e.status, 0) << e.out;
  ASSERT_EQ(m.status, 0) << m.out;
  const Trace te = readTrace(exactDir + "/data.in.dat", 2, 2000);
  const Trace tm = readTrace(mixingDir + "/data.in.dat", 2, 2000);
  ASSERT_EQ(tm.ages.front(), 50);
  ASSERT_EQ(tm.ages.back(), 50);
  const auto firstHalf = [](double x) { return x < 0.0175 ? 1.0 : 0.0; };
  const auto nearStart = [](double x) { return std::fabs(x - 0.015) < 0.003 ? 1.0 : 0.0; };
  expectAgree(batchMeans(te.locations, identity), batchMeans(tm.locations, identity),
              "location mean");
  expectAgree(batchMeans(te.locations, firstHalf), batchMeans(tm.locations, firstHalf),
              "location in the first half");
  expectAgree(batchMeans(te.locations, nearStart), batchMeans(tm.locations, nearStart),
              "location within 0.003 of 0.015");
}

// With the founder share held at 1 every chromosome descends from the
// founder, so --heterogeneity must leave the run as it is without the option,
// draw for draw; its membership table has a line for every row of the patient
// block, a row holding no chromosome among them.
TEST(MixingRun, HeterogeneityWithTheShareAtOneIsTheRunWithout) {
  const std::string plain = makeTempDir(), held = makeTempDir(), free = makeTempDir();
  const std::string control =
      edited(baseControl(), {{"Iterations\n20\n", "Iterations\n700\n"},
                             {"5 1 2 1 1\n5 2 2 1 2\n", "5 1 2 1 1\n0 1 1 1 1\n5 2 2 1 2\n"}});
  const RunResult a = runIn(plain, control, "--sampler mixing");
  const RunResult b = runIn(held, control, "--sampler mixing --heterogeneity --founder-share 1");
  ASSERT_NO_FATAL_FAILURE(expectSameRun(a, plain, b, held));
  EXPECT_EQ(readRunFile(held + "/data.in", ".membership.tsv"),
            "row\tcopies\tp_founder\tchain1\tchain2\trun\n1\t5\t1\t1\t1\tRUN\n"
            "2\t0\tNA\tNA\tNA\tRUN\n3\t5\t1\t1\t1\tRUN\n");
  EXPECT_NE(readFile(held + "/data.in.verdict.txt").find("about 10 of 10 patient chromosomes"),
            std::string::npos);

  const RunResult c = runIn(free, control, "--sampler mixing --heterogeneity");
  ASSERT_EQ(c.status, 0) << c.out;
  const std::vector<std::string> table = lines(readFile(free + "/data.in.membership.tsv"));
  ASSERT_EQ(table.size(), 4u);
  int shareRows = 0;
  for (const std::string &line : lines(readFile(free + "/data.in.summary.tsv")))
    shareRows += line.rfind("founder_share\t", 0) == 0;
  EXPECT_EQ(shareRows, 3);
}

TEST(MixingRun, HeterogeneityIsRefusedWithoutThePatientData) {
  const std::string dir = makeTempDir();
  writeFile(dir, "data.in", edited(baseControl(), {{"Read old file\n0\n", "Read old file\n1\n"}}));
  const RunResult r = runShell(
      "cd '" + dir + "' && '" MUTLOC_BINARY "' --sampler mixing --heterogeneity data.in 2>&1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("--heterogeneity needs the patient chromosomes"), std::string::npos)
      << r.out;
}
