// Population tables built from normal-population haplotypes, and the segment
// look-ups over tree rows.
#include <gtest/gtest.h>

#include <cmath>

#include "likelihood.h"
#include "testkit.h"

namespace {

// A run with the given allele counts per locus and normal haplotypes, every
// chain's frequency table pre-filled with a value the build must overwrite.
void prepare(const std::vector<int> &alleles, const std::vector<Haplotype> &haps, int chains) {
  const int loci = static_cast<int>(alleles.size());
  setSmallRun(2, loci, chains);
  maxall = alleles;
  maxAllele = 0;
  for (int a : alleles)
    maxAllele = std::max(maxAllele, a);
  normalHaps.assign(chains, haps);
  pset.popHapFreqs.assign(chains, Table(maxAllele + 1, std::vector<double>(loci, 9.0)));
  MP1.clear();
  answer.clear();
}

TEST(PopulationTables, CountsNormalisesAndSmoothsTransitionRows) {
  prepare({2, 4}, {{1, 1}, {1, 1}, {1, 1}, {1, 2}, {2, -1}, {-2, 3}}, 1);
  buildPopulationTables();
  ASSERT_EQ(MP1.size(), 1u);
  ASSERT_EQ(MP1[0].size(), 1u);
  ASSERT_EQ(MP1[0][0].size(), 2u);
  ASSERT_EQ(MP1[0][0][0].size(), 4u);
  // Counts 3, 1, 0, 0.
  EXPECT_DOUBLE_EQ(MP1[0][0][0][0], 0.75 * 0.999);
  EXPECT_DOUBLE_EQ(MP1[0][0][0][1], 0.25 * 0.999);
  EXPECT_DOUBLE_EQ(MP1[0][0][0][2], 0.0005);
  EXPECT_DOUBLE_EQ(MP1[0][0][0][3], 0.0005);
  // Allele 2 is only ever followed by missing alleles: a uniform row.
  for (int b = 0; b < 4; b++)
    EXPECT_EQ(MP1[0][0][1][b], 0.25);
  EXPECT_EQ(answer.size(), 2u);
}

TEST(PopulationTables, FirstLocusAndPropagation) {
  prepare({2, 4}, {{1, 1}, {1, 1}, {1, 1}, {1, 2}, {2, -1}, {-2, 3}}, 1);
  buildPopulationTables();
  const Table &f = pset.popHapFreqs[0];
  // The missing -2 counts as allele 2: 4 and 2 of 6, no zero to smooth.
  EXPECT_EQ(f[1][0], 4.0 / 6);
  EXPECT_EQ(f[2][0], 2.0 / 6);
  const double f1 = 4.0 / 6, f2 = 2.0 / 6;
  EXPECT_DOUBLE_EQ(f[1][1], f1 * (0.75 * 0.999) + f2 * 0.25);
  EXPECT_DOUBLE_EQ(f[2][1], f1 * (0.25 * 0.999) + f2 * 0.25);
  EXPECT_DOUBLE_EQ(f[3][1], f1 * 0.0005 + f2 * 0.25);
  EXPECT_DOUBLE_EQ(f[4][1], f1 * 0.0005 + f2 * 0.25);
  EXPECT_NEAR(f[1][1] + f[2][1] + f[3][1] + f[4][1], 1.0, 1e-12);
  // Label 0, and labels above a locus's allele count, stay at 0.
  EXPECT_EQ(f[0][0], 0.0);
  EXPECT_EQ(f[0][1], 0.0);
  EXPECT_EQ(f[3][0], 0.0);
  EXPECT_EQ(f[4][0], 0.0);
}

TEST(PopulationTables, FirstLocusSmoothingAndSingleLocus) {
  prepare({3}, {{1}, {1}, {2}, {1}}, 1);
  buildPopulationTables();
  EXPECT_TRUE(MP1[0].empty());
  const Table &f = pset.popHapFreqs[0];
  EXPECT_DOUBLE_EQ(f[1][0], 0.75 * 0.999);
  EXPECT_DOUBLE_EQ(f[2][0], 0.25 * 0.999);
  EXPECT_DOUBLE_EQ(f[3][0], 0.001);

  // With one locus every look-up is the single frequency.
  TreeMatrix t = makeTree({{0, -1, -1, -1, 0, 0, 0, -2}});
  for (int algorithm = 0; algorithm < 4; algorithm++) {
    answer[0] = -1;
    if (algorithm == 0)
      allfreqright(t[0].data(), 0, answer.data(), f);
    else if (algorithm == 1)
      allfreqleft(t[0].data(), 0, answer.data(), f);
    else if (algorithm == 2)
      hapfreqcountsright(t[0].data(), answer.data(), MP1[0], f);
    else
      hapfreqcountsleft(t[0].data(), answer.data(), MP1[0], f);
    EXPECT_EQ(answer[0], f[2][0]);
  }
  const int hap[] = {3};
  EXPECT_EQ(probhap2(f, MP1[0], hap), std::log(f[3][0]));
}

TEST(PopulationTables, EveryChainGetsTheSameTables) {
  prepare({2, 2, 3}, {{1, 2, 3}, {2, 2, 1}, {1, 1, 1}, {1, 2, 3}}, 3);
  buildPopulationTables();
  ASSERT_EQ(MP1.size(), 3u);
  for (int ch = 1; ch < 3; ch++) {
    EXPECT_EQ(MP1[ch], MP1[0]);
    EXPECT_EQ(pset.popHapFreqs[ch], pset.popHapFreqs[0]);
  }
  for (const Table &pair : MP1[0])
    for (const std::vector<double> &row : pair) {
      double s = 0;
      for (double c : row)
        s += c;
      EXPECT_NEAR(s, 1.0, 1e-12);
    }
  // Each column holds a distribution over the locus's alleles.
  for (int k = 0; k < 3; k++) {
    double s = 0;
    for (int a = 1; a <= maxall[k]; a++)
      s += pset.popHapFreqs[0][a][k];
    EXPECT_NEAR(s, 1.0, 1e-12);
  }
}

TEST(PopulationTables, PropagationFollowsAChangedTransitionRow) {
  prepare({2, 2, 2}, {{1, 1, 1}, {2, 2, 2}, {1, 2, 1}}, 2);
  buildPopulationTables();
  const Table before = pset.popHapFreqs[1];
  MP1[1][1][0] = {0.1, 0.9};
  propagateFrequencies(1);
  const Table &f = pset.popHapFreqs[1];
  EXPECT_EQ(f[1][0], before[1][0]);
  EXPECT_EQ(f[1][1], before[1][1]);
  EXPECT_EQ(f[2][1], before[2][1]);
  EXPECT_DOUBLE_EQ(f[1][2], f[1][1] * 0.1 + f[2][1] * MP1[1][1][1][0]);
  EXPECT_DOUBLE_EQ(f[2][2], f[1][1] * 0.9 + f[2][1] * MP1[1][1][1][1]);
  EXPECT_EQ(pset.popHapFreqs[0], before);
}

// Hand-set three-locus tables for the look-ups.
class Lookups : public ::testing::Test {
protected:
  void SetUp() override {
    setSmallRun(1, 3);
    freqs = Table(3, std::vector<double>(3, 0.0));
    const double cols[3][2] = {{0.6, 0.4}, {0.62, 0.38}, {0.405, 0.595}};
    for (int k = 0; k < 3; k++)
      for (int a = 1; a <= 2; a++)
        freqs[a][k] = cols[k][a - 1];
    trans = {{{0.9, 0.1}, {0.2, 0.8}}, {{0.5, 0.5}, {0.25, 0.75}}};
    // Haplotype 2 1 2, its middle allele missing and imputed as 1.
    row = makeTree({{0, -1, -1, -1, 0, 0, 0, 2, -1, 2}})[0];
    out.assign(3, -7.0);
  }
  Table freqs;
  TransTable trans;
  TreeRow row;
  std::vector<double> out;
};

TEST_F(Lookups, IndependentProducts) {
  allfreqright(row.data(), 0, out.data(), freqs);
  EXPECT_EQ(out[2], 0.595);
  EXPECT_EQ(out[1], 0.595 * 0.62);
  EXPECT_EQ(out[0], 0.595 * 0.62 * 0.4);
  allfreqleft(row.data(), 0, out.data(), freqs);
  EXPECT_EQ(out[0], 0.4);
  EXPECT_EQ(out[1], 0.4 * 0.62);
  EXPECT_EQ(out[2], 0.4 * 0.62 * 0.595);
}

TEST_F(Lookups, MarkovProducts) {
  hapfreqcountsleft(row.data(), out.data(), trans, freqs);
  EXPECT_EQ(out[0], 0.4);
  EXPECT_EQ(out[1], 0.4 * 0.2);
  EXPECT_EQ(out[2], 0.4 * 0.2 * 0.5);
  // The right segments start from the last locus and use the same forward
  // transition entries.
  hapfreqcountsright(row.data(), out.data(), trans, freqs);
  EXPECT_EQ(out[2], 0.595);
  EXPECT_EQ(out[1], 0.595 * 0.5);
  EXPECT_EQ(out[0], 0.595 * 0.5 * 0.2);
}

TEST_F(Lookups, WholeHaplotypeProbability) {
  const int hap[] = {-2, 1, 2};
  EXPECT_DOUBLE_EQ(probhap2(freqs, trans, hap), std::log(0.4) + std::log(0.2) + std::log(0.5));
  hapfreqcountsleft(row.data(), out.data(), trans, freqs);
  EXPECT_DOUBLE_EQ(std::exp(probhap2(freqs, trans, hap)), out[2]);
  trans[1][0][1] = 0.0;
  EXPECT_EQ(probhap2(freqs, trans, hap), -INFINITY);
}

} // namespace
