// The likelihood remembers exponentials and logarithms from one evaluation to
// the next. Whatever changed in between (a branch length, the map, the
// location, a table entry, the genealogy or the table evaluated), a term must
// be the hand-worked value for the inputs of the moment.
#include <gtest/gtest.h>

#include <cmath>

#include "likelihood.h"
#include "testkit.h"

namespace {

using std::exp;
using std::log;

// Two leaves, two markers at 0 and d2, independent loci; the root carries the
// ancestral haplotype 1 1.
class Remembered : public ::testing::Test {
  LikelihoodMemo memo;

protected:
  void SetUp() override {
    setSmallRun(2, 2);
    pset.mapDist = {0, 0, 1};
    Table f(3, std::vector<double>(2, 0.0));
    f[1] = {0.6, 0.3};
    f[2] = {0.4, 0.7};
    chains[0].popHapFreqs = f;
    chains[0].MP1 = {{{0.5, 0.5}, {0.5, 0.5}}};
    maxall = {2, 2};
    pset.algSwitch = 0.0;
    root = {1, 1};
    tree = makeTree({{0, 1, 2, -1, 1, 0.5, 0, 1, 1},
                     {1, -1, -1, 0, 0, 1, 0, 1, 2},
                     {2, -1, -1, 0, 0, 1, 0, 2, 1}});
  }

  // The root's term for branch t, mutation at x in (0, d2]: marker 1 on the
  // left, marker 2 on the right, both equal to the ancestral alleles.
  static double rootTerm(double t, double x, double d2) {
    const double left = exp(-x * t) + (1 - exp(-x * t)) * 0.6;
    const double right = (1 - exp(-(d2 - x) * t)) * 0.3 + exp(x * t) * exp(-d2 * t);
    return log(left * right);
  }

  // The same for x beyond d2, both markers on the left: the crossover before
  // marker 1, between the markers, or between marker 2 and the mutation.
  static double rootTermAllLeft(double t, double x, double d2) {
    return log(exp(-x * t) + exp(-x * t) * (exp(d2 * t) - 1) * 0.6 +
               (1 - exp(-(x - d2) * t)) * 0.6 * 0.3);
  }

  // The root's term as the chain's likelihood gives it, with everything the
  // memo holds from the evaluations before.
  double rootNow(double x) {
    chainTprob(chains[0], memo, tree, x, root);
    return tree[0][nodeLogLik];
  }

  Haplotype root;
  TreeMatrix tree;
};

TEST_F(Remembered, ANewBranchLengthMapOrLocationGivesItsOwnTerm) {
  EXPECT_NEAR(rootNow(0.5), rootTerm(0.5, 0.5, 1), 1e-13);
  tree[0][branchLength] = 0.8;
  EXPECT_NEAR(rootNow(0.5), rootTerm(0.8, 0.5, 1), 1e-13);
  // Same branch length, another map.
  pset.mapDist = {0, 0, 2};
  EXPECT_NEAR(rootNow(0.5), rootTerm(0.8, 0.5, 2), 1e-13);
  // A location and a proposal taking turns, then a third location.
  for (int turn = 0; turn < 3; turn++) {
    EXPECT_NEAR(rootNow(0.25), rootTerm(0.8, 0.25, 2), 1e-13);
    EXPECT_NEAR(rootNow(0.5), rootTerm(0.8, 0.5, 2), 1e-13);
  }
  EXPECT_NEAR(rootNow(1.5), rootTerm(0.8, 1.5, 2), 1e-13);
  // Back to the first branch length.
  tree[0][branchLength] = 0.5;
  EXPECT_NEAR(rootNow(1.5), rootTerm(0.5, 1.5, 2), 1e-13);
  // The same location on a map that puts both markers left of it.
  pset.mapDist = {0, 0, 1};
  EXPECT_NEAR(rootNow(1.5), rootTermAllLeft(0.5, 1.5, 1), 1e-13);
}

TEST_F(Remembered, GenealogiesSharingRowNumbersKeepTheirOwnTerms) {
  LikelihoodMemo memo;
  // More genealogies than a row keeps branch lengths for, evaluated in turn.
  const std::vector<double> branches = {0.5, 0.9, 1.3, 0.2, 2.0, 0.7};
  std::vector<TreeMatrix> trees(branches.size(), tree);
  for (size_t g = 0; g < branches.size(); g++)
    trees[g][0][branchLength] = branches[g];
  for (int round = 0; round < 3; round++)
    for (size_t g = 0; g < trees.size(); g++) {
      chainTprob(chains[0], memo, trees[g], 0.5, root, 0, 1);
      EXPECT_NEAR(trees[g][0][nodeLogLik], rootTerm(branches[g], 0.5, 1), 1e-13);
    }
}

TEST_F(Remembered, EqualTermsForEqualInputs) {
  // A term taken with remembered values is the very same number.
  const double first = rootNow(0.5);
  rootNow(0.25);
  EXPECT_EQ(rootNow(0.5), first);
}

// probhap2 and allelesLogProb against logs taken in the test.
TEST(RememberedLogs, ChangedEntriesAndTablesGiveTheirOwnLogs) {
  setSmallRun(2, 3);
  maxAllele = 2;
  Table freqs(3, std::vector<double>(3, 0.0));
  freqs[1] = {0.6, 0.62, 0.405};
  freqs[2] = {0.4, 0.38, 0.595};
  TransTable trans = {{{0.9, 0.1}, {0.2, 0.8}}, {{0.5, 0.5}, {0.25, 0.75}}};
  const int hap[] = {-2, 1, 2};
  const double alleles[] = {2, -1, 2};
  LikelihoodMemo memo;
  const auto markov = [&] {
    return log(freqs[2][0]) + 0.0 + log(trans[0][1][0]) + log(trans[1][0][1]);
  };
  const auto independent = [&] { return log(freqs[2][0]) + log(freqs[1][1]) + log(freqs[2][2]); };
  EXPECT_EQ(probhap2(freqs, trans, hap, memo), markov());
  EXPECT_EQ(allelesLogProb(freqs, alleles, memo), independent());
  trans[1][0][1] = 0.3;
  freqs[2][0] = 0.45;
  freqs[1][1] = 0.5;
  EXPECT_EQ(probhap2(freqs, trans, hap, memo), markov());
  EXPECT_EQ(allelesLogProb(freqs, alleles, memo), independent());
  // Another shape in the same table objects: three alleles at locus 1.
  trans = {{{0.1, 0.2, 0.7}, {0.3, 0.3, 0.4}}, {{0.5, 0.5}, {0.9, 0.1}, {0.6, 0.4}}};
  EXPECT_EQ(probhap2(freqs, trans, hap, memo), markov());
  // A zero entry gives minus infinity, and a later non-zero value its log.
  trans[0][1][0] = 0.0;
  EXPECT_EQ(probhap2(freqs, trans, hap, memo), -INFINITY);
  trans[0][1][0] = 0.25;
  EXPECT_EQ(probhap2(freqs, trans, hap, memo), markov());
}

} // namespace
