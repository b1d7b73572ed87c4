// Random starting genealogy of one chain: node ages under the coalescent with
// exponential growth conditioned on the mutation age, a top-down random
// topology, and node haplotypes drawn by letting each branch keep an unbroken
// stretch of its parent's haplotype around the mutation and take population
// alleles beyond the first crossover on either side.
#include <cmath>
#include <vector>

#include "genealogy.h"
#include "random.h"
#include "sort.h"

int populationAllele(double u, const Table &freqs, int k) {
  double sum = 0.0;
  for (int j = 1; j <= maxall[k]; j++) {
    sum += freqs[j][k];
    if (sum >= u)
      return j;
  }
  return 0;
}

namespace {

// The n - 1 coalescence ages, ascending. Each age inverts the distribution
// function of a node time below the mutation age T: u = 0 gives 0, u -> 1
// gives T. The near-star tree puts every coalescence just below T.
std::vector<double> drawAges(Rng &rng, int n, double T) {
  const double r = pset.growthRate;
  const double s = pset.propSampled;
  std::vector<double> ages(n - 1);
  for (int i = 0; i < n - 1; i++) {
    if (pset.starGenealogy == 1) {
      ages[i] = T - 0.00001 * (i + 1);
    } else if (r == 0.0) {
      const double u = ran1(rng);
      ages[i] = u / (1.0 / T + (s / 2.0) * (1.0 - u));
    } else {
      const double u = ran1(rng);
      const double e = std::exp(-r * T);
      const double h = ((s / 2.0) * (1.0 - e) + r * e) / (1.0 - e);
      ages[i] = (std::log(h - s * u / 2.0 + r * u) - std::log(h - s * u / 2.0)) / r;
    }
  }
  mysort(ages.data(), n - 1);
  return ages;
}

// Splits lineages from the root down: each round a randomly chosen active
// lineage takes the next two free labels as children and the largest age not
// yet handed out. The choice shuffles the active list with the system
// generator, so it consumes no draws of the run's uniform stream.
void buildTopology(Rng &rng, TreeMatrix &tree, int n, const std::vector<double> &ages) {
  const int rows = 2 * n - 1;
  int nextAge = n - 2;
  tree[0][child1] = 1;
  tree[0][child2] = 2;
  tree[1][parent] = 0;
  tree[2][parent] = 0;
  tree[0][nodeTime] = ages[nextAge--];
  std::vector<int> active = {1, 2};
  for (int a = 3; a < rows; a += 2) {
    systemShuffle(active, rng);
    const int v = active[0];
    tree[v][child1] = a;
    tree[v][child2] = a + 1;
    tree[a][parent] = v;
    tree[a + 1][parent] = v;
    tree[v][nodeTime] = ages[nextAge--];
    active.erase(active.begin());
    active.push_back(a);
    active.push_back(a + 1);
  }
}

// Left end of the stretch a branch of length b inherits unbroken around the
// mutation at x: the first crossover left of x, or the map's start when there
// is none. The right end likewise, up to the map's end E.
double leftEnd(Rng &rng, double x, double b) {
  const double u1 = ran1(rng);
  if (u1 > std::exp(-x * b)) {
    const double u2 = ran1(rng);
    return x + std::log(1.0 - u2 * (1.0 - std::exp(-b * x))) / b;
  }
  return 0.0;
}

double rightEnd(Rng &rng, double x, double b, double E) {
  const double u3 = ran1(rng);
  if (u3 > std::exp(-(E - x) * b)) {
    const double u4 = ran1(rng);
    return x - std::log(1.0 - u4 * (1.0 - std::exp(-b * (E - x)))) / b;
  }
  return E;
}

// Sets the cell to a population allele drawn with one uniform; a draw that
// the cumulative frequencies never reach leaves the cell as it is.
template <class Cell> void drawPopulationAllele(Rng &rng, const Table &freqs, int k, Cell &cell) {
  const int j = populationAllele(ran1(rng), freqs, k);
  if (j > 0)
    cell = j;
}

} // namespace

void generatetree(Rng &rng, Chain &chain) {
  const int n = pset.numChromosomes;
  const int L = pset.numLoci;
  const int rows = 2 * n - 1;
  const double T = chain.mutAge;
  const Table &freqs = chain.popHapFreqs;
  TreeMatrix &tree = chain.tree;

  buildTopology(rng, tree, n, drawAges(rng, n, T));

  tree[0][branchLength] = T - tree[0][nodeTime];
  for (int i = 1; i < rows; i++)
    tree[i][branchLength] = tree[static_cast<int>(tree[i][parent])][nodeTime] - tree[i][nodeTime];

  // The ancestral haplotype is drawn afresh for every chain, but only one
  // copy is kept for all chains: the last chain's draw wins, while each
  // earlier chain's root row keeps what was drawn in its own call.
  if (pset.iterAncestral != 0 && pset.readOldFile == 0) {
    for (int k = 0; k < L; k++)
      drawPopulationAllele(rng, freqs, k, chainSettings[0].rootLoci[k]);
    for (int c = 1; c < pset.numChains; c++)
      chainSettings[c].rootLoci = chainSettings[0].rootLoci;
  }

  if (pset.runSimulation == 0)
    pset.simMutLocation = chainSettings[0].mutLocStart;
  else if (pset.simMutLocation == -99.0)
    pset.simMutLocation = pset.mutLocLow + ran1(rng) * (pset.mutLocHigh - pset.mutLocLow);
  const double x = pset.simMutLocation;
  const double E = pset.mapDist[L];

  // Parents carry smaller labels than their children, so in label order a
  // parent's haplotype is complete before its children copy from it.
  for (int i = 0; i < rows; i++) {
    TreeRow &row = tree[i];
    row[nodeLabel] = i;
    if (row[child1] == -1 && pset.runSimulation == 0)
      continue;
    const double b = row[branchLength];
    const double left = leftEnd(rng, x, b);
    const double right = rightEnd(rng, x, b, E);
    for (int k = 0; k < L; k++) {
      const double p = pset.mapDist[k + 1];
      if (left > p || right < p)
        drawPopulationAllele(rng, freqs, k, row[TMAT + k]);
      else if (i == 0)
        row[TMAT + k] = chainSettings[0].rootLoci[k];
      else
        row[TMAT + k] = tree[static_cast<int>(row[parent])][TMAT + k];
    }
  }
}
