// The sampler's move scratch: one record per chain, in the chain's work record
// (chainwork.h), so that a move's buffers keep their memory from one
// iteration to the next instead of being allocated in every one.
#pragma once

#include <utility>
#include <vector>

#include "likelihoodmemo.h"
#include "mutloc.h"

// What a move saves to put back on rejection, and its buffers.
struct MoveScratch {
  // A leaf's allele cells and node term, and its partner leaf's.
  std::vector<double> leafCells, partnerCells;
  double leafLik = 0, partnerLik = 0;
  // Every row's node term (frequency and location moves).
  std::vector<double> nodeLik;
  // The frequency move's saved tables and entry logs, and the proposed
  // running sums of the sample's haplotypes (laid out as SampleTerms') with
  // the haplotypes whose sums it changed.
  Table freqs;
  std::vector<double> transRow, entryLogs;
  std::vector<double> proposedSums;
  std::vector<int> changedHaps;
  // A table refresh's counts of the sample's cells, the row it draws, the
  // first-locus frequencies as a row and the transition table it replaced.
  std::vector<double> tableCounts, drawnRow, firstLocusRow;
  Table transitions;
  // Proposed haplotype of the root's state move; the loci an internal
  // state move changed with their former cells; one normal haplotype with a
  // proposed allele, its entries and running sums.
  Haplotype proposedState, hapBuffer;
  std::vector<std::pair<int, double>> changedCells;
  std::vector<int> hapEntries;
  std::vector<double> hapSums;
  // The rows whose node terms a genealogy stretch changes.
  std::vector<int> stretchedRows;
  // A leaf's missing-allele record being rebuilt; the logs of the frequency
  // table the leaf moves of one sweep read (see takeSweepLogs).
  std::vector<int> record;
  std::vector<double> sweepLogs;
  // The terms of each candidate allele of a full-conditional draw, or the
  // weights of the branches a guided regraft offers; the rows it cuts out.
  std::vector<double> candidateTerms;
  std::vector<char> marked;
  // The parts of the rows' terms over a sweep of allele draws; the logs of
  // the allele draws' proposal probabilities.
  RowParts parts;
  std::vector<double> proposalLogs;
  // The nodes of an allele block and the rows whose terms its change changes.
  std::vector<int> block, blockRows;
  // The leaf a sweep of one-locus phase tests scored last (-1: none yet) and
  // its partner chromosome's term now.
  int scoredLeaf = -1;
  double scoredPartnerTerm = 0;
};
