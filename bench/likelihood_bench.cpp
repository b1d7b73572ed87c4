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

// Settings and chain 0 with its population tables, genealogy, location and
// ancestral haplotype.
Chain &setUpRun(double algSwitch) {
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
  maxall.assign(markers, alleles);
  chains.assign(1, Chain());
  Chain &chain = chains[0];
  chain.mutLoc = pset.mapDist[markers / 2] + 0.001;
  chain.popHapFreqs.assign(alleles + 1, std::vector<double>(markers, 0.0));
  chain.MP1.assign(markers - 1, Table(alleles, std::vector<double>(alleles, 0.0)));
  for (Table &pair : chain.MP1)
    for (std::vector<double> &row : pair) {
      double sum = 0.0;
      for (double &c : row)
        sum += c = unit(gen);
      for (double &c : row)
        c /= sum;
    }
  for (int a = 1; a <= alleles; a++)
    chain.popHapFreqs[a][0] = 1.0 / alleles;
  propagateFrequencies(chain.popHapFreqs, chain.MP1);
  chain.tree = buildGenealogy(gen);
  chain.rootLoci.assign(markers, 0);
  for (int k = 0; k < markers; k++)
    chain.rootLoci[k] = static_cast<int>(chain.tree[0][TMAT + k]);
  return chain;
}

void fullPass(benchmark::State &state) {
  Chain &c = setUpRun(static_cast<double>(state.range(0)));
  LikelihoodMemo memo;
  double total = 0;
  for (auto _ : state) {
    total = chainTprob(c, memo, c.tree, c.mutLoc, c.rootLoci);
    benchmark::DoNotOptimize(total);
  }
  state.counters["logLik"] = total;
}

void nodeWithChildren(benchmark::State &state) {
  Chain &c = setUpRun(static_cast<double>(state.range(0)));
  LikelihoodMemo memo;
  chainTprob(c, memo, c.tree, c.mutLoc, c.rootLoci);
  for (auto _ : state) {
    const double total = chainTprob(c, memo, c.tree, c.mutLoc, c.rootLoci, 40, 0);
    benchmark::DoNotOptimize(total);
  }
}

void singleRow(benchmark::State &state) {
  Chain &c = setUpRun(static_cast<double>(state.range(0)));
  LikelihoodMemo memo;
  for (auto _ : state) {
    tprob2(c.popHapFreqs, c.tree, c.mutLoc, pset.mapDist, c.rootLoci, 150, c.MP1, memo);
    benchmark::DoNotOptimize(c.tree[150][nodeLogLik]);
  }
}

void wholeSubtree(benchmark::State &state) {
  Chain &c = setUpRun(static_cast<double>(state.range(0)));
  LikelihoodMemo memo;
  for (auto _ : state) {
    int count = 0;
    partialtprobs(c.popHapFreqs, &count, -1, 0, c.tree, c.mutLoc, c.rootLoci, c.MP1, memo);
    benchmark::DoNotOptimize(count);
  }
}

} // namespace

// Argument: the population model, 0 = independent loci, 1 = Markov chain.
BENCHMARK(fullPass)->Arg(0)->Arg(1);
BENCHMARK(nodeWithChildren)->Arg(0)->Arg(1);
BENCHMARK(singleRow)->Arg(0)->Arg(1);
BENCHMARK(wholeSubtree)->Arg(0)->Arg(1);
