// Random starting genealogies: the tree's structure, the node ages, the
// ancestral haplotype draw, the mutation location used for the states, the
// node states and the number of uniform draws consumed.
#include <gtest/gtest.h>

#include <cmath>

#include "genealogy.h"
#include "random.h"
#include "testkit.h"

namespace {

// A matrix of 2n - 1 rows with the values every matrix has before generation.
TreeMatrix freshRows() {
  TreeMatrix tree(2 * pset.numChromosomes - 1, TreeRow(TMAT + TOTLOCI, -1.0));
  for (TreeRow &row : tree) {
    row[nodeTime] = 0.0;
    row[nodeLogLik] = 0.0;
  }
  return tree;
}

// Chain ch's genealogy generated into fresh rows from rng, which is left
// after the generation's last draw.
TreeMatrix generated(Rng &rng, int ch = 0) {
  chains[ch].tree = freshRows();
  generatetree(rng, chains[ch]);
  return chains[ch].tree;
}

// Haplotype run of n chromosomes, L loci one map unit 0.01 apart, two
// alleles of frequency 0.5 everywhere, ancestral haplotype all 1s.
void smallGeneration(int n, int L, int chainCount = 1) {
  setSmallRun(n, L, chainCount);
  maxall.assign(L, 2);
  for (Chain &chain : chains) {
    chain.popHapFreqs = Table{std::vector<double>(L, 0.0), std::vector<double>(L, 0.5),
                              std::vector<double>(L, 0.5)};
    chain.mutAge = 50.0;
  }
  for (ChainSettings &own : chainSettings) {
    own.rootLoci = Haplotype(L, 1);
    own.mutLocStart = 0.005;
  }
  pset.growthRate = 0.5;
  pset.propSampled = 0.1;
  pset.iterAncestral = 1;
  for (int k = 1; k <= L; k++)
    pset.mapDist[k] = 0.01 * (k - 1);
}

// The value of draw number count + 1 of a fresh stream started from seed.
double drawAfter(Seed seed, int count) {
  Rng rng = streamFrom(seed);
  for (int i = 0; i < count; i++)
    ran1(rng);
  return ran1(rng);
}

int label(double v) {
  return static_cast<int>(v);
}

} // namespace

TEST(PopulationAllele, TakesTheFirstLabelWhoseRunningSumReachesTheDraw) {
  smallGeneration(2, 1);
  maxall = {3};
  Table freqs = {{0.0}, {0.2}, {0.3}, {0.5}};
  EXPECT_EQ(populationAllele(0.1, freqs, 0), 1);
  EXPECT_EQ(populationAllele(0.2, freqs, 0), 1);
  EXPECT_EQ(populationAllele(0.2000001, freqs, 0), 2);
  EXPECT_EQ(populationAllele(0.99, freqs, 0), 3);
  freqs[3][0] = 0.4;
  EXPECT_EQ(populationAllele(0.95, freqs, 0), 0);
}

TEST(GenerateTree, BuildsALabelledBinaryTreeWithAgesBelowTheMutationAge) {
  smallGeneration(7, 3);
  Rng rng = streamFrom(-11);
  const TreeMatrix tree = generated(rng);
  const int n = 7, rows = 13;
  const double T = chains[0].mutAge;
  int leaves = 0;
  EXPECT_EQ(tree[0][parent], -1);
  for (int i = 0; i < rows; i++) {
    const TreeRow &row = tree[i];
    EXPECT_EQ(row[nodeLabel], i);
    if (row[child1] == -1) {
      leaves++;
      EXPECT_EQ(row[child2], -1);
      EXPECT_EQ(row[nodeTime], 0.0);
    } else {
      const int c = label(row[child1]);
      EXPECT_EQ(c % 2, 1) << "children sit on a pair (2j + 1, 2j + 2)";
      EXPECT_EQ(label(row[child2]), c + 1);
      EXPECT_GT(c, i);
      EXPECT_EQ(label(tree[c][parent]), i);
      EXPECT_EQ(label(tree[c + 1][parent]), i);
      EXPECT_GT(row[nodeTime], 0.0);
      EXPECT_LE(row[nodeTime], T);
    }
    const double top = i == 0 ? T : tree[label(row[parent])][nodeTime];
    EXPECT_EQ(row[branchLength], top - row[nodeTime]);
    EXPECT_GE(row[branchLength], 0.0);
  }
  EXPECT_EQ(leaves, n);
}

