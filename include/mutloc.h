// Shared run state of mutloc: the settings record, the tree-matrix layout,
// the population tables, the per-chain chain state and the sample stores.
// Everything here is created once per run (reader, run set-up, initial chain
// state) and released at the end; the subsystems read and update it in place.
#pragma once

#include <cstdint>
#include <vector>

// The run-wide random state: one signed 32-bit seed handed to every draw.
using Seed = int32_t;

// One genealogy: 2n - 1 rows of TMAT + TOTLOCI doubles (see the column enum).
using TreeRow = std::vector<double>;
using TreeMatrix = std::vector<TreeRow>;
// A table indexed [allele][locus] (frequencies) or [row][column].
using Table = std::vector<std::vector<double>>;
// Transition table of one chain: [k][a - 1][b - 1] = P(locus k + 1 = b | locus k = a).
using TransTable = std::vector<Table>;
using Haplotype = std::vector<int>;

// Structural columns of a tree-matrix row; allele columns start at TMAT.
enum TreeColumn {
  nodeLabel = 0,
  child1 = 1,
  child2 = 2,
  parent = 3,
  nodeTime = 4,
  branchLength = 5,
  nodeLogLik = 6,
  partnerLeaf = 7 // present only with paired genotypes (TMAT == 8)
};

// Settings and per-chain starting values read from the control file. The
// per-chain starting values are also the chains' current values.
struct Settings {
  // data kind
  int dataAsGenotypes = 0;
  int geneticModel = 0;
  int runSimulation = 0;
  double simMutLocation = 0;
  // sizes
  int numChromosomes = 0;
  int numLoci = 0;
  int numChains = 0;
  // iterations and output schedule
  int32_t burnInIterations = 0;
  int32_t realIterations = 0;
  int screenUpdateInterval = 0;
  int fileUpdateInterval = 0;
  int saveAcceptProps = 0;
  int saveHaplotypes = 0;
  int saveIndHaplotypes = 0;
  // move switches
  int iterAncestral = 0;
  int iterMutAge = 0;
  int iterMutLocation = 0;
  int iterAlleleFreq = 0;
  int flipAllLoci = 0;
  int starGenealogy = 0;
  int readOldFile = 0;
  // proposal widths (per chain where indexed) and the population-model switch
  std::vector<double> treeAdjust;
  std::vector<double> rootDepthAdjust;
  std::vector<double> recDistAdjust;
  std::vector<double> alleleFreqAdjust;
  double ancestralAdjust = 0;
  double internalAdjust = 0;
  double algSwitch = 0;
  // model constants
  double growthRate = 0;
  double propSampled = 0;
  double mutAgeLow = 0;
  double mutAgeHigh = 0;
  double mutLocLow = 0;
  double mutLocHigh = 0;
  // starting (and current) values per chain
  std::vector<double> mutLocStart;
  std::vector<double> mutAgeStart;
  std::vector<Haplotype> rootLoci; // [chain][locus]
  // tables
  std::vector<double> mapDist;    // 1-based marker positions, mapDist[1] = 0
  std::vector<Table> popHapFreqs; // [chain][allele][locus]
  std::vector<double> segStart;   // location-prior segments
  std::vector<double> segWeight;
  // others
  int32_t randomSeed = 0;
  int useSeqWeights = 0;
  int histogramBars = 0;
  double alphaLevel = 0;
  double curMutAge = 0; // mutation age of the chain being processed
};

extern Settings pset;

// Tree-row layout, fixed at run set-up.
extern int TMAT;
extern int TOTLOCI;

// Population tables.
extern std::vector<int> maxall; // alleles per locus (2L entries for unpaired genotypes)
extern std::vector<std::vector<int>> normmat; // normal-population counts [allele][locus]
extern std::vector<TransTable> MP1;           // per chain
extern std::vector<double> answer;            // scratch of the segment look-ups
extern double segweights[3];                  // exon, intron, non-gene weights
extern int numsegs;

// Data as read.
constexpr int patientRows = 1000;
constexpr int patientCols = 1000;
extern std::vector<std::vector<int>> patientData;      // 1000 x 1000
extern std::vector<std::vector<Haplotype>> normalHaps; // [chain][haplotype][locus]
extern int maxAllele;

// Missing-allele bookkeeping.
extern std::vector<std::vector<int>> missingNormalLoci; // records [m, h, j1..jm]
extern int normalHasMissing;
extern std::vector<std::vector<int>> missingLeaves;            // [chain][entry]
extern std::vector<std::vector<std::vector<int>>> missingLoci; // [chain][entry][TOTLOCI + 3]

// Per-chain state.
extern std::vector<TreeMatrix> chainTree;
extern std::vector<TreeMatrix> sortedTree;
extern std::vector<TreeMatrix> propTree;
extern std::vector<std::vector<double>> nodeTimes;
extern std::vector<double> propTimes;
extern std::vector<int> labelOrder;
extern std::vector<double> chainLogLik;
extern std::vector<double> chainTreePrior;
extern std::vector<double> chainMutAgePrior;
extern std::vector<double> chainRootHapProb;
extern std::vector<double> chainLocPrior;
extern std::vector<double> chainPartnerProb;
extern std::vector<double> chainPopSampleProb;
extern std::vector<int> accTree;
extern std::vector<double> accMutLoc;
extern std::vector<int> accRoot;
extern std::vector<int> accInternal;
extern std::vector<int> accFreq;
extern std::vector<std::vector<double>> props; // five arrays of numChains
extern std::vector<std::vector<double>> locationSamples;
extern std::vector<std::vector<double>> ageSamples;
extern std::vector<std::vector<double>> simAlleleFreqs; // [label][locus], labels 0..A-1

// Haplotype tallies of chain 0 (kept only when haplotypes are saved).
constexpr int sizething = 1000;
extern std::vector<std::vector<int>> hapstate;
