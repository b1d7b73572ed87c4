// Output layouts: the .dat segment and screen line, the histogram with its
// highest-density flags and interval widths, and the haplotype tallies.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "output.h"
#include "runchains.h"
#include "testkit.h"

namespace {

// Chain state with distinct values in every field the records show. The
// settings' starting values are another location and age: the records show
// the chains' current ones.
void setChainValues() {
  chainSettings.resize(chains.size());
  for (Chain &c : chains) {
    chainSettings[c.index].mutLocStart = -1;
    chainSettings[c.index].mutAgeStart = -1;
    c.mutLoc = 0.0123456789 + c.index;
    c.mutAge = 47.5 + c.index;
    c.logLik = -40.5;
    c.partnerProb = -1;
    c.treePrior = -20;
    c.rootHapProb = -2;
    c.locPrior = -0.25;
    c.mutAgePrior = -3;
    c.popSampleProb = -47.123456789;
    for (int p = 0; p < propCount; p++)
      c.props[p] = (p + 1) / 9.0;
  }
}

// The .dat line of iteration i for the given number of chains with the
// values above, the proportions saved or not, ended by the convergence value.
std::string datLine(int count, int saveAcceptProps, long i, double convergence) {
  setSmallRun(4, 2, count);
  pset.saveAcceptProps = saveAcceptProps;
  setChainValues();
  std::ostringstream dat;
  for (const Chain &c : chains)
    writeDatSegment(dat, traceRow(c, i));
  endDatLine(dat, convergence);
  return dat.str();
}

// The screen lines of iteration i, one per chain, for the given number of
// chains with the values above, printed to the given number of digits.
std::string screenLines(int count, std::streamsize digits, long i, double convergence) {
  setSmallRun(4, 2, count);
  setChainValues();
  std::ostringstream screen;
  screen.precision(digits);
  for (const Chain &c : chains)
    writeScreenLine(screen, traceRow(c, i), c.index, convergence);
  return screen.str();
}

// The histogram of one chain's samples in the given number of bars, its
// interval levels worked out for realIterations sampling iterations at the
// given alpha level.
std::string histogramOf(const std::vector<double> &samples, long realIterations, double alpha,
                        int bars) {
  setSmallRun(4, 2, 1);
  pset.realIterations = realIterations;
  pset.alphaLevel = alpha;
  std::ostringstream out;
  Histogram({samples}, static_cast<long>(samples.size()), bars, out);
  return out.str();
}

} // namespace

TEST(Trace, DatSegmentHasNineFieldsAndThePosteriorOfSixTerms) {
  // -40.5 - 1 - 20 - 2 - 0.25 - 3: the population-sample term is printed but
  // not summed, the partner and location terms are summed but not printed.
  EXPECT_EQ(datLine(1, 0, 30, 1.5), "30 0.0123457 -66.75 47.5 -40.5 -20 -47.1235 -3 -2 \n");
}

TEST(Trace, DatSegmentAppendsTheFiveProportionsWhenSaved) {
  EXPECT_EQ(datLine(1, 1, 0, 0), "0 0.0123457 -66.75 47.5 -40.5 -20 -47.1235 -3 -2 0.111111 "
                                 "0.222222 0.333333 0.444444 0.555556 \n");
}

TEST(Trace, TwoChainLineEndsWithTheConvergenceValueWithoutSeparator) {
  EXPECT_EQ(datLine(2, 0, 10, 1.0914999),
            "10 0.0123457 -66.75 47.5 -40.5 -20 -47.1235 -3 -2 "
            "10 1.01235 -66.75 48.5 -40.5 -20 -47.1235 -3 -2 1.0915\n");
}

TEST(Trace, ScreenLineShowsConvergenceOnlyOnChainZeroOfSeveral) {
  EXPECT_EQ(screenLines(2, 8, 250, 1.1133108),
            "250 0.012345679 -40.5 47.5 0.11111111 0.22222222 0.33333333 "
            "0.44444444 0.55555556\t\t1.1133108\n"
            "250 1.0123457 -40.5 48.5 0.11111111 0.22222222 0.33333333 "
            "0.44444444 0.55555556\n");
}

TEST(Trace, SingleChainScreenLineHasNoConvergenceColumn) {
  EXPECT_EQ(screenLines(1, 6, 7, 3.0),
            "7 0.0123457 -40.5 47.5 0.111111 0.222222 0.333333 0.444444 0.555556\n");
}

