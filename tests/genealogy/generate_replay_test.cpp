// Starting genealogies replayed draw by draw: a two-leaf generation in a
// simulation run (every row drawn) rebuilt from the uniform stream under each
// age form, with and without the ancestral draw, the mutation inside and
// outside the map; and the two passes of simulated unpaired genotypes.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "driver.h"
#include "genealogy.h"
#include "random.h"
#include "testkit.h"

namespace {

// The first count uniforms of a fresh stream started from seed.
std::vector<double> firstUniforms(Seed seed, int count) {
  Rng rng = streamFrom(seed);
  std::vector<double> u;
  for (int i = 0; i < count; i++)
    u.push_back(ran1(rng));
  return u;
}

// The allele a uniform picks at locus k from freqs (first running sum >= u).
int picked(double u, const Table &freqs, int k) {
  double sum = 0;
  for (int j = 1; j <= maxall[k]; j++) {
    sum += freqs[j][k];
    if (sum >= u)
      return j;
  }
  return 0;
}

struct GenerationCase {
  int star;
  double growth;
  int ancestral;
  double low, high; // range of the drawn mutation location
};

// Two leaves, four loci, simulation run with a drawn location: the generated
// matrix of chain 0 rebuilt from the stream, and the number of draws used.
TreeMatrix replayedGeneration(const GenerationCase &g, const std::vector<double> &u, int *used) {
  const int L = pset.numLoci;
  const double T = chains[0].mutAge;
  const double r = g.growth, s = pset.propSampled;
  const Table &freqs = chains[0].popHapFreqs;
  int next = 0;
  double age;
  if (g.star == 1) {
    age = T - 0.00001;
  } else if (r == 0.0) {
    const double v = u[next++];
    age = v / (1.0 / T + (s / 2.0) * (1.0 - v));
  } else {
    const double v = u[next++];
    const double e = std::exp(-r * T);
    const double h = ((s / 2.0) * (1.0 - e) + r * e) / (1.0 - e);
    age = (std::log(h - s * v / 2.0 + r * v) - std::log(h - s * v / 2.0)) / r;
  }
  TreeMatrix tree = makeTree(
      {{0, 1, 2, -1, age, T - age, 0}, {1, -1, -1, 0, 0, age, 0}, {2, -1, -1, 0, 0, age, 0}});
  Haplotype root = chainSettings[0].rootLoci;
  if (g.ancestral != 0)
    for (int k = 0; k < L; k++)
      root[k] = picked(u[next++], freqs, k);
  const double x = g.low + u[next++] * (g.high - g.low);
  const double E = pset.mapDist[L];
  for (int i = 0; i < 3; i++) {
    const double b = tree[i][branchLength];
    double left = 0, right = E;
    if (u[next++] > std::exp(-x * b))
      left = x + std::log(1.0 - u[next++] * (1.0 - std::exp(-b * x))) / b;
    if (u[next++] > std::exp(-(E - x) * b))
      right = x - std::log(1.0 - u[next++] * (1.0 - std::exp(-b * (E - x)))) / b;
    for (int k = 0; k < L; k++) {
      const double p = pset.mapDist[k + 1];
      if (left > p || right < p)
        tree[i][TMAT + k] = picked(u[next++], freqs, k);
      else
        tree[i][TMAT + k] = i == 0 ? root[k] : tree[0][TMAT + k];
    }
  }
  *used = next;
  return tree;
}

} // namespace

