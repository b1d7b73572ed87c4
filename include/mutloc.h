// Shared run state of mutloc: the settings record, the tree-matrix layout,
// the population tables, the data as read, and the chains. Settings and data
// are filled by the reader and the run set-up and only read afterwards; each
// chain's changing state lives in its own record (chain.h).
#pragma once

#include <cstdint>
#include <vector>

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

// The run-wide settings read from the control file. Set-up completes them
// (the simulated location); once the chains are built nothing writes them.
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
  // proposal widths shared by the chains and the population-model switch
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
  // whether the chains' starting locations were drawn (-99)
  bool mutLocStartDrawn = false;
  // tables
  std::vector<double> mapDist;  // 1-based marker positions, mapDist[1] = 0
  std::vector<double> segStart; // location-prior segments
  std::vector<double> segWeight;
  double segweights[3] = {0, 0, 0}; // exon, intron, non-gene weights
  int numsegs = 0;
  // others
  int32_t randomSeed = 0;
  int useSeqWeights = 0;
  int histogramBars = 0;
  double alphaLevel = 0;
};

extern Settings pset;

// One chain's settings read from the control file: its proposal step widths
// and its starting location, age and ancestral haplotype. Set-up completes
// them (random starts, the simulated location, the ancestral haplotype drawn
// or stored) and hands each to its chain, which holds them from then on.
struct ChainSettings {
  double treeAdjust = 0;       // half-width of the age and node-time steps
  double rootDepthAdjust = 0;  // spread of the regraft's depth step
  double recDistAdjust = 0;    // half-width of the location step
  double alleleFreqAdjust = 0; // width of the frequency step
  double mutLocStart = 0;
  double mutAgeStart = 0;
  Haplotype rootLoci;
};

// By chain, as the reader and set-up leave them.
extern std::vector<ChainSettings> chainSettings;

// Tree-row layout, fixed at run set-up.
extern int TMAT;
extern int TOTLOCI;

// Population tables.
extern std::vector<int> maxall; // alleles per locus (2L entries for unpaired genotypes)
extern std::vector<std::vector<int>> normmat; // normal-population counts [allele][locus]

// Data as read.
constexpr int patientRows = 1000;
constexpr int patientCols = 1000;
extern std::vector<std::vector<int>> patientData; // 1000 x 1000
extern int maxAllele;
// The number of rows of the control file's patient block, and the block row
// (from 0) of each stored row of patientData: a haplotype row whose count is
// 0 is not stored, nor are genotype rows beyond the individuals.
extern int patientBlockRows;
extern std::vector<int> patientBlockRow;

// Normal-population haplotypes with missing alleles: records [m, h, j1..jm],
// the same for every chain.
extern std::vector<std::vector<int>> missingNormalLoci;
extern int normalHasMissing;

// Chain 0's starting frequencies, from which simulated partner chromosomes
// are drawn ([label][locus], labels 0..A-1).
extern std::vector<std::vector<double>> simAlleleFreqs;

// Haplotype tallies of chain 0 (kept only when haplotypes are saved): one row
// per distinct leaf haplotype, at most maxTalliedHaplotypes of them (later
// new haplotypes are not tallied).
constexpr int maxTalliedHaplotypes = 1000;
extern std::vector<std::vector<int>> hapstate;
