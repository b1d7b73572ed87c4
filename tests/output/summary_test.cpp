// The summary table, the verdict and the per-chain trace rows, built from
// plain draws and values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include "chaintrace.h"
#include "membership.h"
#include "summary.h"
#include "testkit.h"
#include "verdict.h"

namespace {

// Independent normal draws per chain around the given centres.
ChainDraws normalDraws(const std::vector<double> &centres, double sd, int n, unsigned seed) {
  std::mt19937 engine(seed);
  std::normal_distribution<double> noise(0.0, sd);
  ChainDraws out;
  for (double c : centres) {
    out.emplace_back();
    for (int i = 0; i < n; i++)
      out.back().push_back(c + noise(engine));
  }
  return out;
}

SummaryInput input(const std::vector<double> &locCentres, const std::vector<double> &ageCentres,
                   int n) {
  SummaryInput in;
  in.location = normalDraws(locCentres, 0.002, n, 1);
  in.age = normalDraws(ageCentres, 5, n, 2);
  in.markers = {0, 0.01, 0.02, 0.03, 0.04};
  in.alpha = 0.1;
  return in;
}

const SummaryRow &row(const std::vector<SummaryRow> &rows, const std::string &p, int chain) {
  for (const SummaryRow &r : rows)
    if (r.parameter == p && r.chain == chain)
      return r;
  ADD_FAILURE() << p << " " << chain;
  return rows.front();
}

std::string verdictOf(const SummaryInput &in) {
  std::ostringstream out;
  writeVerdict(out, summarise(in), in.location.size(), 1 - in.alpha, in.ageSampled);
  return out.str();
}

TEST(Summary, HasARowPerChainAndAPooledRowForEachParameter) {
  const SummaryInput in = input({0.015, 0.016}, {50, 52}, 1000);
  const std::vector<SummaryRow> rows = summarise(in);
  ASSERT_EQ(rows.size(), 6u);
  const SummaryRow &pooled = row(rows, "location", 0);
  EXPECT_EQ(pooled.draws, 2000);
  EXPECT_NEAR(pooled.mean, 0.0155, 0.0003);
  EXPECT_LT(pooled.hpdLow, pooled.median);
  EXPECT_GT(pooled.hpdHigh, pooled.median);
  // A 90% interval of a normal law spans about 3.3 sd.
  EXPECT_NEAR(row(rows, "location", 1).hpdHigh - row(rows, "location", 1).hpdLow, 3.29 * 0.002,
              0.0007);
  // The interval of about 0.012..0.019 lies between markers 2 (0.01) and 3 (0.02).
  EXPECT_EQ(pooled.markerBelow, 2);
  EXPECT_EQ(pooled.markerAbove, 3);
  EXPECT_EQ(row(rows, "age", 0).markerBelow, 0);
  EXPECT_EQ(row(rows, "age", 2).draws, 1000);
  EXPECT_NEAR(row(rows, "age", 2).mean, 52, 0.5);
}

TEST(Summary, MarkersAtTheMapEndsAreNamedOrMissing) {
  SummaryInput in = input({0.039}, {50}, 500);
  const std::vector<SummaryRow> rows = summarise(in);
  const SummaryRow &r = row(rows, "location", 0);
  EXPECT_EQ(r.markerBelow, 4);
  EXPECT_EQ(r.markerAbove, 0); // the interval passes the last marker at 0.04
}

TEST(Summary, TableHasOneHeaderAndNAForMissingFigures) {
  SummaryInput in = input({0.02}, {50}, 200);
  in.age = {std::vector<double>(200, 0.0)}; // an age held fixed records zeros
  std::ostringstream out;
  writeSummaryTable(out, summarise(in), 0.9, "0123abcd0123abcd");
  const std::vector<std::string> text = lines(out.str());
  ASSERT_EQ(text.size(), 5u);
  EXPECT_EQ(text[0], "parameter\tchain\tdraws\tmean\tsd\tmedian\thpd_level\thpd_low\thpd_high\trhat"
                     "\tess_bulk\tess_tail\tmarker_below\tmarker_above\trun");
  EXPECT_EQ(text[1].substr(0, 15), "location\t1\t200\t");
  EXPECT_EQ(text[2].substr(0, 17), "location\tall\t200\t");
  EXPECT_EQ(text[4], "age\tall\t200\t0\t0\t0\t0.9\t0\t0\tNA\tNA\tNA\tNA\tNA\t0123abcd0123abcd");
  for (const std::string &line : text)
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 14) << line;
}

