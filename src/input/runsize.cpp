// Estimates of the memory a run will hold, made from the sizes in the
// control file as soon as they are read, so that a size the machine cannot
// hold is refused before anything of that size is allocated. They count the
// payload of the run's tables plus the bookkeeping of every row (a vector's
// header and its heap block); the result is a close lower bound, which is
// what a refusal needs.
#include <algorithm>

#include "controlscan.h"

namespace {

// A row: its vector header and the allocator's bookkeeping of its block.
constexpr double rowOverhead = 24 + 16;

double rowBytes(double cells, double cellSize) {
  return rowOverhead + cells * cellSize;
}

// Allele cells of a genealogy row: two blocks with unpaired genotypes.
int alleleColumns() {
  const bool twoBlocks = pset.dataAsGenotypes == 1 && pset.geneticModel == 0;
  return twoBlocks ? 2 * pset.numLoci : pset.numLoci;
}

} // namespace

double chainTreeBytes() {
  const double rows = 2.0 * pset.numChromosomes - 1;
  // The current genealogy, a sorted copy and a proposal, the node ages and
  // one missing-allele record per leaf at most.
  return 3 * rows * rowBytes(8 + alleleColumns(), sizeof(double)) + rowBytes(rows, sizeof(double)) +
         pset.numChromosomes * rowBytes(alleleColumns() + 3, sizeof(int));
}

// The likelihood memo of a chain: two ways of remembered exponentials per
// genealogy row, within the memo's own cap, and the logs of its tables.
double likelihoodMemoBytes() {
  const double rows = 2.0 * pset.numChromosomes - 1;
  const double perRow = 2 * (2 * (pset.numLoci + 1.0) * 16 + 8 * 16 + 16);
  return std::min(rows * perRow, 16.0 * (1 << 20) + perRow);
}

double chainStateBytes(const ReadTables &t) {
  const double loci = pset.numLoci;
  int labels = 0;
  for (int l = 0; l < pset.numLoci && l < static_cast<int>(maxall.size()); l++)
    labels = std::max(labels, maxall[l]);
  // The chain's transition table between adjacent loci.
  double transitions = 0;
  for (int l = 0; l + 1 < pset.numLoci && l + 1 < static_cast<int>(maxall.size()); l++)
    transitions += maxall[l] * rowBytes(maxall[l + 1], sizeof(double));
  // Each normal haplotype, and per locus of it the remembered place of its
  // table entry and running sum of its term, with the running sums a
  // frequency move proposes.
  const double normal = static_cast<double>(t.normalList.size());
  return chainTreeBytes() + likelihoodMemoBytes() + normal * rowBytes(loci, sizeof(int)) +
         normal * loci * (sizeof(int) + 2 * sizeof(double)) +
         (labels + 1.0) * rowBytes(loci, sizeof(double)) + transitions +
         rowBytes(loci, sizeof(int)) + 32 * sizeof(double);
}

double chainSampleBytes(long iterations) {
  return 2 * rowBytes(static_cast<double>(iterations), sizeof(double));
}
