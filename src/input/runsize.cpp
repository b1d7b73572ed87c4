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

double chainStateBytes() {
  const double loci = pset.numLoci;
  int labels = 0;
  for (int l = 0; l < pset.numLoci && l < static_cast<int>(maxall.size()); l++)
    labels = std::max(labels, maxall[l]);
  // The chain's transition table between adjacent loci.
  double transitions = 0;
  for (int l = 0; l + 1 < pset.numLoci && l + 1 < static_cast<int>(maxall.size()); l++)
    transitions += maxall[l] * rowBytes(maxall[l + 1], sizeof(double));
  return chainTreeBytes() +
         static_cast<double>(normalChromosomeCount()) * rowBytes(loci, sizeof(int)) +
         (labels + 1.0) * rowBytes(loci, sizeof(double)) + transitions +
         rowBytes(loci, sizeof(int)) + 32 * sizeof(double);
}

double chainSampleBytes(long iterations) {
  return 2 * rowBytes(static_cast<double>(iterations), sizeof(double));
}