TEST(Verdict, AgreeingChainsGiveEstimatesWithUnitsAndTheFigures) {
  const SummaryInput in = input({0.015, 0.015, 0.015}, {50, 50, 50}, 1000);
  EXPECT_TRUE(chainsAgree(summarise(in), 3, true));
  const std::string v = verdictOf(in);
  EXPECT_NE(v.find("Morgans"), std::string::npos) << v;
  EXPECT_NE(v.find(" cM"), std::string::npos) << v;
  EXPECT_NE(v.find("generations"), std::string::npos) << v;
  EXPECT_NE(v.find("90% highest-density interval"), std::string::npos) << v;
  EXPECT_NE(v.find("between markers 2 and 3"), std::string::npos) << v;
  EXPECT_NE(v.find("The chains agree"), std::string::npos) << v;
  EXPECT_EQ(v.find("do not agree"), std::string::npos) << v;
}

TEST(Verdict, DisagreeingChainsGetFiguresLimitsAndAdvice) {
  const SummaryInput in = input({0.005, 0.03}, {50, 50}, 1000);
  EXPECT_FALSE(chainsAgree(summarise(in), 2, true));
  const std::string v = verdictOf(in);
  EXPECT_NE(v.find("The chains do not agree"), std::string::npos) << v;
  EXPECT_NE(v.find("location: R-hat"), std::string::npos) << v;
  EXPECT_NE(v.find("(should be below 1.01)"), std::string::npos) << v;
  EXPECT_NE(v.find("run longer"), std::string::npos) << v;
  EXPECT_NE(v.find("--sampler mixing"), std::string::npos) << v;
  // A run of the mixing sampler is not sent to the mixing sampler.
  std::ostringstream mixed;
  writeVerdict(mixed, summarise(in), 2, 1 - in.alpha, in.ageSampled, true);
  EXPECT_EQ(mixed.str().find("--sampler mixing"), std::string::npos) << mixed.str();
  EXPECT_NE(mixed.str().find("separate modes"), std::string::npos) << mixed.str();
}

// The founder share joins the judged parameters: chains whose shares
// disagree do not agree, whatever the location and age say; the founder line
// counts the chromosomes by their probabilities and names the least likely
// rows first, leaving out a row without chromosomes; rows whose chains'
// probabilities lie half or more apart are named, widest apart first.
TEST(Verdict, HeterogeneityAddsTheShareAndTheLeastLikelyRows) {
  SummaryInput in = input({0.015, 0.015}, {50, 50}, 1000);
  in.share = normalDraws({0.6, 0.9}, 0.02, 1000, 3);
  MembershipTable table;
  table.copies = {3, 0, 1, 2, 1, 1};
  table.chains = {{1.0, NAN, 0.1, 0.5, 0.0, 0.75}, {0.8, NAN, 0.3, 0.5, 0.95, 0.25}};
  const std::vector<SummaryRow> rows = summarise(in);
  EXPECT_EQ(row(rows, "founder_share", 0).draws, 2000);
  EXPECT_FALSE(chainsAgree(rows, 2, true));
  std::ostringstream out;
  writeVerdict(out, rows, 2, 0.9, true, true, &table);
  const std::string v = out.str();
  EXPECT_NE(v.find("about 5 of 8 patient chromosomes"), std::string::npos) << v;
  EXPECT_NE(v.find("the 5 least likely are rows 3 (0.2), 5 (0.47), 4 (0.5), 6 (0.5), 1 (0.9)"),
            std::string::npos)
      << v;
  EXPECT_NE(v.find("disagree on which chromosomes descend from the founder: rows 5 (0 in one "
                   "chain, 0.95 in another), 6 (0.25 in one chain, 0.75 in another)."),
            std::string::npos)
      << v;
  EXPECT_NE(v.find("founder_share: R-hat"), std::string::npos) << v;

  std::ostringstream file;
  writeMembershipTable(file, table, "r1");
  EXPECT_EQ(file.str(), "row\tcopies\tp_founder\tchain1\tchain2\trun\n1\t3\t0.9\t1\t0.8\tr1\n"
                        "2\t0\tNA\tNA\tNA\tr1\n3\t1\t0.2\t0.1\t0.3\tr1\n4\t2\t0.5\t0.5\t0.5\tr1\n"
                        "5\t1\t0.475\t0\t0.95\tr1\n6\t1\t0.5\t0.75\t0.25\tr1\n");
}

