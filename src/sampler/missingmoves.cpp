// Moves on the imputed values of missing alleles. A missing allele is stored
// as the negative of the allele currently imputed for it; these moves redraw
// that allele uniformly among the locus's labels and accept the change by its
// effect on the chain's likelihood (patient leaves) or on the probability of
// the normal-population sample (normal haplotypes).
#include <algorithm>

#include "likelihood.h"
#include "movesupport.h"
#include "random.h"

namespace {

// Haplotype buffer for the sample probability of one normal haplotype.
Haplotype hapBuffer;

// Redraws the imputed allele of allele column c of a leaf row; true when the
// stored value changed.
bool reimpute(TreeRow &row, int c, Seed *seed) {
  const double before = row[TMAT + c];
  row[TMAT + c] = -(random2(maxall[c], seed) + 1);
  return row[TMAT + c] != before;
}

// Flip-all proposal: each of the count columns listed in the leaf's record
// from position 3 + from on redraws its allele with probability one half.
bool proposeEachCell(TreeRow &row, const std::vector<int> &record, int from, int count,
                     Seed *seed) {
  bool changed = false;
  for (int i = 0; i < count; i++)
    if (ran1(seed) > 0.5 && reimpute(row, record[3 + from + i], seed))
      changed = true;
  return changed;
}

// Single-cell proposal: with probability one half, one of the count columns
// listed from position 3 + from on, chosen uniformly, redraws its allele.
bool proposeOneCell(TreeRow &row, const std::vector<int> &record, int from, int count, Seed *seed) {
  if (ran1(seed) <= 0.5 || count == 0)
    return false;
  return reimpute(row, record[3 + from + random2(count, seed)], seed);
}

bool proposeCells(TreeRow &row, const std::vector<int> &record, int from, int count, Seed *seed) {
  return pset.flipAllLoci != 0 ? proposeEachCell(row, record, from, count, seed)
                               : proposeOneCell(row, record, from, count, seed);
}

// The moves on one leaf whose record is [leaf, m1, m2, the m1 missing columns
// of the first allele block, the m2 of the second]. The first block is the
// chromosome in the genealogy; with unpaired genotypes a second move works on
// the individual's other chromosome.
void updateLeafMissing(Seed *seed, int ch, int leaf, const std::vector<int> &record) {
  const int firstCount = record[1];
  const int secondCount = record[2];
  TreeRow &row = chainTree[ch][leaf];
  saveLeaf(ch, leaf);
  // A single-cell proposal for a leaf whose missing alleles all lie in the
  // second block picks the first of them, the one listed at position 3, and
  // its choice among one cell still draws a number.
  const int firstChoices =
      unpairedGenotypes() && pset.flipAllLoci == 0 ? std::max(firstCount, 1) : firstCount;
  if (proposeCells(row, record, 0, firstChoices, seed))
    acceptOrRestoreLeaf(seed, ch, leaf);
  if (!unpairedGenotypes())
    return;
  saveLeaf(ch, leaf);
  if (proposeCells(row, record, firstCount, secondCount, seed))
    acceptOrRestoreLeaf(seed, ch, leaf);
}

} // namespace

void updatePatientMissing(Seed *seed, int ch) {
  // The chain's own list: its leaves received the patient chromosomes in their
  // own order, so the leaves with missing alleles differ between chains.
  for (size_t j = 0; j < missingLeaves[ch].size(); j++)
    updateLeafMissing(seed, ch, missingLeaves[ch][j], missingLoci[ch][j]);
}

// A haplotype's term before the move is its remembered one when the
// remembered terms fit the tables and the haplotype still holds the
// remembered alleles; an accepted move leaves its new term remembered.
void updateNormalMissing(Seed *seed, int ch) {
  if (normalHasMissing == 0)
    return;
  SampleTerms &terms = sampleTerms(ch);
  const bool fitted = termsFitTables(terms, ch);
  for (const std::vector<int> &record : missingNormalLoci) {
    const int locus = record[2 + random2(record[0], seed)];
    const int h = record[1];
    Haplotype &hap = normalHaps[ch][h];
    const int before = hap[locus];
    const int proposed = -(random2(maxall[locus], seed) + 1);
    if (proposed == before)
      continue;
    hapBuffer.assign(hap.begin(), hap.begin() + pset.numLoci);
    const double probBefore = fitted && terms.haps[h] == hap
                                  ? terms.logProbs[h]
                                  : probhap2(pset.popHapFreqs[ch], MP1[ch], hapBuffer.data());
    hapBuffer[locus] = proposed;
    const double probAfter = probhap2(pset.popHapFreqs[ch], MP1[ch], hapBuffer.data());
    if (ran1(seed) <= acceptanceProbability(probAfter - probBefore)) {
      hap[locus] = proposed;
      chainPopSampleProb[ch] += probAfter - probBefore;
      if (fitted) {
        terms.haps[h] = hap;
        terms.logProbs[h] = probAfter;
      }
    }
  }
}
