// Entry point: opens the control file and the seven output files named after
// it, then runs the phases of a run in order: reading, set-up, the chains'
// starting states, sampling, the final summaries, and closing.
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "chain.h"
#include "driver.h"
#include "genealogy.h"
#include "input.h"
#include "messages.h"
#include "mixing.h"
#include "mutloc.h"
#include "output.h"
#include "random.h"
#include "runreport.h"
#include "sampler.h"
#include "stop.h"

namespace {

// Output files in their opening order. They have static storage so that an
// error stop (which ends the process through exit) still flushes and closes
// them.
std::ofstream datFile, logFile, sigFile, hapFile, hpfFile, matFile, treFile;
std::ifstream controlFile;

// A path that opens but cannot be read from (a folder, say) counts as not
// opened.
bool openControlFile(const char *path) {
  controlFile.open(path);
  if (!controlFile.is_open())
    return false;
  controlFile.peek();
  return !controlFile.bad();
}

} // namespace

int main(int argc, char **argv) {
  // The sampler options; without them the run is the default one.
  SamplerChoice sampler;
  takeSamplerOptions(argc, argv, sampler);

  if (argc < 2 || !openControlFile(argv[1]))
    stop(msg::noInputFile);

  const std::string base = argv[1];
  const struct {
    std::ofstream *stream;
    const char *suffix;
  } outputs[] = {{&datFile, ".dat"}, {&logFile, ".log"}, {&sigFile, ".sig"}, {&hapFile, ".hap"},
                 {&hpfFile, ".hpf"}, {&matFile, ".mat"}, {&treFile, ".tre"}};
  for (const auto &o : outputs) {
    o.stream->open(base + o.suffix, std::ios::out | std::ios::trunc);
    if (!o.stream->is_open())
      stop(base + o.suffix + msg::cantBeOpened);
  }

  std::cout.precision(8);
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  // One stream serves every chain, in chain order.
  Rng stream = streamFrom(0);
  std::vector<std::vector<Haplotype>> normalHaps;
  int segCount = 0;
  maxAllele = readdata3(stream, &segCount, controlFile, logFile, patientData, normalHaps);
  if (maxAllele == 0)
    stopAfterReport();

  setuprun(normalHaps);
  initchains(stream, logFile);
  RunRecord record;
  openChainTraces(base, pset.numChains, record);
  if (sampler.mixing)
    runMixingSampler(stream, sampler.threads, datFile, hpfFile, &record);
  else
    runSampler(stream, datFile, hpfFile, &record);

  std::vector<std::vector<double>> locations, ages;
  for (const Chain &chain : chains) {
    locations.push_back(chain.locationSamples);
    ages.push_back(chain.ageSamples);
  }
  Histogram(locations, pset.realIterations, pset.histogramBars, sigFile);
  Histogram(ages, pset.realIterations, pset.histogramBars, treFile);
  const Chain &first = chains[0];
  if (pset.saveHaplotypes)
    haplosave1(first.tree, hpfFile, 1);
  haplosave3(first.tree, hapFile);
  storemat(first.tree, first.rootLoci, matFile);

  datFile.close();
  logFile.close();
  sigFile.close();
  hapFile.close();
  matFile.close();
  hpfFile.close();
  treFile.close();
  controlFile.close();
  std::cout << "Finished" << std::endl;
  // The summary and verdict come last, the verdict being the run's last words
  // (on standard error, beside the unchanged screen text).
  writeRunReport(base, record);
  return 0;
}