TEST(GenerateTree, EachSplitTakesTheLargestAgeNotYetHandedOut) {
  smallGeneration(6, 2);
  Rng rng = streamFrom(-3);
  const TreeMatrix tree = generated(rng);
  // Round k splits the parent of labels 2k + 1 and 2k + 2; the root came first.
  double previous = tree[0][nodeTime];
  for (int k = 1; k <= 4; k++) {
    const double age = tree[label(tree[2 * k + 1][parent])][nodeTime];
    EXPECT_LT(age, previous);
    previous = age;
  }
}

TEST(GenerateTree, TwoChromosomesGiveTheRootTheSingleAgeUnderGrowth) {
  smallGeneration(2, 1);
  pset.iterAncestral = 0;
  Rng rng = streamFrom(-29);
  const TreeMatrix tree = generated(rng);
  const double u = drawAfter(-29, 0);
  const double r = 0.5, s = 0.1, T = 50.0;
  const double e = std::exp(-r * T);
  const double h = ((s / 2.0) * (1.0 - e) + r * e) / (1.0 - e);
  const double age = (std::log(h - s * u / 2.0 + r * u) - std::log(h - s * u / 2.0)) / r;
  EXPECT_EQ(tree[0][child1], 1);
  EXPECT_EQ(tree[0][child2], 2);
  EXPECT_DOUBLE_EQ(tree[0][nodeTime], age);
  EXPECT_DOUBLE_EQ(tree[0][branchLength], T - age);
  EXPECT_EQ(tree[1][branchLength], tree[0][nodeTime]);
}

TEST(GenerateTree, NoGrowthUsesTheConstantSizeAgeFormula) {
  smallGeneration(2, 1);
  pset.growthRate = 0.0;
  pset.iterAncestral = 0;
  Rng rng = streamFrom(-8);
  const TreeMatrix tree = generated(rng);
  const double u = drawAfter(-8, 0);
  EXPECT_DOUBLE_EQ(tree[0][nodeTime], u / (1.0 / 50.0 + (0.1 / 2.0) * (1.0 - u)));
}

TEST(GenerateTree, StarGenealogyPutsEveryCoalescenceJustBelowTheMutationAge) {
  smallGeneration(4, 1);
  pset.starGenealogy = 1;
  chains[0].mutAge = 100.0;
  Rng rng = streamFrom(-5);
  const TreeMatrix tree = generated(rng);
  EXPECT_DOUBLE_EQ(tree[0][nodeTime], 100.0 - 0.00001);
  EXPECT_NEAR(tree[0][branchLength], 0.00001, 1e-9);
  std::vector<double> internal;
  for (const TreeRow &row : tree)
    if (row[child1] != -1)
      internal.push_back(row[nodeTime]);
  ASSERT_EQ(internal.size(), 3u);
  // The first split node (a child of the root) is the second oldest.
  const int first = label(tree[1][child1]) != -1 ? 1 : 2;
  EXPECT_DOUBLE_EQ(tree[first][nodeTime], 100.0 - 0.00002);
}

TEST(GenerateTree, WithoutMapDistanceEveryNodeCarriesTheAncestralHaplotype) {
  // Every marker and the mutation at 0: no branch can recombine, since a
  // uniform draw never exceeds exp(0) = 1. Each internal node costs exactly
  // its two crossover draws, after the ages and the ancestral draws.
  const int n = 5, L = 3;
  smallGeneration(n, L);
  pset.mapDist.assign(L + 1, 0.0);
  chainSettings[0].mutLocStart = 0.0;
  Rng rng = streamFrom(-17);
  const TreeMatrix tree = generated(rng);
  for (const TreeRow &row : tree)
    for (int k = 0; k < L; k++)
      EXPECT_EQ(row[TMAT + k], row[child1] == -1 ? -1 : chainSettings[0].rootLoci[k]);
  const double next = ran1(rng);
  EXPECT_EQ(next, drawAfter(-17, (n - 1) + L + 2 * (n - 1)));
}

