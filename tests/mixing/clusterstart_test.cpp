// The clustered starting genealogy: the nearest-neighbour chain against
// average linkage done the slow way from its definition, and the rebuilt
// genealogy of a chain (a genealogy with the same leaves and ages, the two
// groups of a data set under the root's two children, chains apart when the
// haplotypes do not decide).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "likelihood.h"
#include "mixing.h"
#include "sampler/chainfixture.h"

namespace {

using Members = std::vector<int>;

// Greedy average linkage by its definition: merge the two clusters whose
// mean distance over all pairs of their items is least, until one is left.
// Returns every merged cluster's items with its height.
std::map<Members, double> slowAverageLinkage(const std::vector<double> &dist, int n) {
  std::vector<Members> clusters;
  for (int i = 0; i < n; i++)
    clusters.push_back({i});
  std::map<Members, double> formed;
  while (clusters.size() > 1) {
    size_t bi = 0, bj = 1;
    double best = INFINITY;
    for (size_t i = 0; i < clusters.size(); i++)
      for (size_t j = i + 1; j < clusters.size(); j++) {
        double sum = 0;
        for (int a : clusters[i])
          for (int b : clusters[j])
            sum += dist[a * n + b];
        const double mean = sum / (clusters[i].size() * clusters[j].size());
        if (mean < best) {
          best = mean;
          bi = i;
          bj = j;
        }
      }
    Members joined = clusters[bi];
    joined.insert(joined.end(), clusters[bj].begin(), clusters[bj].end());
    std::sort(joined.begin(), joined.end());
    formed[joined] = best;
    clusters.erase(clusters.begin() + bj);
    clusters[bi] = joined;
  }
  return formed;
}

// Replays merges, checking that each joins two clusters still present, and
// returns every merged cluster's items with its height.
std::map<Members, double> replay(const std::vector<ClusterMerge> &merges, int n) {
  std::vector<Members> slot(n);
  std::vector<bool> present(n, true);
  for (int i = 0; i < n; i++)
    slot[i] = {i};
  std::map<Members, double> formed;
  for (const ClusterMerge &m : merges) {
    EXPECT_TRUE(m.a != m.b && present[m.a] && present[m.b]);
    slot[m.a].insert(slot[m.a].end(), slot[m.b].begin(), slot[m.b].end());
    std::sort(slot[m.a].begin(), slot[m.a].end());
    present[m.b] = false;
    formed[slot[m.a]] = m.height;
  }
  return formed;
}

// Eight leaves (labels 7-14) on a caterpillar genealogy of internal nodes
// 0 (the root, age 70) down to 6 (age 10), four markers of two alleles. Leaf
// 7 + i carries haplotype groups[i].
Chain &caterpillarChain(const std::vector<Haplotype> &groups) {
  setSmallRun(8, 4, 1);
  pset.mapDist = {0, 0, 0.01, 0.02, 0.03};
  pset.algSwitch = 1;
  pset.iterAncestral = 1;
  maxall = {2, 2, 2, 2};
  Chain &c = chains[0];
  c.mutLoc = 0.015;
  c.mutAge = c.propMutAge = 80;
  c.rootLoci = {1, 1, 1, 1};
  c.popHapFreqs = Table(3, std::vector<double>(4, 0.5));
  c.MP1 = std::vector<std::vector<std::vector<double>>>(
      3, std::vector<std::vector<double>>(2, std::vector<double>(2, 0.5)));
  std::vector<std::vector<double>> rows;
  for (int v = 0; v < 7; v++) {
    const double t = 70 - 10 * v, top = v == 0 ? 80 : t + 10;
    rows.push_back({double(v), double(v + 1), double(v + 7), v == 0 ? -1.0 : v - 1, t, top - t, 0,
                    1, 1, 1, 1});
  }
  rows[6][child1] = 14;
  for (int i = 0; i < 8; i++) {
    const double up = i == 7 ? 6 : i;
    std::vector<double> row = {
        double(7 + i), -1, -1, up, 0, rows[static_cast<int>(up)][nodeTime], 0};
    for (int a : groups[i])
      row.push_back(a);
    rows.push_back(row);
  }
  c.tree = makeTree(rows);
  return c;
}

// The leaves below node, sorted.
Members leavesBelow(const TreeMatrix &tree, int node) {
  if (tree[node][child1] == -1)
    return {node};
  Members m = leavesBelow(tree, static_cast<int>(tree[node][child1]));
  const Members other = leavesBelow(tree, static_cast<int>(tree[node][child2]));
  m.insert(m.end(), other.begin(), other.end());
  std::sort(m.begin(), m.end());
  return m;
}

std::vector<double> internalAges(const TreeMatrix &tree) {
  std::vector<double> ages;
  for (const TreeRow &row : tree)
    if (row[child1] != -1)
      ages.push_back(row[nodeTime]);
  std::sort(ages.begin(), ages.end());
  return ages;
}

} // namespace

