// What a chain's likelihood remembers between evaluations: the population
// look-up buffer, the list of transition rows a full pass reads,
// the exponentials of the crossover weights by row and branch length, and the
// logarithms of the table entries. Every remembered value is checked against
// its argument (the exponentials of a branch length by the length and the map
// they were taken for; the rows are listed afresh by every pass), so the memo
// only saves work: a fresh memo gives the same results.
//
// Words used here and in the kernels that read these records:
//   side     the markers left of the mutation location, or those right of it.
//            A row's term is the log of the product of two sums, one per side;
//            the side index b is the first marker (1-based) right of the
//            location.
//   look-up  a row's population probability of its alleles beyond a marker
//            (a right look-up) or up to one (a left look-up). The look-ups
//            of a cut, numLoci of them, are left look-ups at the loci left
//            of the location and right look-ups at those right of it.
//   place    where a row's remembered exponentials live. Each row has its own
//            place unless the genealogy is too large for the memory they may
//            take; rows then share places, row r using place r mod places.
//   way      one of the few entries of a place, each holding the
//            exponentials of one branch length (the current genealogy's and
//            a proposal's), reused for the same length and otherwise given
//            to the entry used longest ago.
//   parts    a row's term kept in pieces (RowParts): the look-ups of its cut
//            and its two side sums, so that a change at one locus sums again
//            only the side that reads it.
//   slot     where proposed parts wait until the move that proposed them
//            keeps them.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "remembered.h"
#include "transitionrows.h"

// An exponential that depends on the location, remembered for the last two
// arguments: a location move evaluates every node at a proposed location
// between evaluations at the chain's own one.
struct LocatedExp {
  Remembered latest, earlier;
};

// The four of one branch length: the shift and the first weight of each side.
struct LocatedExps {
  LocatedExp shiftRight, firstRight, shiftLeft, firstLeft;
};

// The branch length a way of a row holds and when it was last used.
struct WayKey {
  double t = std::numeric_limits<double>::quiet_NaN();
  unsigned long lastUse = 0;
};

// The remembered logs of the entries of one table object, found by its
// address.
struct TableLogs {
  const void *table = nullptr;
  std::vector<Remembered> logs;
};

// The terms a stored total was summed from, as bits, and the running sum
// after each row; rows from kept on hold nothing yet.
struct RunningTotal {
  std::vector<uint64_t> termBits;
  std::vector<double> sums;
  size_t kept = 0;
};

struct LikelihoodMemo {
  std::vector<double> popProb;          // segment look-up of one side of a row
  std::vector<double> rowProbs;         // a full pass's rows before their logs
  TransitionRows transRows;             // listed afresh by each full pass
  std::vector<WayKey> wayKeys;          // a few ways per row place
  std::vector<double> markerExps;       // 2 (L + 1) per way: right, then left
  std::vector<LocatedExps> locatedExps; // one per way
  unsigned long wayUses = 0;
  // The genealogy size and map the ways are laid out for, and their places.
  size_t expRows = 0, expPlaces = 0;
  std::vector<double> expMap;
  double sideX = std::numeric_limits<double>::quiet_NaN(); // a location and its side index
  int side = 0;
  std::vector<TableLogs> frequencyLogs, transitionLogs;
  RunningTotal total; // of the genealogy last summed
};

// Every row's term of a genealogy in parts: the look-ups of its cut (numLoci
// per row) and the sums of its two sides, whose product is the probability
// whose log is the term. A sweep of allele draws, which changes no table,
// branch or location, takes them once; a draw then sums again only the side
// of the row that reads the changed allele. Proposed parts wait in slots
// until kept: three with look-ups (a node's own change and its two
// children's), and sides in as many slots as a locus has alleles (each
// candidate allele of the ancestral haplotype keeps its root's sides).
// b is the side index of the location the parts were taken at.
struct RowParts {
  int b = 0;
  std::vector<double> lookUps;
  std::vector<double> left, right;
  std::vector<double> proposedLookUps;
  std::vector<double> proposedLeft, proposedRight;
};