// Base pairs along a straight line between the markers around a location,
// a quarter of the way as well as at the markers, and none off the map or
// between markers of two chromosomes.
TEST(Summary, LocationsAreNamedOnTheGenomeWhenItsMarkersAreKnown) {
  const std::vector<double> map = {0, 0.01, 0.02, 0.03, 0.04};
  const std::vector<long long> bases = {1000, 2000, 2400, 5000, 9000};
  const std::vector<std::string> chroms = {"7", "7", "7", "7", "8"};
  EXPECT_DOUBLE_EQ(basePosition(0.0125, map, bases, chroms), 2100);
  EXPECT_DOUBLE_EQ(basePosition(0.02, map, bases, chroms), 2400);
  EXPECT_DOUBLE_EQ(basePosition(0, map, bases, chroms), 1000);
  EXPECT_TRUE(std::isnan(basePosition(0.035, map, bases, chroms)));
  EXPECT_TRUE(std::isnan(basePosition(-0.001, map, bases, chroms)));

  SummaryInput in = input({0.015, 0.015}, {50, 50}, 1000);
  in.markerIds = {"rs1", "rs2", "rs3", "rs4", "rs5"};
  in.markerChroms = {"7", "7", "7", "7", "7"};
  in.markerBases = bases;
  const std::vector<SummaryRow> rows = summarise(in);
  const SummaryRow &pooled = row(rows, "location", 0);
  EXPECT_EQ(pooled.idBelow, "rs" + std::to_string(pooled.markerBelow));
  EXPECT_NEAR(pooled.medianBp, 2000 + (pooled.median - 0.01) * 40000, 1e-6);
  std::ostringstream table, verdict;
  writeSummaryTable(table, rows, 0.9, "r1", true);
  EXPECT_NE(table.str().find("\thpd_high_bp\trun\n"), std::string::npos);
  writeVerdict(verdict, rows, 2, 0.9, true);
  EXPECT_NE(verdict.str().find("between markers rs2 (marker 2) and rs3 (marker 3)"),
            std::string::npos)
      << verdict.str();
  EXPECT_NE(verdict.str().find(" cM; 7:2,"), std::string::npos) << verdict.str();
  EXPECT_NE(verdict.str().find(" bp), between"), std::string::npos) << verdict.str();
}

TEST(Verdict, AnInterruptedRunSaysSoFirst) {
  const SummaryInput in = input({0.015, 0.015}, {50, 50}, 1000);
  std::ostringstream some, none;
  writeVerdict(some, summarise(in), 2, 0.9, true, true, nullptr, "after iteration 9 of 20");
  EXPECT_EQ(some.str().rfind("The run was interrupted after iteration 9 of 20: ", 0), 0u)
      << some.str();
  writeVerdict(none, summarise(input({0.015}, {50}, 0)), 1, 0.9, true, true, nullptr, "after 3");
  EXPECT_NE(none.str().find("stopped during burn-in"), std::string::npos) << none.str();
  EXPECT_EQ(none.str().find("\"Iterations\" is 0"), std::string::npos) << none.str();
}

// The log-likelihood has a line of its own, beside the judgement of location
// and age (which it does not change), only when it has not mixed: chains at
// different levels, or one chain still falling.
TEST(Verdict, AGenealogyThatHasNotSettledIsNamedWithItsFiguresAndWhatToDo) {
  const std::string warning = "\n  The genealogy has not settled: the log-likelihood has R-hat ";
  SummaryInput in = input({0.015, 0.015}, {50, 50}, 1000);
  in.logLikelihood = normalDraws({-160, -160}, 7, 1000, 5);
  EXPECT_EQ(verdictOf(in).find("genealogy"), std::string::npos) << verdictOf(in);
  in.logLikelihood = normalDraws({-150, -170}, 7, 1000, 5);
  const std::string v = verdictOf(in);
  EXPECT_NE(v.find("The chains agree"), std::string::npos) << v;
  EXPECT_NE(v.find(warning), std::string::npos) << v;
  EXPECT_NE(v.find("(should be below 1.01), bulk ESS "), std::string::npos) << v;
  EXPECT_NE(v.find("Run longer (raise \"Iterations\""), std::string::npos) << v;

  SummaryInput one = input({0.015}, {50}, 1000);
  one.logLikelihood = normalDraws({-160}, 1, 1000, 6);
  for (int i = 0; i < 1000; i++)
    one.logLikelihood[0][i] -= 0.02 * i;
  EXPECT_NE(verdictOf(one).find(warning), std::string::npos) << verdictOf(one);
}

