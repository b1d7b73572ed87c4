// Population tables built from normal-population haplotypes, and the segment
// look-ups over tree rows.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "likelihood.h"
#include "testkit.h"

namespace {

// A run with the given allele counts per locus and normal haplotypes, every
// chain's tables pre-filled with values the build must replace, then built
// with the haplotypes as the chain's own list and as the count list.
void prepare(const std::vector<int> &alleles, const std::vector<Haplotype> &haps, int count) {
  const int loci = static_cast<int>(alleles.size());
  setSmallRun(2, loci, count);
  maxall = alleles;
  maxAllele = 0;
  for (int a : alleles)
    maxAllele = std::max(maxAllele, a);
  for (Chain &c : chains) {
    c.normalHaps = haps;
    c.popHapFreqs.assign(maxAllele + 1, std::vector<double>(loci, 9.0));
    c.MP1.assign(3, Table(1, std::vector<double>(1, 9.0)));
    buildPopulationTables(c, haps);
  }
}

TEST(PopulationTables, CountsNormalisesAndSmoothsTransitionRows) {
  prepare({2, 4}, {{1, 1}, {1, 1}, {1, 1}, {1, 2}, {2, -1}, {-2, 3}}, 1);
  const TransTable &trans = chains[0].MP1;
  ASSERT_EQ(trans.size(), 1u);
  ASSERT_EQ(trans[0].size(), 2u);
  ASSERT_EQ(trans[0][0].size(), 4u);
  // Counts 3, 1, 0, 0.
  EXPECT_DOUBLE_EQ(trans[0][0][0], 0.75 * 0.999);
  EXPECT_DOUBLE_EQ(trans[0][0][1], 0.25 * 0.999);
  EXPECT_DOUBLE_EQ(trans[0][0][2], 0.0005);
  EXPECT_DOUBLE_EQ(trans[0][0][3], 0.0005);
  // Allele 2 is only ever followed by missing alleles: a uniform row.
  for (int b = 0; b < 4; b++)
    EXPECT_EQ(trans[0][1][b], 0.25);
}

TEST(PopulationTables, FirstLocusAndPropagation) {
  prepare({2, 4}, {{1, 1}, {1, 1}, {1, 1}, {1, 2}, {2, -1}, {-2, 3}}, 1);
  const Table &f = chains[0].popHapFreqs;
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
  const TransTable &trans = chains[0].MP1;
  EXPECT_TRUE(trans.empty());
  const Table &f = chains[0].popHapFreqs;
  EXPECT_DOUBLE_EQ(f[1][0], 0.75 * 0.999);
  EXPECT_DOUBLE_EQ(f[2][0], 0.25 * 0.999);
  EXPECT_DOUBLE_EQ(f[3][0], 0.001);

  // With one locus every look-up is the single frequency.
  TreeMatrix t = makeTree({{0, -1, -1, -1, 0, 0, 0, -2}});
  double out[1];
  for (int algorithm = 0; algorithm < 4; algorithm++) {
    out[0] = -1;
    if (algorithm == 0)
      rightLookUps(t[0].data(), out, f);
    else if (algorithm == 1)
      leftLookUps(t[0].data(), out, f);
    else if (algorithm == 2)
      rightLookUps(t[0].data(), out, trans, f);
    else
      leftLookUps(t[0].data(), out, trans, f);
    EXPECT_EQ(out[0], f[2][0]);
  }
  const int hap[] = {3};
  LikelihoodMemo memo;
  EXPECT_EQ(probhap2(f, trans, hap, memo), std::log(f[3][0]));
}

TEST(PopulationTables, ChainsWithTheSameHaplotypesGetTheSameTables) {
  prepare({2, 2, 3}, {{1, 2, 3}, {2, 2, 1}, {1, 1, 1}, {1, 2, 3}}, 3);
  for (int ch = 1; ch < 3; ch++) {
    EXPECT_EQ(chains[ch].MP1, chains[0].MP1);
    EXPECT_EQ(chains[ch].popHapFreqs, chains[0].popHapFreqs);
  }
  for (const Table &pair : chains[0].MP1)
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
      s += chains[0].popHapFreqs[a][k];
    EXPECT_NEAR(s, 1.0, 1e-12);
  }
}

