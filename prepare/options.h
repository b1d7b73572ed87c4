// The command line of mutloc-prepare: what to read, how to choose and filter
// the samples and markers, and every run setting written into the control
// file, each with the default a first analysis can use.
#pragma once

#include <string>
#include <vector>

#include "region.h"

enum class GeneticModel { recessive, dominant };
enum class MapFormat { automatic, plink, rate };

struct Options {
  bool help = false;
  bool version = false;
  // Inputs.
  std::string vcf, ped, mapPlink, cases, controls, map, out;
  MapFormat mapFormat = MapFormat::automatic;
  bool pedPhased = false;
  Region region;
  double cmPerMb = 0; // 0: not given
  // Samples and markers.
  GeneticModel model = GeneticModel::recessive;
  double minCallRate = 0.9;
  bool skipBadRecords = false; // damaged records are listed as dropped, not errors
  // Run settings.
  long seed = 1; // written as -seed; 0 takes the seed from the clock
  int chains = 2;
  long burnIn = 1000;
  long iterations = 10000;
  bool locationBoundsGiven = false; // else the first and last marker
  double locationLow = 0, locationHigh = 0;
  bool startGiven = false; // else random starts
  double startLocation = 0;
  double growthRate = 0.08;
  double propSampled = 0.02;
  int iterate[4] = {1, 1, 1, 1}; // ancestral, age, location move, frequencies
  int flipAllLoci = 0;
  // Tree, root depth, location step, ancestral, internal, frequencies; a
  // negative location step stands for a tenth of the map, at most 0.5.
  double adjust[6] = {2, 10, -1, 0.5, 0.5, 0.05};
  int markovPopulation = 1;
  int screenEvery = 1000;
  int fileEvery = 10;
  int saveAccept = 1;
  int saveHaplotypes = 1;
  int bars = 50;
  double alpha = 0.05;
  double age = -99; // -99: random starts
  double ageLow = 10, ageHigh = 500;
  int star = 0;
  int readOld = 0;
};

// Reads the arguments after the program name; throws UsageError for anything
// that cannot be used, before any file is read.
Options parseOptions(const std::vector<std::string> &args);
// The --help text: the synopsis, every option with its default, the exit
// statuses.
std::string helpText();
// The names of every option the parser accepts, for the help's own check.
std::vector<std::string> optionNames();