TEST(Verdict, TooFewEffectiveDrawsIsNotAgreement) {
  // Same centres, but 100 draws per chain cannot reach 400 effective draws.
  const SummaryInput in = input({0.015, 0.015}, {50, 50}, 100);
  EXPECT_FALSE(chainsAgree(summarise(in), 2, true));
  const std::string v = verdictOf(in);
  EXPECT_NE(v.find("do not agree"), std::string::npos) << v;
  EXPECT_NE(v.find("(should be at least 400)"), std::string::npos) << v;
  EXPECT_EQ(v.find("(should be below"), std::string::npos) << v;
}

TEST(Verdict, OneChainCannotBeJudged) {
  const SummaryInput in = input({0.015}, {50}, 1000);
  EXPECT_FALSE(chainsAgree(summarise(in), 1, true));
  const std::string v = verdictOf(in);
  EXPECT_NE(v.find("cannot be judged from one chain"), std::string::npos) << v;
  EXPECT_EQ(v.find("chains agree"), std::string::npos) << v;
  EXPECT_EQ(v.find("do not agree"), std::string::npos) << v;
}

TEST(Verdict, AFixedAgeIsNeitherEstimatedNorJudged) {
  SummaryInput in = input({0.015, 0.015}, {50, 50}, 1000);
  in.age = {std::vector<double>(1000, 0.0), std::vector<double>(1000, 0.0)};
  in.ageSampled = false;
  EXPECT_TRUE(chainsAgree(summarise(in), 2, false));
  const std::string v = verdictOf(in);
  EXPECT_NE(v.find("Mutation age: held fixed"), std::string::npos) << v;
  EXPECT_EQ(v.find("age: R-hat"), std::string::npos) << v;
}

TEST(Verdict, ARunWithoutDrawsSaysSo) {
  SummaryInput in;
  in.location = in.age = {{}, {}};
  const std::string v = verdictOf(in);
  EXPECT_NE(v.find("no draws were recorded"), std::string::npos) << v;
}

TEST(ChainTrace, HeaderStartsWithStateAndRowsSumTheLogPosterior) {
  std::ostringstream out;
  writeTraceHeader(out);
  TraceRow r;
  r.state = 40;
  r.logLik = -10;
  r.partnerProb = -1;
  r.treePrior = -2;
  r.rootHapProb = -3;
  r.locPrior = -0.5;
  r.agePrior = -0.25;
  r.popSampleProb = -99; // printed, not summed
  r.location = 0.0125;
  r.age = 37.5;
  r.acceptance = {0.5, 0.25, 0, 1, 0.125};
  writeTraceRow(out, r, "r1");
  r.logLik = -HUGE_VAL;
  r.age = std::nan("");
  writeTraceRow(out, r, "r1");
  const std::vector<std::string> text = lines(out.str());
  ASSERT_EQ(text.size(), 3u);
  EXPECT_EQ(text[0].substr(0, 20), "state\tlog_posterior\t");
  EXPECT_EQ(std::count(text[0].begin(), text[0].end(), '\t'), 16);
  EXPECT_EQ(text[1], "40\t-16.75\t-10\t-1\t-2\t-3\t-0.5\t-0.25\t-99\t0.0125\t37.5\t0.5\t0.25\t0\t1"
                     "\t0.125\tr1");
  EXPECT_EQ(text[2].substr(0, 13), "40\t-Inf\t-Inf\t");
  EXPECT_NE(text[2].find("\t0.0125\tNaN\t"), std::string::npos);
}

} // namespace