TEST(PopulationTables, TransitionsFromTheCountListFirstLocusFromTheChainsOwnList) {
  // The chain's own list has allele 2 at the first locus three times in
  // four; in the count list allele 1 is never followed by allele 2.
  prepare({2, 2}, {{1, 1}, {1, 1}, {2, 2}, {2, 1}}, 1);
  Chain &c = chains[0];
  c.normalHaps = {{2, 1}, {2, 2}, {1, 1}, {-2, 2}};
  buildPopulationTables(c, {{1, 1}, {1, 1}, {2, 2}, {2, 1}});
  EXPECT_DOUBLE_EQ(c.MP1[0][0][0], 0.999);
  EXPECT_DOUBLE_EQ(c.MP1[0][0][1], 0.001);
  EXPECT_DOUBLE_EQ(c.MP1[0][1][0], 0.5);
  EXPECT_DOUBLE_EQ(c.MP1[0][1][1], 0.5);
  EXPECT_DOUBLE_EQ(c.popHapFreqs[1][0], 0.25);
  EXPECT_DOUBLE_EQ(c.popHapFreqs[2][0], 0.75);
  EXPECT_DOUBLE_EQ(c.popHapFreqs[1][1], 0.25 * 0.999 + 0.75 * 0.5);
  EXPECT_DOUBLE_EQ(c.popHapFreqs[2][1], 0.25 * 0.001 + 0.75 * 0.5);
}

TEST(PopulationTables, PropagationFollowsAChangedTransitionRow) {
  prepare({2, 2, 2}, {{1, 1, 1}, {2, 2, 2}, {1, 2, 1}}, 2);
  const Table before = chains[1].popHapFreqs;
  TransTable &trans = chains[1].MP1;
  trans[1][0] = {0.1, 0.9};
  propagateFrequencies(chains[1].popHapFreqs, trans);
  const Table &f = chains[1].popHapFreqs;
  EXPECT_EQ(f[1][0], before[1][0]);
  EXPECT_EQ(f[1][1], before[1][1]);
  EXPECT_EQ(f[2][1], before[2][1]);
  EXPECT_DOUBLE_EQ(f[1][2], f[1][1] * 0.1 + f[2][1] * trans[1][1][0]);
  EXPECT_DOUBLE_EQ(f[2][2], f[1][1] * 0.9 + f[2][1] * trans[1][1][1]);
  EXPECT_EQ(chains[0].popHapFreqs, before);
}

// The look-ups through the listed rows give every product of the nested ones,
// for tables of differing widths (a wrong row or column lands on another
// entry) and after the tables change and the rows are listed again.
TEST(PopulationTables, ListedRowsGiveTheNestedLookups) {
  prepare({2, 3, 4, 2}, {{1, 3, 4, 2}, {2, 1, 1, 1}, {1, 2, 3, 2}, {2, 3, 2, 1}}, 1);
  Chain &c = chains[0];
  TransitionRows list;
  const std::vector<TreeRow> rows = {makeTree({{0, -1, -1, -1, 0, 0, 0, 2, -3, 4, 1}})[0],
                                     makeTree({{0, -1, -1, -1, 0, 0, 0, -1, 2, 1, -2}})[0]};
  for (int change = 0; change < 2; change++) {
    listTransitionRows(list, c.MP1);
    for (const TreeRow &row : rows)
      for (int cut = 0; cut < 4; cut++) {
        std::vector<double> nested(4, -1.0), listed(4, -1.0);
        rightLookUps(row.data(), nested.data(), c.MP1, c.popHapFreqs, cut);
        rightLookUps(row.data(), listed.data(), list, c.popHapFreqs, cut);
        EXPECT_EQ(listed, nested) << "right from " << cut;
        leftLookUps(row.data(), nested.data(), c.MP1, c.popHapFreqs, cut);
        leftLookUps(row.data(), listed.data(), list, c.popHapFreqs, cut);
        EXPECT_EQ(listed, nested) << "left to " << cut;
      }
    c.MP1[1][2] = {0.125, 0.25, 0.0625, 0.5625};
    c.MP1[2][3] = {0.375, 0.625};
  }
}

