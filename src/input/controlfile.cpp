// The control-file reader readdata3 and its scanner: the settings items in
// file order with their checks, the seed set-up, the random starting values
// the file asks for and the settings echo in the log. The data tables are read
// by the routines of datasections.cpp at their places in the file.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <limits>
#include <new>

#include "controlscan.h"
#include "input.h"
#include "messages.h"
#include "random.h"
#include "stop.h"

std::string itemMessage(const char *before, const char *item) {
  return std::string(before) + item + msg::itemEnd;
}

void eatWhite(std::istream &in, char letter, const char *item) {
  for (;;) {
    const int c = in.get();
    if (c == EOF)
      stop(itemMessage(msg::unexpectedEnd, item));
    if (std::toupper(c) == letter)
      return;
  }
}

void skipLine(std::istream &in) {
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

void skipChars(std::istream &in, const char *set) {
  // strchr also finds the terminating NUL, which is no member of the set.
  for (int c = in.peek(); c != EOF && c != 0 && std::strchr(set, c); c = in.peek())
    in.get();
}

bool atLineEnd(std::istream &in) {
  const int c = in.peek();
  if (c == '\n')
    return true;
  if (c != '\r')
    return false;
  in.get();
  const bool lineFeed = in.peek() == '\n';
  in.unget();
  return lineFeed;
}

void takeLineEnd(std::istream &in) {
  if (in.get() == '\r')
    in.get();
}

namespace {

// One number by stream extraction; a line end or any white space before it is
// skipped, so the end of the file is known before the extraction is tried.
template <typename T> T readNumber(std::istream &in, const char *item) {
  in >> std::ws;
  if (in.peek() == EOF)
    stop(itemMessage(msg::unexpectedEnd, item));
  T value{};
  if (!(in >> value))
    stop(itemMessage(msg::couldNotRead, item));
  return value;
}

} // namespace

int readInt(std::istream &in, const char *item) {
  return readNumber<int>(in, item);
}

double readDouble(std::istream &in, const char *item) {
  return readNumber<double>(in, item);
}

bool atTerminator(std::istream &in, const std::string &terminators, const char *item,
                  bool skipWhite) {
  if (skipWhite)
    in >> std::ws;
  const int c = in.get();
  if (c == EOF)
    stop(itemMessage(msg::unexpectedEnd, item));
  if (terminators.find(static_cast<char>(std::toupper(c))) != std::string::npos)
    return true;
  in.unget();
  return false;
}

namespace {

// A label found by its first letter: the search, then the rest of its line.
void findLabel(std::istream &in, char letter, const char *item) {
  // Where the search starts, for the warning about text it passes over.
  const std::streampos from = in.good() ? in.tellg() : std::streampos(-1);
  eatWhite(in, letter, item);
  warnSkippedText(in, from, item);
  skipLine(in);
}

// A 0/1 switch.
int readSwitch(std::istream &in, const char *item, const char *message) {
  const int value = readInt(in, item);
  if (value != 0 && value != 1)
    stop(message);
  return value;
}

// Items 1 to 6: the data kind, the seed and the sizes.
void readDataKindAndSizes(std::istream &in, std::ostream &log, Rng &rng,
                          const MemoryBudget &budget) {
  in.clear();
  in.seekg(0);
  skipLine(in);
  pset.dataAsGenotypes = readSwitch(in, msg::itemDataAsGenotypes, msg::dataAsGenotypes01);
  findLabel(in, 'G', msg::itemGeneticModel);
  pset.geneticModel = readSwitch(in, msg::itemGeneticModel, msg::geneticModel01);
  // Phase pairs exist only with genotypes.
  if (pset.dataAsGenotypes == 0)
    pset.geneticModel = 0;
  findLabel(in, 'R', msg::itemReadOldFile);
  pset.readOldFile = readSwitch(in, msg::itemReadOldFile, msg::readOldFile01);

  findLabel(in, 'U', msg::itemRandomSeed);
  pset.randomSeed = readInt(in, msg::itemRandomSeed);
  if (pset.randomSeed > 0)
    stop(msg::randomSeedSign);
  // A fixed seed also fixes the system generator behind the shuffles; 0 asks
  // for a seed from the clock. Either way the seed is not positive, so the
  // first uniform draw fills the shuffle table afresh.
  if (pset.randomSeed < 0) {
    rng.seed = pset.randomSeed;
    seedFeedback(rng.feedback, static_cast<uint32_t>(pset.randomSeed));
  } else {
    seedFeedback(rng.feedback, static_cast<uint32_t>(time(nullptr)));
    rng.seed = -nextFeedback(rng.feedback);
  }
  log << rng.seed << std::endl;

  findLabel(in, '#', msg::itemChromosomes);
  pset.numChromosomes = readInt(in, msg::itemChromosomes);
  if (pset.numChromosomes <= 0)
    stop(msg::chromosomesPositive);
  if (pset.dataAsGenotypes == 1) {
    // Every individual gives two chromosomes. With unpaired genotypes only one
    // of them carries the mutation, so the genealogy has one leaf per
    // individual; with paired genotypes both are leaves.
    if (pset.numChromosomes % 2 != 0)
      stopNoNewline(msg::chromosomesEven);
    if (pset.geneticModel == 0)
      pset.numChromosomes /= 2;
  }
  if (pset.numChromosomes < 2)
    stop(msg::chromosomesTooFew);

  findLabel(in, '#', msg::itemLoci);
  pset.numLoci = readInt(in, msg::itemLoci);
  if (pset.numLoci <= 0)
    stop(msg::lociPositive);
  // A patient row holds a count and one label per locus, or two labels per
  // locus, in at most patientCols columns.
  if (pset.numLoci > (pset.dataAsGenotypes == 1 ? patientCols / 2 : patientCols - 1))
    stop(msg::lociLimit);
  requireMemory(budget, msg::itemChromosomes, chainTreeBytes());
  pset.mapDist.assign(pset.numLoci + 1, 0.0);
}

// Item 8: the marker map, increasing from 0.
void readMapDistances(std::istream &in) {
  const int loci = pset.numLoci;
  const int count = readList<double>(in, "R", msg::itemMapDistance, [&](double value, int k) {
    if (k > 0 && !(value > pset.mapDist[k]))
      stop(msg::mapIncreasing);
    if (k >= loci)
      stop(msg::mapCount);
    pset.mapDist[k + 1] = value;
  });
  if (count != loci)
    stop(msg::mapCount);
  if (pset.mapDist[1] != 0)
    stop(msg::mapStart);
  pset.mapDist[0] = 0;
  warnMapSpan();
}

// Items 9 to 12: simulation, the mutation interval and the number of chains,
// which sizes every per-chain array.
void readSimulationAndChains(ReadTables &t, std::istream &in,
                             std::vector<std::vector<Haplotype>> &normalHaps,
                             const MemoryBudget &budget) {
  pset.runSimulation = readSwitch(in, msg::itemRunSimulation, msg::runSimulation01);
  findLabel(in, 'M', msg::itemMutLocation);
  pset.simMutLocation = readDouble(in, msg::itemMutLocation);

  findLabel(in, 'M', msg::itemMutLocBounds);
  double bounds[2] = {0, 0};
  const int count = readList<double>(in, "#", msg::itemMutLocBounds, [&](double value, int k) {
    if (k < 2)
      bounds[k] = value;
  });
  if (count != 2)
    stop(msg::mutLocBoundsCount);
  pset.mutLocLow = bounds[0];
  pset.mutLocHigh = bounds[1];
  if (!(pset.mutLocLow < pset.mutLocHigh))
    stop(msg::mutLocBoundsOrder);

  pset.numChains = readInt(in, msg::itemChains);
  if (pset.numChains <= 0)
    stop(msg::chainsPositive);
  const int chains = pset.numChains;
  requireMemory(budget, msg::itemChains, chains * chainStateBytes(t));
  ChainSettings blank;
  blank.rootLoci.assign(pset.numLoci, 0);
  chainSettings.assign(chains, blank);
  copyNormalHaplotypes(t, normalHaps);
}

// Items 13 to 23: the location start, the population model, the move
// switches, the proposal widths, the iterations and the output schedule.
void readModelAndSchedule(const ReadTables &t, std::istream &in, const MemoryBudget &budget) {
  findLabel(in, 'S', msg::itemMutLocStart);
  const double start = readDouble(in, msg::itemMutLocStart);
  for (ChainSettings &own : chainSettings)
    own.mutLocStart = start;
  findLabel(in, 'P', msg::itemGrowthRate);
  pset.growthRate = readDouble(in, msg::itemGrowthRate);
  if (!(pset.growthRate > 0))
    stop(msg::growthRatePositive);
  findLabel(in, 'P', msg::itemPropSampled);
  pset.propSampled = readDouble(in, msg::itemPropSampled);
  if (!(pset.propSampled > 0))
    stop(msg::propSampledPositive);

  findLabel(in, 'I', msg::itemIterate);
  int *const switches[4] = {&pset.iterAncestral, &pset.iterMutAge, &pset.iterMutLocation,
                            &pset.iterAlleleFreq};
  const int switchCount = readList<int>(in, "F", msg::itemIterate, [&](int value, int k) {
    if (value < 0 || value > 3)
      stop(msg::iterateValue);
    if (k < 4)
      *switches[k] = value;
  });
  if (switchCount != 4)
    stop(msg::iterateCount);
  // A simulation starts every chain at the location the data were drawn for.
  if (pset.runSimulation == 1)
    for (ChainSettings &own : chainSettings)
      own.mutLocStart = pset.simMutLocation;
  pset.flipAllLoci = readSwitch(in, msg::itemFlipAllLoci, msg::flipAllLoci01);

  findLabel(in, 'A', msg::itemAdjust);
  double levels[7] = {0, 0, 0, 0, 0, 0, 0};
  const int levelCount = readList<double>(in, "B", msg::itemAdjust, [&](double value, int k) {
    if (!(value >= 0))
      stop(msg::adjustValue);
    if (k < 7)
      levels[k] = value;
  });
  if (levelCount != 7)
    stop(msg::adjustCount, msg::adjustCountStatus);
  for (ChainSettings &own : chainSettings) {
    own.treeAdjust = levels[0];
    own.rootDepthAdjust = levels[1];
    own.recDistAdjust = levels[2];
    own.alleleFreqAdjust = levels[5];
  }
  pset.ancestralAdjust = levels[3];
  pset.internalAdjust = levels[4];
  pset.algSwitch = levels[6];

  pset.burnInIterations = readInt(in, msg::itemBurnIn);
  if (pset.burnInIterations <= 0)
    stop(msg::burnInPositive);
  findLabel(in, 'I', msg::itemIterations);
  pset.realIterations = readInt(in, msg::itemIterations);
  if (pset.realIterations <= 0)
    stop(msg::iterationsPositive);
  requireMemory(budget, msg::itemIterations,
                pset.numChains * (chainStateBytes(t) + chainSampleBytes(pset.realIterations)));

  findLabel(in, 'S', msg::itemUpdates);
  int *const schedule[4] = {&pset.screenUpdateInterval, &pset.fileUpdateInterval,
                            &pset.saveAcceptProps, &pset.saveHaplotypes};
  const int scheduleCount = readList<int>(in, "N", msg::itemUpdates, [&](int value, int k) {
    if (value < 0)
      stop(msg::updatesValue);
    if (k < 4)
      *schedule[k] = value;
  });
  if (scheduleCount != 4)
    stop(msg::updatesCount);
  pset.histogramBars = readInt(in, msg::itemHistogramBars);
  if (pset.histogramBars <= 0)
    stop(msg::histogramBarsPositive);
  findLabel(in, 'A', msg::itemAlphaLevel);
  pset.alphaLevel = readDouble(in, msg::itemAlphaLevel);
  if (!(pset.alphaLevel > 0 && pset.alphaLevel < 1))
    stop(msg::alphaLevelRange);
}

// Items 24 to 26: the mutation age with its bounds, the random ages of a -99
// start, and the star-genealogy switch.
void readMutationAge(std::istream &in, Rng &rng) {
  findLabel(in, 'M', msg::itemMutAge);
  const double age = readDouble(in, msg::itemMutAge);
  if (!(age > 0 || age == -99))
    stop(msg::mutAgeValue);
  if (age == -99)
    chainSettings[0].mutAgeStart = age;
  else
    for (ChainSettings &own : chainSettings)
      own.mutAgeStart = age;

  findLabel(in, 'M', msg::itemMutAgeBounds);
  if (pset.iterMutAge != 0) {
    double bounds[2] = {0, 0};
    const int count = readList<double>(in, "S", msg::itemMutAgeBounds, [&](double value, int k) {
      if (!(value >= 0))
        stop(msg::mutAgeBoundsValue);
      if (k < 2)
        bounds[k] = value;
    });
    if (count != 2)
      stop(msg::mutAgeBoundsCount);
    pset.mutAgeLow = bounds[0];
    pset.mutAgeHigh = bounds[1];
    if (!(pset.mutAgeLow < pset.mutAgeHigh))
      stop(msg::mutAgeBoundsOrder);
  } else {
    // A fixed age has no bounds to read: everything up to the S of "Star
    // genealogy" is passed over, and the age is its own interval.
    eatWhite(in, 'S', msg::itemMutAgeBounds);
    skipLine(in);
    pset.mutAgeLow = chainSettings[0].mutAgeStart;
    pset.mutAgeHigh = chainSettings[0].mutAgeStart;
  }
  // Random starting ages come from the low end of the interval: a wide
  // interval gives starts within 100 time units of its lower bound.
  if (chainSettings[0].mutAgeStart == -99) {
    const double span = pset.mutAgeHigh - pset.mutAgeLow;
    for (int c = 0; c < pset.numChains; c++)
      chainSettings[c].mutAgeStart = pset.mutAgeLow + ran1(rng) * (span < 100 ? span : 100);
  }
  for (int c = 0; c < pset.numChains; c++)
    if (!(chainSettings[c].mutAgeStart > 0))
      stop(msg::mutAgeNotIterated);

  pset.starGenealogy = readSwitch(in, msg::itemStarGenealogy, msg::starGenealogy01);
}

// Item 27: the ancestral haplotype, given per locus or drawn (-99) from the
// alleles of the normal population. Ends with the patient label line.
void readRootLoci(std::istream &in, Rng &rng) {
  findLabel(in, 'L', msg::itemRootLoci);
  const int loci = pset.numLoci;
  Haplotype &root = chainSettings[0].rootLoci;
  int count = 0;
  // Only the very first character may end an empty list; after -99 its line
  // is discarded and the patient label must follow at once.
  bool skipWhite = false;
  while (!atTerminator(in, "PF", msg::itemRootLoci, skipWhite)) {
    const double value = readDouble(in, msg::itemRootLoci);
    skipWhite = true;
    if (value == -99) {
      for (int l = 0; l < loci; l++)
        root[l] = random2(maxall[l], rng) + 1;
      skipLine(in);
      count = loci;
      skipWhite = false;
      continue;
    }
    if (!(value >= 1))
      stop(msg::rootLociValue);
    if (count >= loci)
      stop(msg::rootLociCount);
    if (value >= 499)
      stop(msg::rootLociLabelBefore + std::to_string(count + 1) + msg::rootLociLabelAfter);
    root[count++] = static_cast<int>(value);
  }
  skipLine(in);
  if (count != loci)
    stop(msg::rootLociCount);
  for (int c = 1; c < pset.numChains; c++)
    chainSettings[c].rootLoci = root;
}

// Values blank-separated: each one followed by a blank.
template <typename T> void echoEach(std::ostream &log, const std::vector<T> &values, size_t from) {
  for (size_t i = from; i < values.size(); i++)
    log << values[i] << " ";
  log << std::endl;
}

// One per-chain setting of every chain, the same way.
void echoEach(std::ostream &log, const std::vector<ChainSettings> &own,
              double ChainSettings::*setting) {
  for (const ChainSettings &c : own)
    log << c.*setting << " ";
  log << std::endl;
}

// The settings echo. The random starting locations of a -99 start are drawn
// here, the last of the reader's draws.
void echoSettings(const ReadTables &t, std::ostream &log, Rng &rng, int maxAlleleRead,
                  const std::vector<std::vector<int>> &patientData) {
  log << "Using genotypes?" << std::endl << pset.dataAsGenotypes << std::endl;
  log << "Genetic model" << std::endl << pset.geneticModel << std::endl;
  log << "Read old?" << std::endl << pset.readOldFile << std::endl;
  log << "Fixed random seed?" << std::endl << pset.randomSeed << std::endl;
  log << "#Chrom" << std::endl << pset.numChromosomes << std::endl;
  log << "#Loci" << std::endl << pset.numLoci << std::endl;
  log << "Frequencies" << std::endl;
  for (int a = 1; a <= maxAlleleRead; a++) {
    for (int l = 0; l < pset.numLoci; l++)
      log << t.echoFreqs[a][l] << " ";
    log << "\n";
  }
  log << std::endl;
  log << "Map distances" << std::endl;
  echoEach(log, pset.mapDist, 1);
  log << "Run simulation?" << std::endl << pset.runSimulation << std::endl;
  if (pset.runSimulation == 1)
    log << "Mutation location" << std::endl << pset.simMutLocation << std::endl;
  else
    log << "No simulation running, so mut. location not set" << std::endl;
  log << "Low and high mutation boundaries" << std::endl
      << pset.mutLocLow << " " << pset.mutLocHigh << std::endl;
  log << "Number of chains" << std::endl << pset.numChains << std::endl;
  log << "Starting value(s) for mutation" << std::endl;
  if (chainSettings[0].mutLocStart == -99) {
    const double width = pset.mutLocHigh - pset.mutLocLow;
    for (int c = 0; c < pset.numChains; c++)
      chainSettings[c].mutLocStart = pset.mutLocLow + ran1(rng) * width;
    pset.mutLocStartDrawn = true;
    log << "-99 " << std::endl;
  } else {
    echoEach(log, chainSettings, &ChainSettings::mutLocStart);
  }
  log << "Population growth rate" << std::endl << pset.growthRate << std::endl;
  log << "Proportion sampled" << std::endl << pset.propSampled << std::endl;
  log << "Iterate ancestral haplotypes, mutation age, mutation location, allele freq?" << std::endl
      << pset.iterAncestral << " " << pset.iterMutAge << " " << pset.iterMutLocation << " "
      << pset.iterAlleleFreq << std::endl;
  log << "Flip all loci?" << std::endl << pset.flipAllLoci << std::endl;
  log << "Adjustment level for tree, rootdepth, recdist, ancestral states, internal states, , "
         "allele freq., and method"
      << std::endl
      << chainSettings[0].treeAdjust << " " << chainSettings[0].recDistAdjust << " "
      << pset.ancestralAdjust << " " << pset.internalAdjust << " "
      << chainSettings[0].alleleFreqAdjust << " " << pset.algSwitch << std::endl;
  log << "Burn-in iterations" << std::endl << pset.burnInIterations << std::endl;
  log << "\"Real\" iterations" << std::endl << pset.realIterations << std::endl;
  log << "Screen, file updates, store acceptance props, store pop.haplotypes, ind. haplotypes?"
      << std::endl
      << pset.screenUpdateInterval << " " << pset.fileUpdateInterval << " " << pset.saveAcceptProps
      << " " << pset.saveHaplotypes << " " << pset.saveIndHaplotypes << std::endl;
  log << "Histogram bars" << std::endl << pset.histogramBars << std::endl;
  log << "Alpha level for histogram" << std::endl << pset.alphaLevel << std::endl;
  log << "Mutation age" << std::endl;
  echoEach(log, chainSettings, &ChainSettings::mutAgeStart);
  if (pset.iterMutAge != 0)
    log << "Mutation age boundaries" << std::endl
        << pset.mutAgeLow << " " << pset.mutAgeHigh << std::endl;
  log << "Use star phylogeny?" << std::endl << pset.starGenealogy << std::endl;
  log << (pset.dataAsGenotypes == 1 ? "Genotype frequencies" : "Haplotype frequencies")
      << (pset.runSimulation == 1 ? " were simulated" : "") << std::endl;
  if (pset.runSimulation == 0)
    echoPatientRows(t, log, patientData);
  log << "Use sequence data?" << std::endl << pset.useSeqWeights << std::endl;
  if (pset.useSeqWeights == 1) {
    log << "Seg. weights" << std::endl
        << pset.segweights[0] << " " << pset.segweights[1] << " " << pset.segweights[2] << " "
        << std::endl;
    echoSegments(t, log);
  } else {
    log << "Sequence data not used" << std::endl;
  }
}

int readControlFile(Rng &rng, int *segCount, std::istream &in, std::ostream &log,
                    std::vector<std::vector<int>> &patientData,
                    std::vector<std::vector<Haplotype>> &normalHaps, const MemoryBudget &budget) {
  pset = Settings();
  ReadTables t;
  readDataKindAndSizes(in, log, rng, budget);
  findLabel(in, 'N', msg::itemNormalPop);
  readNormalTable(t, in, budget);
  readMapDistances(in);
  readSimulationAndChains(t, in, normalHaps, budget);
  readModelAndSchedule(t, in, budget);
  readMutationAge(in, rng);
  readRootLoci(in, rng);
  readPatientTable(t, in, patientData);
  const int maxAlleleRead = buildAlleleTables(t, patientData);
  // Patient labels can widen the transition tables the set-up builds.
  requireMemory(budget, msg::itemChains,
                pset.numChains * (chainStateBytes(t) + chainSampleBytes(pset.realIterations)));
  pset.useSeqWeights = readSwitch(in, msg::itemUseSeqWeights, msg::useSeqWeights01);
  if (pset.useSeqWeights == 1)
    readSequenceWeights(t, in);
  *segCount = pset.numsegs;
  echoSettings(t, log, rng, maxAlleleRead, patientData);
  return checkMissingAlleles(patientData) ? maxAlleleRead : 0;
}

} // namespace

int readdata3(Rng &rng, int *segCount, std::istream &in, std::ostream &log,
              std::vector<std::vector<int>> &patientData,
              std::vector<std::vector<Haplotype>> &normalHaps, const MemoryBudget &budget) {
  // Sizes come from the file; one beyond what memory holds ends the run with
  // a message rather than an abort.
  try {
    return readControlFile(rng, segCount, in, log, patientData, normalHaps, budget);
  } catch (const std::bad_alloc &) {
    stop(msg::outOfMemory);
  }
}
