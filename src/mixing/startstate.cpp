// What a chain of the mixing sampler starts from: its own random stream, and
// hidden haplotypes built from the leaves instead of drawn at random. A random
// internal haplotype disagrees with its leaves almost everywhere, and the
// sampler would first have to find haplotypes that the data support; the
// majority of the leaves below a node is such a haplotype near the mutation,
// where the leaves share their ancestor's alleles. With genotypes, the phase
// starts with the patients' commonest allele on the disease chromosome.
#include <cstdint>
#include <utility>
#include <vector>

#include "likelihood.h"
#include "mixing.h"
#include "movesupport.h"

namespace {

// SplitMix64's finaliser: spreads nearby inputs over all 64 bits.
uint64_t mixBits(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// Counts allele a at locus k in counts[locus][allele]; a label outside the
// locus's alleles is not counted.
void countAllele(std::vector<std::vector<int>> &counts, int k, int a) {
  if (a >= 1 && a <= maxall[k])
    counts[k][a]++;
}

// Adds the first-block alleles of the leaves below node to counts
// [locus][allele].
void countLeafAlleles(const TreeMatrix &tree, int node, std::vector<std::vector<int>> &counts) {
  std::vector<int> stack = {node};
  while (!stack.empty()) {
    const int v = stack.back();
    stack.pop_back();
    const TreeRow &row = tree[v];
    if (row[child1] != -1) {
      stack.push_back(static_cast<int>(row[child1]));
      stack.push_back(static_cast<int>(row[child2]));
      continue;
    }
    for (int k = 0; k < pset.numLoci; k++)
      countAllele(counts, k, rowAllele(row.data(), k));
  }
}

// The most frequent allele of each locus (the lowest label among ties).
template <class Store>
void storeMajority(const std::vector<std::vector<int>> &counts, Store store) {
  for (int k = 0; k < pset.numLoci; k++) {
    int best = 1;
    for (int a = 2; a <= maxall[k]; a++)
      if (counts[k][a] > counts[k][best])
        best = a;
    store(k, best);
  }
}

std::vector<std::vector<int>> emptyCounts() {
  std::vector<std::vector<int>> counts(pset.numLoci);
  for (int k = 0; k < pset.numLoci; k++)
    counts[k].assign(maxall[k] + 1, 0);
  return counts;
}

} // namespace

Rng chainStream(const Rng &runStream, int index) {
  const uint64_t key =
      static_cast<uint32_t>(runStream.seed) ^ (static_cast<uint64_t>(index + 1) << 32);
  const uint64_t bits = mixBits(key + 0x9e3779b97f4a7c15ULL);
  // A negative seed makes ran1 fill its shuffle table afresh.
  const Seed seed = -static_cast<Seed>(1 + bits % 2147483646ULL);
  Rng stream = streamFrom(seed);
  seedFeedback(stream.feedback, static_cast<uint32_t>(bits >> 32));
  return stream;
}

void phaseTowardsConsensus(Chain &chain, ChainWork &work) {
  if (!unpairedGenotypes())
    return;
  TreeMatrix &tree = chain.tree;
  const int loci = pset.numLoci;
  // How many patients carry each allele on either chromosome.
  std::vector<std::vector<int>> carriers = emptyCounts();
  for (const TreeRow &row : tree)
    if (row[child1] == -1)
      for (int k = 0; k < loci; k++) {
        const int a = rowAllele(row.data(), k), b = rowAllele(row.data(), loci + k);
        countAllele(carriers, k, a);
        if (b != a)
          countAllele(carriers, k, b);
      }
  std::vector<int> consensus(loci);
  storeMajority(carriers, [&](int k, int a) { consensus[k] = a; });
  for (TreeRow &row : tree) {
    if (row[child1] != -1)
      continue;
    double *first = row.data() + TMAT, *second = first + loci;
    // Imputed alleles keep their cells, which the missing-allele lists name.
    for (int k = 0; k < loci; k++)
      if (first[k] > 0 && second[k] > 0 && second[k] == consensus[k] && first[k] != consensus[k])
        std::swap(first[k], second[k]);
  }
  chain.partnerProb = allPartnerTerms(chain, work);
}

void startFromLeaves(Chain &chain, ChainWork &work) {
  TreeMatrix &tree = chain.tree;
  for (size_t v = 0; v < tree.size(); v++) {
    if (tree[v][child1] == -1)
      continue;
    std::vector<std::vector<int>> counts = emptyCounts();
    countLeafAlleles(tree, static_cast<int>(v), counts);
    storeMajority(counts, [&](int k, int a) { tree[v][TMAT + k] = a; });
  }
  if (pset.iterAncestral) {
    std::vector<std::vector<int>> counts = emptyCounts();
    for (size_t v = 0; v < tree.size(); v++)
      if (tree[v][parent] == -1)
        countLeafAlleles(tree, static_cast<int>(v), counts);
    storeMajority(counts, [&](int k, int a) { chain.rootLoci[k] = a; });
  }
  chain.logLik = chainTprob(chain, work.memo, tree, chain.mutLoc, chain.rootLoci);
  chain.rootHapProb = probhap2(chain.popHapFreqs, chain.MP1, chain.rootLoci.data(), work.memo);
}