TEST(ReplayStart, GenerationConsumesTheStreamInTheOrderOfItsSteps) {
  const std::vector<GenerationCase> cases = {
      {0, 0.5, 1, 0.0, 3.0},  // growth, ancestral draw, location inside the map
      {0, 0.0, 1, 0.0, 3.0},  // constant size
      {1, 0.5, 1, 0.0, 3.0},  // near-star: no age draw
      {0, 0.5, 0, 0.0, 3.0},  // fixed ancestral haplotype: no ancestral draws
      {0, 0.5, 1, 4.0, 6.0},  // location right of the map's end
      {0, 0.5, 1, -3.0, -1.0} // location left of the first marker
  };
  for (size_t c = 0; c < cases.size(); c++) {
    const GenerationCase &g = cases[c];
    for (Seed start : {-3, -21, -40}) {
      setSmallRun(2, 4);
      maxall.assign(4, 3);
      chains[0].popHapFreqs = Table{std::vector<double>(4, 0.0), std::vector<double>(4, 0.3),
                                    std::vector<double>(4, 0.3), std::vector<double>(4, 0.4)};
      chains[0].mutAge = 2.0;
      chainSettings[0].rootLoci = Haplotype{1, 2, 3, 1};
      chainSettings[0].mutLocStart = 0.5;
      pset.mapDist = {0, 0, 1, 2, 3};
      pset.propSampled = 0.1;
      pset.growthRate = g.growth;
      pset.starGenealogy = g.star;
      pset.iterAncestral = g.ancestral;
      pset.runSimulation = 1;
      pset.simMutLocation = -99;
      pset.mutLocLow = g.low;
      pset.mutLocHigh = g.high;
      const std::vector<double> u = firstUniforms(start, 60);
      int used = 0;
      const TreeMatrix expected = replayedGeneration(g, u, &used);

      chains[0].tree = freshTree();
      Rng rng = streamFrom(start);
      generatetree(rng, chains[0]);
      const TreeMatrix &tree = chains[0].tree;
      for (int i = 0; i < 3; i++)
        for (int col : {nodeLabel, child1, child2, parent})
          EXPECT_EQ(tree[i][col], expected[i][col]) << "case " << c << " row " << i;
      for (int i = 0; i < 3; i++) {
        EXPECT_EQ(tree[i][nodeTime], expected[i][nodeTime]) << "case " << c << " row " << i;
        EXPECT_EQ(tree[i][branchLength], expected[i][branchLength]) << "case " << c;
        for (int k = 0; k < 4; k++)
          EXPECT_EQ(tree[i][TMAT + k], expected[i][TMAT + k])
              << "case " << c << " seed " << start << " row " << i << " locus " << k;
      }
      EXPECT_EQ(ran1(rng), u[used]) << "case " << c << ": draws used";
    }
  }
}

TEST(ReplayStart, SimulatedUnpairedPartnersAreAllDrawnBeforeAnyExchange) {
  const int n = 3, L = 2, K = 2;
  setSmallRun(n, L, K);
  pset.dataAsGenotypes = 1;
  pset.geneticModel = 0;
  pset.runSimulation = 1;
  pset.simMutLocation = 0.005;
  maxall.assign(2 * L, 2);
  maxAllele = 2;
  std::vector<std::vector<Haplotype>> normalHaps(K, {Haplotype(L, 1), Haplotype(L, 2)});
  for (ChainSettings &own : chainSettings) {
    own.rootLoci = Haplotype(L, 1);
    own.mutAgeStart = 40.0;
    own.mutLocStart = 0.005;
    own.treeAdjust = 5.0;
    own.recDistAdjust = 0.005;
  }
  pset.growthRate = 0.5;
  pset.propSampled = 0.1;
  pset.realIterations = 1;
  pset.mapDist = {0, 0, 0.01};
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  setuprun(normalHaps);
  // The partner draw picks label 1 below 0.3 and label 2 above.
  simAlleleFreqs[1] = {0.3, 0.3};
  simAlleleFreqs[2] = {0.7, 0.7};

  // Expected: generation of both chains (on copies of the fresh chains),
  // then every partner draw of every chain, then every exchange draw of
  // every chain.
  std::vector<Chain> replay = chains;
  Rng rng = streamFrom(-13);
  std::vector<TreeMatrix> trees;
  for (Chain &chain : replay) {
    generatetree(rng, chain);
    sortTree(chain.tree, child1);
    trees.push_back(chain.tree);
  }
  for (TreeMatrix &tree : trees)
    for (int v = 0; v < n; v++)
      for (int k = 0; k < L; k++)
        tree[v][TMAT + L + k] = ran1(rng) <= 0.3 ? 1 : 2;
  for (TreeMatrix &tree : trees)
    for (int v = 0; v < n; v++)
      for (int k = 0; k < L; k++)
        if (ran1(rng) > 0.5)
          std::swap(tree[v][TMAT + k], tree[v][TMAT + L + k]);

  Rng run = streamFrom(-13);
  pset.simMutLocation = 0.005;
  std::ostringstream log;
  initchains(run, log);
  for (int ch = 0; ch < K; ch++)
    for (int v = 0; v < n; v++) {
      const TreeRow &want = trees[ch][v];
      const TreeRow &got = chains[ch].tree[static_cast<int>(want[nodeLabel])];
      for (int c = 0; c < 2 * L; c++)
        EXPECT_EQ(got[TMAT + c], want[TMAT + c]) << "chain " << ch << " leaf " << want[nodeLabel];
    }
}