TEST(Histogram, EdgeSamplesGoRightAndLowestBarsLeaveTheRegion) {
  // Bars [0,3), [3,6), [6,9]: 3 and 6 lie on inner edges.
  // need = 10 - floor(9.5) = 1: the first of the two bars of 3 is dropped.
  // Widths: (7.5 - 1.5) / 3 per kept bar; at 50% need = 5 drops two bars.
  EXPECT_EQ(histogramOf({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10, 0.05, 3),
            "1.5 0.3 3 0\n4.5 0.3 3 1\n7.5 0.4 4 1\n"
            "99% = 4 95% = 4 90% = 4 80% = 4 50% = 2 \n");
}

TEST(Histogram, RegionGrowsUntilTheExcludedCountReachesTheLevel) {
  // Four bars of width 1 over [0,4]: counts 2, 9, 6, 3.
  // alpha 0.2: need = 4; dropping 2 then 3 reaches it, so bars 0 and 3 go.
  // 99% and 95%: need 1 -> one bar dropped; 90%: need 2 -> one; 80%: need 4
  // -> two; 50%: need 10 -> 2 + 3 + 6 -> three. Width per bar (3.5-0.5)/4.
  EXPECT_EQ(histogramOf({0,   0.5, 1,   1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7,
                         1.8, 2,   2.2, 2.4, 2.6, 2.8, 2.9, 3,   3.5, 4},
                        20, 0.2, 4),
            "0.5 0.1 2 0\n1.5 0.45 9 1\n2.5 0.3 6 1\n3.5 0.15 3 0\n"
            "99% = 2.25 95% = 2.25 90% = 2.25 80% = 1.5 50% = 0.75 \n");
}

TEST(Histogram, CountColumnDividesByNAndLevelsUseRealIterations) {
  // With R = 5 the region would keep the last bar (need 1); with R = 100 the
  // need is 5 and every bar is dropped.
  EXPECT_EQ(histogramOf({0, 1, 5, 5.5, 6}, 100, 0.05, 3),
            "1 0.4 2 0\n3 0 0 0\n5 0.6 3 0\n"
            "99% = 1.33333 95% = 0 90% = 0 80% = 0 50% = 0 \n");
}

TEST(Histogram, OneBarHoldsEverySampleAndIsAlwaysExcluded) {
  EXPECT_EQ(histogramOf({1, 2, 3, 4, 5}, 5, 0.05, 1),
            "3 1 5 0\n99% = 0 95% = 0 90% = 0 80% = 0 50% = 0 \n");
}

TEST(Histogram, EqualSamplesAllFallIntoTheLastBarWithZeroWidths) {
  // All bars share one position, so the sorts reorder them: the full bar
  // comes first after the count sort and the position sort back.
  EXPECT_EQ(histogramOf({0, 0, 0, 0}, 4, 0.05, 3), "0 1 4 0\n0 0 0 0\n0 0 0 0\n"
                                                   "99% = 0 95% = 0 90% = 0 80% = 0 50% = 0 \n");
}

TEST(Histogram, NaNSampleNeverTakesTheWalkPastTheLastSample) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto &v : {std::vector<double>{1, nan, 3, 4}, std::vector<double>{1, 2, 3, nan},
                        std::vector<double>{nan, 2, 3, 4}}) {
    const auto l = lines(histogramOf(v, 4, 0.05, 3));
    ASSERT_EQ(l.size(), 4u);
    int total = 0;
    for (int k = 0; k < 3; k++) {
      // position, share, count, flag: the position may print as nan
      std::istringstream f(l[k]);
      std::string pos, share;
      int count = -100;
      f >> pos >> share >> count;
      total += count;
    }
    EXPECT_EQ(total, 4);
  }
}

namespace {

// Tips (child1 -1) carrying the given alleles, plus one internal row that
// must never be tallied.
TreeMatrix tipsTree(const std::vector<std::vector<double>> &alleles) {
  std::vector<std::vector<double>> rows;
  rows.push_back({0, 1, 2, -1, 5, 1, 0, 9, 9, 9});
  for (size_t t = 0; t < alleles.size(); t++) {
    std::vector<double> r = {double(t + 1), -1, -1, 0, 0, 5, 0};
    r.insert(r.end(), alleles[t].begin(), alleles[t].end());
    rows.push_back(r);
  }
  return makeTree(rows);
}

void freshHapstate() {
  hapstate.assign(maxTalliedHaplotypes, std::vector<int>(pset.numLoci + 1, 0));
}

} // namespace

