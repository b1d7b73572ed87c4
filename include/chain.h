// One record per chain: its genealogy and working copies, its population
// tables and normal haplotypes, its current location and age, its log terms,
// acceptance counters and samples, its missing-allele lists, and the scratch
// and memos its moves use. A move takes the chain it works on; nothing of a
// chain lives anywhere else, so chains can be built, copied and run apart.
#pragma once

#include <utility>
#include <vector>

#include "likelihoodmemo.h"
#include "mutloc.h"

// The normal-population sample's log probability is the sum, in list order,
// of the haplotypes' terms: log f(|h_0|, 0) + 0.0, then the log of each
// transition along the haplotype, added in locus order. A chain remembers the
// logs of the table entries these terms read and, for every haplotype, where
// its entries lie among them and its running sums after each locus. A change
// at locus k leaves a haplotype's running sums before k as they were, so a
// move continues from there and adds exactly what a whole evaluation adds.
// The frequency and missing-allele moves keep all of it current; anything
// else that changes the tables or the haplotypes forgets it.
struct SampleTerms {
  bool taken = false;              // false until taken and after forgetting
  std::vector<double> logs;        // first-locus entries by allele, then MP1
  std::vector<int> tableStart;     // where each of MP1's tables starts in logs
  std::vector<int> entries;        // per haplotype, loci places in logs
  std::vector<double> runningSums; // per haplotype, loci sums; the last its term
};

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
  // A leaf's missing-allele record being rebuilt; the logs of the frequency
  // table the leaf moves of one sweep read (see takeSweepLogs).
  std::vector<int> record;
  std::vector<double> sweepLogs;
  // The terms of each candidate allele of a full-conditional draw, or the
  // weights of the branches a guided regraft offers; the rows it cuts out.
  std::vector<double> candidateTerms;
  std::vector<char> marked;
  // The rows whose node terms a genealogy stretch changes; the rows a
  // regraft changes.
  std::vector<int> changedRows;
  // The parts of the rows' terms over a sweep of allele draws; the logs of
  // the allele draws' proposal probabilities.
  RowParts parts;
  std::vector<double> proposalLogs;
  // The internal rows in the order of their ages and the founder leaves below
  // every row, for the membership draws.
  std::vector<int> events, foundersBelow;
  // The nodes of an allele block and the rows whose terms its change changes.
  std::vector<int> block, blockRows;
  // The leaf a sweep of one-locus phase tests scored last (-1: none yet) and
  // its partner chromosome's term now.
  int scoredLeaf = -1;
  double scoredPartnerTerm = 0;
};

// By row of a genealogy: nonzero for a leaf whose chromosome is a draw from
// the normal population rather than a descendant of the founder.
using PopulationRows = std::vector<char>;

// Heterogeneity (the mixing sampler's --heterogeneity). Each patient
// chromosome, a leaf of the genealogy, either descends from the founder or
// is a draw from the normal population (another mutation, another founder, a
// misdiagnosis); a founder share s in [0, 1] is the prior probability of the
// first. With the option off, drawn is empty and every leaf descends from
// the founder.
struct Membership {
  PopulationRows drawn; // by row
  int founders = 0;     // leaves that descend from the founder
  double share = 1;
  // The founder genealogy's part of the chain's genealogy prior (see
  // founderTreeTerm), included in the chain's treePrior, and the logs of the
  // whole numbers and their factorials it is made of.
  double treeTerm = 0;
  std::vector<double> logInts, logFactorials;
  // The share's Beta prior, or the share held fixed.
  double priorA = 1, priorB = 1;
  bool shareFixed = false;
  // The log of the age prior's integral over the age bounds, by founder
  // count (NaN where not yet taken).
  std::vector<double> ageNorms;
  // Sampling iterations each row spent as a founder leaf; the share of each
  // sampling iteration.
  std::vector<long> founderIterations;
  std::vector<double> shareSamples;
};

// Acceptance proportions shown in the trace: genealogy, location, root
// state, internal states, frequencies.
constexpr int propCount = 5;

struct Chain {
  // The chain's place in the run, which picks its per-chain settings.
  int index = 0;

  // The genealogy and the proposal genealogy built from it (a node-time or
  // scaling proposal, or the rows a regraft keeps to put back); the ordered
  // node ages of the genealogy and of the proposal; the in-order leaf
  // sequence of a node-time move and the labels of the nodes in the order of
  // their ages.
  TreeMatrix tree, propTree;
  std::vector<double> nodeTimes, propTimes;
  std::vector<int> labelOrder, ageOrder;

  // Population tables: allele frequencies [allele][locus] and transitions;
  // the chain's normal haplotypes (missing alleles imputed as -a).
  Table popHapFreqs;
  TransTable MP1;
  std::vector<Haplotype> normalHaps;

  // Current state: ancestral haplotype, location, age, and the age a
  // genealogy proposal carries.
  Haplotype rootLoci;
  double mutLoc = 0;
  double mutAge = 0;
  double propMutAge = 0;

  // The chain's step widths: of the age and node-time moves, the regraft's
  // depth, the location move (reduced once when wider than the location
  // interval) and the frequency move.
  double treeAdjust = 0;
  double rootDepthAdjust = 0;
  double recDistAdjust = 0;
  double alleleFreqAdjust = 0;

  // Log terms of the state.
  double logLik = 0;
  double treePrior = 0;
  double mutAgePrior = 0;
  double rootHapProb = 0;
  double locPrior = 0;
  double partnerProb = 0;
  double popSampleProb = 0;

  // Acceptance counters and the proportions last refreshed from them.
  int accTree = 0;
  double accMutLoc = 0;
  int accRoot = 0;
  int accInternal = 0;
  int accFreq = 0;
  double props[propCount] = {0, 0, 0, 0, 0};

  // Samples of the sampling iterations; the mixing sampler also keeps the
  // log-likelihood at the end of each.
  std::vector<double> locationSamples, ageSamples, logLikSamples;

  // By row: the row of the control file's patient data whose chromosome the
  // leaf carries (with paired genotypes, the individual's); -1 for internal
  // rows.
  std::vector<int> dataRow;
  Membership membership;

  // Leaves with imputed alleles and their records [label, m1, m2, columns].
  std::vector<int> missingLeaves;
  std::vector<std::vector<int>> missingLoci;

  SampleTerms sampleTerms;
  MoveScratch scratch;
  LikelihoodMemo memo;
};

// The run's chains.
extern std::vector<Chain> chains;
