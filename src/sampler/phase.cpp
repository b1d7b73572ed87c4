// Genotype phase updates. With genotype data the phase of an individual is
// not observed: at a heterozygous locus either of its two chromosomes may carry
// either allele. Each individual in turn proposes to exchange the two alleles
// at every heterozygous locus with probability one half, and the exchanges are
// kept or undone together by one Metropolis-Hastings test. That proposal draws
// a whole new phase, which the data refuse almost always once the chromosome
// that carries the mutation matches its ancestors over a few loci; the mixing
// sampler instead proposes the exchange at one heterozygous locus at a time,
// each with its own test (an exchange is its own inverse, so the proposal is
// symmetric either way). An exchange may
// carry an imputed (missing) allele to the other cell of its genotype; the
// chain's missing-allele lists then follow it, so that the missing-allele
// moves re-impute only cells that hold imputed alleles.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "genealogy.h"
#include "movesupport.h"
#include "random.h"
#include "sampler.h"

namespace {

// The alleles a and b of one locus, exchanged when exchange is set. The
// choice is made on the bits rather than by a branch: the coin falls either
// way equally often, so a branch on it would be mispredicted at every other
// heterozygous locus.
void exchangeIf(bool exchange, double &a, double &b) {
  uint64_t bitsA, bitsB;
  std::memcpy(&bitsA, &a, sizeof a);
  std::memcpy(&bitsB, &b, sizeof b);
  const uint64_t differ = (bitsA ^ bitsB) & (0 - static_cast<uint64_t>(exchange));
  bitsA ^= differ;
  bitsB ^= differ;
  std::memcpy(&a, &bitsA, sizeof a);
  std::memcpy(&b, &bitsB, sizeof b);
}

// Exchanges, locus by locus, the alleles first[k] and second[k] with
// probability one half wherever the stored values differ (an imputed allele
// stored as -a differs from an observed a); true when anything was exchanged.
// movesImputed is set when an exchange carried an imputed allele to a cell
// that held an observed one.
bool proposeExchanges(double *first, double *second, Rng &rng, bool &movesImputed) {
  bool exchanged = false, imputedMoved = false;
  for (int k = 0; k < pset.numLoci; k++) {
    if (first[k] == second[k])
      continue;
    const bool exchange = ran1(rng) > 0.5;
    imputedMoved |= exchange & ((first[k] < 0) != (second[k] < 0));
    exchanged |= exchange;
    exchangeIf(exchange, first[k], second[k]);
  }
  movesImputed = movesImputed || imputedMoved;
  return exchanged;
}

// Brings leaf's entry in the chain's missing-allele lists up to date with its
// current cells. The other entries keep their places, so the missing-allele
// moves visit the leaves in the same order as before; a leaf that now holds
// its first imputed allele is added at the end, and one that holds none any
// more is dropped, so that every entry has a cell to re-impute. The record is
// built in the chain's buffer, so an update allocates nothing.
void relistMissing(Chain &chain, ChainWork &work, int leaf) {
  std::vector<int> &record = work.scratch.record;
  std::vector<int> &leaves = chain.missingLeaves;
  std::vector<std::vector<int>> &records = chain.missingLoci;
  missingRecord(chain.tree[leaf], record);
  const bool holdsImputed = record[1] + record[2] > 0;
  const auto entry = std::find(leaves.begin(), leaves.end(), leaf);
  if (entry == leaves.end()) {
    if (holdsImputed) {
      leaves.push_back(leaf);
      records.push_back(record);
    }
    return;
  }
  const auto j = entry - leaves.begin();
  if (holdsImputed) {
    records[j] = record;
  } else {
    leaves.erase(entry);
    records.erase(records.begin() + j);
  }
}

// After an accepted exchange that carried an imputed allele, the
// missing-allele lists follow the individual's cells. A rejection restores the
// cells the records were built from, so nothing else moves them.
void relistExchanged(Chain &chain, ChainWork &work, int leaf, int partner) {
  relistMissing(chain, work, leaf);
  if (partner != leaf)
    relistMissing(chain, work, partner);
}

// Calls visit(leaf, partner, first, second) for every individual once, from
// its higher-labelled leaf: first and second point at the allele cells of its
// two chromosomes (two leaves with paired genotypes, the two blocks of one
// leaf row without).
template <class Visit> void forEachIndividual(Chain &chain, Visit visit) {
  TreeMatrix &tree = chain.tree;
  const bool paired = pairedGenotypes();
  for (size_t t = 0; t < tree.size(); t++) {
    TreeRow &row = tree[t];
    if (row[child1] != -1)
      continue;
    const int leaf = static_cast<int>(t);
    const int partner = paired ? static_cast<int>(row[partnerLeaf]) : leaf;
    if (paired && row[nodeLabel] <= row[partnerLeaf])
      continue;
    double *first = row.data() + TMAT;
    double *second = paired ? tree[partner].data() + TMAT : row.data() + TMAT + pset.numLoci;
    visit(leaf, partner, first, second);
  }
}

} // namespace

void updatePhase(Rng &rng, Chain &chain, ChainWork &work) {
  if (pset.dataAsGenotypes == 0)
    return;
  takeSweepLogs(chain, work);
  forEachIndividual(chain, [&](int leaf, int partner, double *first, double *second) {
    saveLeaf(chain, work, leaf);
    bool movesImputed = false;
    if (proposeExchanges(first, second, rng, movesImputed) &&
        acceptOrRestoreLeaf(rng, chain, work, leaf) && movesImputed)
      relistExchanged(chain, work, leaf, partner);
  });
}

void updatePhaseByLocus(Rng &rng, Chain &chain, ChainWork &work, RowParts &parts) {
  if (pset.dataAsGenotypes == 0)
    return;
  takeSweepLogs(chain, work);
  work.scratch.scoredLeaf = -1;
  forEachIndividual(chain, [&](int leaf, int partner, double *first, double *second) {
    for (int k = 0; k < pset.numLoci; k++) {
      if (first[k] == second[k])
        continue;
      saveLeaf(chain, work, leaf);
      const bool movesImputed = (first[k] < 0) != (second[k] < 0);
      std::swap(first[k], second[k]);
      if (acceptOrRestoreLocus(rng, chain, work, leaf, parts, k) && movesImputed)
        relistExchanged(chain, work, leaf, partner);
    }
  });
}