// The look-ups of both sides of a cut taken together give each side's entries
// as its own look-up gives them, bit for bit, at every cut (none on one side
// at the ends), and leave the rest of out as it was: under independent
// frequencies and the Markov model through nested and listed tables.
TEST(PopulationTables, BothSidesTogetherGiveEachSidesLookup) {
  prepare({2, 3, 4, 2, 3}, {{1, 3, 4, 2, 1}, {2, 1, 1, 1, 3}, {1, 2, 3, 2, 2}, {2, 3, 2, 1, 1}}, 1);
  const Chain &c = chains[0];
  TransitionRows list;
  listTransitionRows(list, c.MP1);
  const Table &f = c.popHapFreqs;
  const TreeRow row = makeTree({{0, -1, -1, -1, 0, 0, 0, 2, -3, 4, 1, -3}})[0];
  const double *cells = row.data();
  using Fill = std::function<void(double *, int)>;
  struct Kind {
    const char *name;
    Fill both, left, right;
  };
  const std::vector<Kind> kinds = {
      {"independent", [&](double *o, int s) { sideLookUps(cells, o, f, s); },
       [&](double *o, int upTo) { leftLookUps(cells, o, f, upTo); },
       [&](double *o, int from) { rightLookUps(cells, o, f, from); }},
      {"nested", [&](double *o, int s) { sideLookUps(cells, o, c.MP1, f, s); },
       [&](double *o, int upTo) { leftLookUps(cells, o, c.MP1, f, upTo); },
       [&](double *o, int from) { rightLookUps(cells, o, c.MP1, f, from); }},
      {"listed", [&](double *o, int s) { sideLookUps(cells, o, list, f, s); },
       [&](double *o, int upTo) { leftLookUps(cells, o, list, f, upTo); },
       [&](double *o, int from) { rightLookUps(cells, o, list, f, from); }}};
  for (const Kind &kind : kinds)
    for (int split = 0; split <= 5; split++) {
      // Guards on both ends catch a write outside the five entries.
      std::vector<double> both(7, -1.0), expected(7, -1.0);
      kind.both(both.data() + 1, split);
      if (split > 0)
        kind.left(expected.data() + 1, split - 1);
      if (split < 5)
        kind.right(expected.data() + 1, split);
      EXPECT_EQ(both, expected) << kind.name << " split " << split;
    }
}

// After one allele of a row changes, the look-ups taken again from those of
// the row before give the changed row's look-ups bit for bit, at every cut
// and every locus (a locus at either end restarts its side's product from the
// frequency), and write nothing outside the row's entries. An imputed allele
// (stored negative) counts as its absolute value.
TEST(PopulationTables, LookUpsRedoneFromAChangedAlleleMatchFreshOnes) {
  prepare({2, 3, 4, 2, 3}, {{1, 3, 4, 2, 1}, {2, 1, 1, 1, 3}, {1, 2, 3, 2, 2}, {2, 3, 2, 1, 1}}, 1);
  const Chain &c = chains[0];
  const Table &f = c.popHapFreqs;
  const TreeRow before = makeTree({{0, -1, -1, -1, 0, 0, 0, 2, -3, 4, 1, -3}})[0];
  struct Kind {
    const char *name;
    std::function<void(const double *, double *, int)> fresh;
    std::function<void(const double *, double *, int, int)> redo;
  };
  const std::vector<Kind> kinds = {
      {"independent", [&](const double *r, double *o, int s) { sideLookUps(r, o, f, s); },
       [&](const double *r, double *o, int s, int k) { redoLookUps(r, o, f, s, k); }},
      {"markov", [&](const double *r, double *o, int s) { sideLookUps(r, o, c.MP1, f, s); },
       [&](const double *r, double *o, int s, int k) { redoLookUps(r, o, c.MP1, f, s, k); }}};
  for (const Kind &kind : kinds)
    for (int split = 0; split <= 5; split++)
      for (int k = 0; k < 5; k++)
        for (const double allele : {1.0, -2.0}) {
          TreeRow after = before;
          after[TMAT + k] = std::fabs(before[TMAT + k]) == std::fabs(allele) ? -allele : allele;
          std::vector<double> redone(7, -1.0), expected(7, -1.0);
          kind.fresh(before.data(), redone.data() + 1, split);
          kind.redo(after.data(), redone.data() + 1, split, k);
          kind.fresh(after.data(), expected.data() + 1, split);
          EXPECT_EQ(redone, expected)
              << kind.name << " split " << split << " locus " << k << " allele " << allele;
        }
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
  LikelihoodMemo memo;
};