TEST(ClusterStart, NearestNeighbourChainGivesAverageLinkage) {
  Rng rng = streamFrom(-71);
  for (int n = 2; n <= 12; n++)
    for (int trial = 0; trial < 20; trial++) {
      std::vector<double> dist(n * n, 0.0);
      for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
          dist[i * n + j] = dist[j * n + i] = ran1(rng);
      const std::vector<ClusterMerge> merges = averageLinkage(dist, n);
      ASSERT_EQ(merges.size(), static_cast<size_t>(n - 1));
      const std::map<Members, double> fast = replay(merges, n), slow = slowAverageLinkage(dist, n);
      ASSERT_EQ(fast.size(), slow.size()) << "n = " << n;
      for (const auto &[members, height] : slow) {
        ASSERT_EQ(fast.count(members), 1u) << "n = " << n << ", trial " << trial;
        EXPECT_NEAR(fast.at(members), height, 1e-12);
      }
    }
}

// Two groups of four haplotypes, at most one mismatch apart within a group
// and three or four between the groups, alternate along the caterpillar; the
// clustered genealogy puts each group under one child of the root, with the
// chain's own ages and leaves, and the chain is a consistent one once the
// start from the leaves has given it haplotypes and terms.
TEST(ClusterStart, GroupsOfSimilarHaplotypesShareASubtree) {
  const std::vector<Haplotype> haps = {{1, 1, 1, 1}, {2, 2, 2, 2}, {1, 1, 1, 2}, {2, 2, 2, 1},
                                       {1, 1, 1, 1}, {2, 2, 2, 2}, {1, 1, 1, 2}, {2, 2, 2, 1}};
  Chain &c = caterpillarChain(haps);
  ChainWork work;
  const std::vector<double> ages = internalAges(c.tree);
  Rng rng = streamFrom(-5);
  startFromClusters(rng, c);
  ASSERT_TRUE(genealogyIsConsistent(c.tree, c.mutAge));
  EXPECT_EQ(internalAges(c.tree), ages);
  for (int i = 0; i < 8; i++)
    for (int k = 0; k < 4; k++)
      EXPECT_EQ(c.tree[7 + i][TMAT + k], haps[i][k]) << "leaf " << 7 + i;
  const Members first = leavesBelow(c.tree, static_cast<int>(c.tree[0][child1]));
  const Members second = leavesBelow(c.tree, static_cast<int>(c.tree[0][child2]));
  const Members odd = {7, 9, 11, 13}, even = {8, 10, 12, 14};
  EXPECT_TRUE((first == odd && second == even) || (first == even && second == odd));
  startFromLeaves(c, work);
  EXPECT_TRUE(chainConsistent(0));
}

// With every haplotype the same, the tie-breaking draws alone shape the
// genealogy: the same stream gives the same one, other streams others.
TEST(ClusterStart, StreamsBreakTiesApart) {
  const std::vector<Haplotype> same(8, Haplotype{1, 2, 1, 2});
  std::vector<std::vector<Members>> shapes;
  for (Seed seed : {-11, -11, -12, -13}) {
    Chain &c = caterpillarChain(same);
    Rng rng = streamFrom(seed);
    startFromClusters(rng, c);
    ASSERT_TRUE(genealogyIsConsistent(c.tree, c.mutAge));
    std::vector<Members> clades;
    for (int v = 0; v < 7; v++)
      clades.push_back(leavesBelow(c.tree, v));
    shapes.push_back(clades);
  }
  EXPECT_EQ(shapes[0], shapes[1]);
  EXPECT_NE(shapes[0], shapes[2]);
  EXPECT_NE(shapes[0], shapes[3]);
}
