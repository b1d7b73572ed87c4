// Cost of the haplotype likelihood on a genealogy of 100 chromosomes and 50
// markers built in memory: a full pass, the partial modes the moves use, and
// a subtree recomputation, under both population models.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "likelihood.h"

namespace {

constexpr int chromosomes = 100;
constexpr int markers = 50;
constexpr int alleles = 4;

// A complete genealogy in label order: node j has children 2j + 1 and 2j + 2,
// so nodes 0..98 are internal and 100 leaves follow. Each node copies its
// parent's haplotype with a few changed markers, as crossovers would leave it.
TreeMatrix buildGenealogy(std::mt19937 &gen) {
  const int rows = 2 * chromosomes - 1;
  std::uniform_int_distribution<int> allele(1, alleles);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  TreeMatrix tree(rows, TreeRow(TMAT + TOTLOCI, -1.0));
  for (int v = 0; v < rows; v++) {
    TreeRow &r = tree[v];
    r[nodeLabel] = v;
    const bool internal = 2 * v + 2 < rows;
    r[child1] = internal ? 2 * v + 1 : -1;
    r[child2] = internal ? 2 * v + 2 : -1;
    r[parent] = v == 0 ? -1 : (v - 1) / 2;
    const int depth = static_cast<int>(std::log2(v + 1.0));
    r[nodeTime] = internal ? 0.5 / (depth + 1) : 0.0;
    r[nodeLogLik] = 0.0;
    for (int k = 0; k < markers; k++) {
      const bool keep = v > 0 && unit(gen) < 0.9;
      r[TMAT + k] = keep ? tree[(v - 1) / 2][TMAT + k] : allele(gen);
    }
  }
  for (int v = 0; v < rows; v++) {
    const double above = v == 0 ? 0.6 : tree[(v - 1) / 2][nodeTime];
    tree[v][branchLength] = above - tree[v][nodeTime];
  }
  return tree;
}

// Settings, population tables and one chain's genealogy.
TreeMatrix &setUpRun(double algSwitch) {
  static TreeMatrix tree;
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> unit(0.05, 1.0);
  pset = Settings();
  pset.numChromosomes = chromosomes;
  pset.numLoci = markers;
  pset.numChains = 1;
  pset.algSwitch = algSwitch;
  TMAT = 7;
  TOTLOCI = markers;
  pset.mapDist.assign(markers + 1, 0.0);
  for (int k = 2; k <= markers; k++)
    pset.mapDist[k] = pset.mapDist[k - 1] + 0.01 * unit(gen);
  pset.mutLocStart = {pset.mapDist[markers / 2] + 0.001};
  maxall.assign(markers, alleles);
  answer.assign(markers, 0.0);
  pset.popHapFreqs.assign(1, Table(alleles + 1, std::vector<double>(markers, 0.0)));
  MP1.assign(1, TransTable(markers - 1, Table(alleles, std::vector<double>(alleles, 0.0))));
  for (Table &pair : MP1[0])
    for (std::vector<double> &row : pair) {
      double sum = 0.0;
      for (double &c : row)
        sum += c = unit(gen);
      for (double &c : row)
        c /= sum;
    }
  for (int a = 1; a <= alleles; a++)
    pset.popHapFreqs[0][a][0] = 1.0 / alleles;
  propagateFrequencies(0);
  tree = buildGenealogy(gen);
  pset.rootLoci.assign(1, Haplotype(markers));
  for (int k = 0; k < markers; k++)
    pset.rootLoci[0][k] = static_cast<int>(tree[0][TMAT + k]);
  return tree;
}

void fullPass(benchmark::State &state) {
  TreeMatrix &tree = setUpRun(static_cast<double>(state.range(0)));
  double total = 0;
  for (auto _ : state) {
    tprob(pset.popHapFreqs[0], tree, pset.mutLocStart[0], pset.mapDist, &total, pset.rootLoci[0],
          -1, 0, MP1[0]);
    benchmark::DoNotOptimize(total);
  }
  state.counters["logLik"] = total;
}

void nodeWithChildren(benchmark::State &state) {
  TreeMatrix &tree = setUpRun(static_cast<double>(state.range(0)));
  double total = 0;
  tprob(pset.popHapFreqs[0], tree, pset.mutLocStart[0], pset.mapDist, &total, pset.rootLoci[0], -1,
        0, MP1[0]);
  for (auto _ : state) {
    tprob(pset.popHapFreqs[0], tree, pset.mutLocStart[0], pset.mapDist, &total, pset.rootLoci[0],
          40, 0, MP1[0]);
    benchmark::DoNotOptimize(total);
  }
}

void singleRow(benchmark::State &state) {
  TreeMatrix &tree = setUpRun(static_cast<double>(state.range(0)));
  for (auto _ : state) {
    tprob2(pset.popHapFreqs[0], tree, pset.mutLocStart[0], pset.mapDist, pset.rootLoci[0], 150,
           MP1[0]);
    benchmark::DoNotOptimize(tree[150][nodeLogLik]);
  }
}

void wholeSubtree(benchmark::State &state) {
  TreeMatrix &tree = setUpRun(static_cast<double>(state.range(0)));
  for (auto _ : state) {
    int count = 0;
    partialtprobs(pset.popHapFreqs[0], &count, -1, 0, tree, 0, MP1[0]);
    benchmark::DoNotOptimize(count);
  }
}

} // namespace

// Argument: the population model, 0 = independent loci, 1 = Markov chain.
BENCHMARK(fullPass)->Arg(0)->Arg(1);
BENCHMARK(nodeWithChildren)->Arg(0)->Arg(1);
BENCHMARK(singleRow)->Arg(0)->Arg(1);
BENCHMARK(wholeSubtree)->Arg(0)->Arg(1);