TEST(Haplotypes, HapListsDistinctTipsMostFrequentFirstAndTiesInFirstSeenOrder) {
  setSmallRun(5, 3, 1);
  std::ostringstream out;
  haplosave3(tipsTree({{1, 2, 1}, {2, 2, 2}, {2, 2, 2}, {1, -2, 1}, {3, 1, 1}}), out);
  // Negative (imputed) alleles count and print as their labels.
  EXPECT_EQ(out.str(), "2 1 2 1 \n2 2 2 2 \n1 3 1 1 \n");
}

TEST(Haplotypes, HapOfIdenticalTipsIsOneLineWithTheChromosomeCount) {
  setSmallRun(4, 2, 1);
  std::ostringstream out;
  haplosave3(tipsTree({{1, 2}, {1, 2}, {1, 2}, {1, 2}}), out);
  EXPECT_EQ(out.str(), "4 1 2 \n");
}

TEST(Haplotypes, HapReportsEveryDistinctHaplotypeBeyondAThousand) {
  setSmallRun(1200, 2, 1);
  std::vector<std::vector<double>> alleles;
  for (int t = 0; t < 1200; t++)
    alleles.push_back({double(t / 40 + 1), double(t % 40 + 1)});
  alleles.push_back({1, 1});
  std::ostringstream out;
  haplosave3(tipsTree(alleles), out);
  const auto l = lines(out.str());
  ASSERT_EQ(l.size(), 1200u);
  EXPECT_EQ(l[0], "2 1 1 ");
  EXPECT_EQ(l[1], "1 1 2 ");
  EXPECT_EQ(l[1199], "1 30 40 ");
}

TEST(Haplotypes, GenotypeKeysSpanBothAlleleBlocks) {
  setSmallRun(2, 2, 1);
  TOTLOCI = 4;
  std::ostringstream out;
  haplosave3(tipsTree({{1, 2, 2, 1}, {1, 2, 1, 1}}), out);
  EXPECT_EQ(out.str(), "1 1 2 2 1 \n1 1 2 1 1 \n");
}

TEST(Haplotypes, HpfPoolsEveryCallAndWritesOnlyOnTheFinalOne) {
  setSmallRun(3, 2, 1);
  freshHapstate();
  std::ostringstream out;
  haplosave1(tipsTree({{1, 1}, {2, 2}, {2, 2}}), out, 0);
  haplosave1(tipsTree({{1, 1}, {1, 1}, {3, -1}}), out, 0);
  EXPECT_EQ(out.str(), "");
  // The final call tallies its own tree too: 1 1 x4, 2 2 x2, 3 1 x3.
  haplosave1(tipsTree({{1, 1}, {3, 1}, {3, 1}}), out, 1);
  EXPECT_EQ(out.str(), "0.444444 1 1 \n0.333333 3 1 \n0.222222 2 2 \n");
}

TEST(Haplotypes, HpfTiesKeepTheOrderOfFirstSighting) {
  setSmallRun(4, 2, 1);
  freshHapstate();
  std::ostringstream out;
  haplosave1(tipsTree({{2, 2}, {1, 1}, {1, 1}, {2, 2}}), out, 1);
  EXPECT_EQ(out.str(), "0.5 2 2 \n0.5 1 1 \n");
}

TEST(Haplotypes, FullHpfTableTalliesNoFurtherTips) {
  setSmallRun(maxTalliedHaplotypes, 2, 1);
  freshHapstate();
  std::vector<std::vector<double>> alleles;
  for (int t = 0; t < maxTalliedHaplotypes - 1; t++)
    alleles.push_back({double(t / 100 + 1), double(t % 100 + 1)});
  std::ostringstream out;
  haplosave1(tipsTree(alleles), out, 0);
  // One more row fills the table in this call; the tips after it, a stored
  // key among them, are not counted.
  haplosave1(tipsTree({{50, 50}, {1, 1}, {77, 77}}), out, 0);
  haplosave1(tipsTree({{1, 1}, {50, 50}}), out, 1);
  const auto l = lines(out.str());
  ASSERT_EQ(l.size(), static_cast<size_t>(maxTalliedHaplotypes));
  EXPECT_EQ(l[0], "0.001 1 1 ");
  EXPECT_EQ(l.back(), "0.001 50 50 ");
}
