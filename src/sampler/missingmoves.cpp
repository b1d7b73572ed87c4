// Moves on the imputed values of missing alleles. A missing allele is stored
// as the negative of the allele currently imputed for it; these moves redraw
// that allele uniformly among the locus's labels and accept the change by its
// effect on the chain's likelihood (patient leaves) or on the probability of
// the normal-population sample (normal haplotypes).
#include <algorithm>

#include "likelihood.h"
#include "movesupport.h"
#include "random.h"
#include "sampleterms.h"

namespace {

// Redraws the imputed allele of allele column c of a leaf row; true when the
// stored value changed.
bool reimpute(TreeRow &row, int c, Rng &rng) {
  const double before = row[TMAT + c];
  row[TMAT + c] = -(random2(maxall[c], rng) + 1);
  return row[TMAT + c] != before;
}

// Flip-all proposal: each of the count columns listed in the leaf's record
// from position 3 + from on redraws its allele with probability one half.
bool proposeEachCell(TreeRow &row, const std::vector<int> &record, int from, int count, Rng &rng) {
  bool changed = false;
  for (int i = 0; i < count; i++)
    if (ran1(rng) > 0.5 && reimpute(row, record[3 + from + i], rng))
      changed = true;
  return changed;
}

// Single-cell proposal: with probability one half, one of the count columns
// listed from position 3 + from on, chosen uniformly, redraws its allele.
bool proposeOneCell(TreeRow &row, const std::vector<int> &record, int from, int count, Rng &rng) {
  if (ran1(rng) <= 0.5 || count == 0)
    return false;
  return reimpute(row, record[3 + from + random2(count, rng)], rng);
}

bool proposeCells(TreeRow &row, const std::vector<int> &record, int from, int count, Rng &rng) {
  return pset.flipAllLoci != 0 ? proposeEachCell(row, record, from, count, rng)
                               : proposeOneCell(row, record, from, count, rng);
}

// The moves on one leaf whose record is [leaf, m1, m2, the m1 missing columns
// of the first allele block, the m2 of the second]. The first block is the
// chromosome in the genealogy; with unpaired genotypes a second move works on
// the individual's other chromosome.
void updateLeafMissing(Rng &rng, Chain &chain, ChainWork &work, int leaf,
                       const std::vector<int> &record) {
  const int firstCount = record[1];
  const int secondCount = record[2];
  TreeRow &row = chain.tree[leaf];
  saveLeaf(chain, work, leaf);
  // A single-cell proposal for a leaf whose missing alleles all lie in the
  // second block picks the first of them, the one listed at position 3, and
  // its choice among one cell still draws a number.
  const int firstChoices =
      unpairedGenotypes() && pset.flipAllLoci == 0 ? std::max(firstCount, 1) : firstCount;
  if (proposeCells(row, record, 0, firstChoices, rng))
    acceptOrRestoreLeaf(rng, chain, work, leaf);
  if (!unpairedGenotypes())
    return;
  saveLeaf(chain, work, leaf);
  if (proposeCells(row, record, firstCount, secondCount, rng))
    acceptOrRestoreLeaf(rng, chain, work, leaf);
}

} // namespace

void updatePatientMissing(Rng &rng, Chain &chain, ChainWork &work) {
  // The chain's own list: its leaves received the patient chromosomes in their
  // own order, so the leaves with missing alleles differ between chains.
  takeSweepLogs(chain, work);
  for (size_t j = 0; j < chain.missingLeaves.size(); j++)
    updateLeafMissing(rng, chain, work, chain.missingLeaves[j], chain.missingLoci[j]);
}

// A haplotype's terms before and after the move continue its remembered
// running sum before the changed locus.
void updateNormalMissing(Rng &rng, Chain &chain, ChainWork &work) {
  if (normalHasMissing == 0)
    return;
  takeSampleTerms(chain, work);
  for (const std::vector<int> &record : missingNormalLoci) {
    const int locus = record[2 + random2(record[0], rng)];
    const int h = record[1];
    Haplotype &hap = chain.normalHaps[h];
    const int before = hap[locus];
    const int proposed = -(random2(maxall[locus], rng) + 1);
    if (proposed == before)
      continue;
    const double probBefore = sampleTerm(work, h);
    const double probAfter = proposeAllele(chain, work, h, locus, proposed);
    if (ran1(rng) <= acceptanceProbability(probAfter - probBefore)) {
      hap[locus] = proposed;
      chain.popSampleProb += probAfter - probBefore;
      keepAllele(work, h, locus);
    }
  }
}