TEST(GenerateTree, MarkersBeyondTheFirstCrossoversComeFromThePopulation) {
  // Markers far from the mutation on long branches are drawn from the
  // population (allele 2 only); the marker at the mutation is inherited.
  smallGeneration(4, 3);
  pset.mapDist = {0.0, 0.0, 1e6, 2e6};
  chainSettings[0].mutLocStart = 1e6;
  pset.iterAncestral = 0;
  for (int k = 0; k < 3; k++) {
    chains[0].popHapFreqs[1][k] = 0.0;
    chains[0].popHapFreqs[2][k] = 1.0;
  }
  Rng rng = streamFrom(-2);
  const TreeMatrix tree = generated(rng);
  for (const TreeRow &row : tree) {
    if (row[child1] == -1)
      continue;
    EXPECT_EQ(row[TMAT + 0], 2);
    EXPECT_EQ(row[TMAT + 1], 1);
    EXPECT_EQ(row[TMAT + 2], 2);
  }
}

TEST(GenerateTree, TheLastChainsAncestralDrawIsKeptForEveryChain) {
  smallGeneration(3, 4, 2);
  // Chain 0 can only draw allele 1, chain 1 only allele 2.
  for (int k = 0; k < 4; k++) {
    chains[0].popHapFreqs[1][k] = 1.0;
    chains[0].popHapFreqs[2][k] = 0.0;
    chains[1].popHapFreqs[1][k] = 0.0;
    chains[1].popHapFreqs[2][k] = 1.0;
  }
  pset.mapDist.assign(5, 0.0);
  for (ChainSettings &own : chainSettings)
    own.mutLocStart = 0.0;
  Rng rng = streamFrom(-4);
  const TreeMatrix first = generated(rng);
  EXPECT_EQ(chainSettings[1].rootLoci, Haplotype(4, 1));
  const TreeMatrix second = generated(rng, 1); // the same stream goes on
  EXPECT_EQ(chainSettings[0].rootLoci, Haplotype(4, 2));
  EXPECT_EQ(chainSettings[1].rootLoci, Haplotype(4, 2));
  EXPECT_EQ(first[0][TMAT], 1) << "chain 0's root row keeps its own draw";
  EXPECT_EQ(second[0][TMAT], 2);
}

TEST(GenerateTree, AStoredGenealogyOrFixedAncestorDrawsNoAncestralHaplotype) {
  for (int mode = 0; mode < 2; mode++) {
    smallGeneration(3, 2);
    chainSettings[0].rootLoci = {2, 1};
    pset.iterAncestral = mode == 0 ? 0 : 1;
    pset.readOldFile = mode == 0 ? 0 : 1;
    pset.mapDist.assign(3, 0.0);
    chainSettings[0].mutLocStart = 0.0;
    Rng rng = streamFrom(-9);
    generated(rng);
    EXPECT_EQ(chainSettings[0].rootLoci, (Haplotype{2, 1}));
    const double next = ran1(rng);
    EXPECT_EQ(next, drawAfter(-9, 2 + 2 * 2));
  }
}

TEST(GenerateTree, StatesUseTheStartingLocationOrADrawnSimulatedOne) {
  smallGeneration(2, 1);
  pset.iterAncestral = 0;
  chainSettings[0].mutLocStart = 0.004;
  Rng rng = streamFrom(-6);
  generated(rng);
  EXPECT_EQ(pset.simMutLocation, 0.004);

  pset.runSimulation = 1;
  pset.simMutLocation = -99;
  pset.mutLocLow = 0.0;
  pset.mutLocHigh = 0.02;
  rng = streamFrom(-6);
  generated(rng);
  EXPECT_DOUBLE_EQ(pset.simMutLocation, 0.02 * drawAfter(-6, 1));
  const double drawn = pset.simMutLocation;
  generated(rng); // the same stream goes on
  EXPECT_EQ(pset.simMutLocation, drawn) << "a drawn location is drawn once";
}