TEST_F(Lookups, IndependentProducts) {
  rightLookUps(row.data(), out.data(), freqs);
  EXPECT_EQ(out[2], 0.595);
  EXPECT_EQ(out[1], 0.595 * 0.62);
  EXPECT_EQ(out[0], 0.595 * 0.62 * 0.4);
  leftLookUps(row.data(), out.data(), freqs);
  EXPECT_EQ(out[0], 0.4);
  EXPECT_EQ(out[1], 0.4 * 0.62);
  EXPECT_EQ(out[2], 0.4 * 0.62 * 0.595);
}

TEST_F(Lookups, MarkovProducts) {
  leftLookUps(row.data(), out.data(), trans, freqs);
  EXPECT_EQ(out[0], 0.4);
  EXPECT_EQ(out[1], 0.4 * 0.2);
  EXPECT_EQ(out[2], 0.4 * 0.2 * 0.5);
  // The right segments start from the last locus and use the same forward
  // transition entries.
  rightLookUps(row.data(), out.data(), trans, freqs);
  EXPECT_EQ(out[2], 0.595);
  EXPECT_EQ(out[1], 0.595 * 0.5);
  EXPECT_EQ(out[0], 0.595 * 0.5 * 0.2);
}

TEST_F(Lookups, WholeHaplotypeProbability) {
  const int hap[] = {-2, 1, 2};
  EXPECT_DOUBLE_EQ(probhap2(freqs, trans, hap, memo),
                   std::log(0.4) + std::log(0.2) + std::log(0.5));
  leftLookUps(row.data(), out.data(), trans, freqs);
  EXPECT_DOUBLE_EQ(std::exp(probhap2(freqs, trans, hap, memo)), out[2]);
  trans[1][0][1] = 0.0;
  EXPECT_EQ(probhap2(freqs, trans, hap, memo), -INFINITY);
}

} // namespace

// Two sequences scored side by side from the table's logs taken beforehand
// get the numbers each gets alone through the remembered logs, with imputed
// (-a) alleles read by magnitude, also after the tables changed and the logs
// were taken again.
TEST(PopulationTables, AllelePairsScoreAsEachAlone) {
  LikelihoodMemo memo;
  prepare({2, 4, 3}, {{1, 1, 2}, {1, 2, 3}, {2, -1, 1}, {-2, 3, 2}}, 1);
  Chain &chain = chains[0];
  const std::vector<std::vector<double>> sequences = {
      {1, 2, 3}, {-2, 4, 1}, {2, -3, -3}, {1, 1, 1}};
  std::vector<double> logs;
  for (int round = 0; round < 2; round++) {
    frequencyLogs(chain.popHapFreqs, memo, logs);
    for (const auto &a : sequences)
      for (const auto &b : sequences) {
        double first = 0, second = 0;
        allelesLogProbPair(logs, a.data(), b.data(), first, second);
        EXPECT_EQ(first, allelesLogProb(chain.popHapFreqs, a.data(), memo));
        EXPECT_EQ(second, allelesLogProb(chain.popHapFreqs, b.data(), memo));
        EXPECT_EQ(allelesLogProb(logs, a.data()), first);
        EXPECT_NEAR(first,
                    std::log(chain.popHapFreqs[static_cast<int>(std::fabs(a[0]))][0]) +
                        std::log(chain.popHapFreqs[static_cast<int>(std::fabs(a[1]))][1]) +
                        std::log(chain.popHapFreqs[static_cast<int>(std::fabs(a[2]))][2]),
                    1e-12);
      }
    chain.popHapFreqs[1][1] = 0.05;
    chain.popHapFreqs[3][2] = 0.7;
  }
}
