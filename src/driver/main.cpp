// Entry point: reads the command line, opens the control file and the seven
// output files named after it, then runs the phases of a run in order:
// reading, set-up, the chains' starting states, sampling, the final
// summaries, and closing.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

#include "chain.h"
#include "driver.h"
#include "genealogy.h"
#include "input.h"
#include "interrupt.h"
#include "markerlist.h"
#include "messages.h"
#include "mixing.h"
#include "mutloc.h"
#include "options.h"
#include "output.h"
#include "outputfiles.h"
#include "progress.h"
#include "random.h"
#include "runlock.h"
#include "runmanifest.h"
#include "runreport.h"
#include "sampler.h"
#include "stop.h"
#include "thinning.h"

namespace {

// The output files and the control file have static storage so that an
// error stop (which ends the process through exit) still flushes and closes
// them.
OutputFiles outputs;
std::ifstream controlFile;

// A path that opens but cannot be read from (a folder, say) counts as not
// opened. Returns 0, or the system's reason.
int openControlFile(const std::string &path) {
  errno = 0;
  controlFile.open(path);
  if (!controlFile.is_open())
    return errno != 0 ? errno : ENOENT;
  errno = 0;
  controlFile.peek();
  if (!controlFile.bad())
    return 0;
  return errno != 0 ? errno : EIO;
}

// The command line: help, version and usage errors end here.
Options readCommandLine(int argc, char **argv) {
  const Options options = parseOptions(argc, argv);
  switch (options.action) {
  case Options::Action::help:
    std::cout << usageText() << std::flush;
    std::exit(0);
  case Options::Action::version:
    std::cout << versionText() << std::flush;
    std::exit(0);
  case Options::Action::usageError:
    stopWithNote(options.error + "\n" + msg::seeHelp, "", msg::usageStatus);
  case Options::Action::run:
    break;
  }
  // A warning only: the exact sampler runs its chains one after another on
  // the stream they share, so the run goes on as without the option.
  if (options.threads > 0 && !options.mixing)
    std::cerr << "mutloc: warning: --threads has no effect with the exact sampler, which runs "
                 "its chains one after another on one thread; --sampler mixing runs them on "
                 "threads"
              << std::endl;
  // Likewise: the exact sampler's files keep every draw, as they always have.
  if (options.thin > 0 && !options.mixing)
    std::cerr << "mutloc: warning: --thin has no effect with the exact sampler, whose .draws.tsv "
                 "and per-chain traces keep every draw; --sampler mixing thins them"
              << std::endl;
  if (options.controlFile.empty())
    stopWithNote(msg::seeHelp, msg::noInputFile, 1);
  if (const int reason = openControlFile(options.controlFile))
    stopWithNote(msg::cannotOpenBefore + options.controlFile + msg::cannotOpenAfter +
                     std::strerror(reason),
                 msg::noInputFile, 1);
  return options;
}

// The marker list named by --markers, or the one beside the control file
// when there is one; none otherwise. A list that cannot be used stops the run.
std::vector<GenomeMarker> readGenome(const Options &options) {
  std::vector<GenomeMarker> genome;
  std::string path = options.markerList;
  if (path.empty()) {
    path = options.controlFile + ".markers.tsv";
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
      return genome;
  }
  const std::string problem = readMarkerList(path, pset.mapDist, genome);
  if (!problem.empty())
    stopWithNote(msg::markerListBefore + path + "\" " + problem + msg::markerListAfter, "", 1);
  return genome;
}

// The mixing sampler's thin: the one asked for, or the one that keeps a large
// run's draws file and traces small, shown on standard error when it is not 1.
long chooseThin(const Options &options, long total) {
  const long thin = options.thin > 0 ? options.thin
                                     : automaticThin(total, pset.realIterations, pset.numChains,
                                                     pset.fileUpdateInterval);
  if (thin > 1)
    std::cerr << "mutloc: --thin " << thin
              << (options.thin > 0 ? "" : " (chosen for the run's size)")
              << ": .draws.tsv keeps one sampling iteration in " << thin
              << " and the per-chain traces one row in " << thin
              << "; the summary and verdict use every draw" << std::endl;
  return thin;
}

// The interruption note on standard error
// (total 0: before the first iteration).
void reportInterruption(int signal, long done, long total, long sampled) {
  std::cerr << "mutloc: interrupted by " << (signal == SIGTERM ? "SIGTERM" : "SIGINT");
  if (total == 0) {
    std::cerr << " before the first iteration; no final files were written" << std::endl;
    return;
  }
  std::cerr << " after iteration " << done << " of " << total << "; the final files hold "
            << sampled << " sampling iteration" << (sampled == 1 ? "" : "s")
            << (sampled == 0 ? " (no histograms in the .sig and .tre files)" : "") << std::endl;
}

} // namespace

int main(int argc, char **argv) {
  const Options options = readCommandLine(argc, argv);
  const std::string base = options.outPrefix.empty() ? options.controlFile : options.outPrefix;
  // --out may name a folder that does not exist yet.
  if (!options.outPrefix.empty()) {
    const std::filesystem::path folder = std::filesystem::path(base).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error) &&
        !std::filesystem::create_directories(folder, error))
      stopUnopened(folder.string(), error.value());
  }
  lockPrefix(base);
  RunManifest manifest = newRunManifest();
  manifest.sampler = options.mixing ? "mixing" : "exact";
  const Unopened unopened = openOutputs(outputs, base);
  if (!unopened.path.empty())
    stopUnopened(unopened.path, unopened.reason);

  // Every later stop says where the reader was (while it reads) and puts
  // back an earlier run; without one, a run that has started sampling says
  // in its manifest that it failed.
  bool reading = false;
  setStopHandler([&](const std::string &, int) {
    if (reading)
      std::cerr << msg::stoppedAtBefore << '"' << options.controlFile << '"' << msg::stoppedAtMiddle
                << lineNumberAt(controlFile) << std::endl;
    if (!abandonOutputs(outputs) && outputs.committed) {
      manifest.state = "failed";
      writeManifest(base, manifest);
    }
  });
  const auto recordState = [&](const char *state) {
    manifest.state = state;
    if (const int reason = writeManifest(base, manifest))
      stopUnwritten(base + ".run.tsv", reason);
  };
  watchInterrupts();

  std::cout.precision(8);
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  // One stream serves every chain, in chain order.
  Rng stream = streamFrom(0);
  std::vector<std::vector<Haplotype>> normalHaps;
  int segCount = 0;
  reading = true;
  maxAllele = readdata3(stream, &segCount, controlFile, outputs.log, patientData, normalHaps);
  reading = false;
  if (maxAllele == 0)
    stopAfterReport();

  if (options.heterogeneity && (pset.runSimulation != 0 || pset.readOldFile != 0))
    stopWithNote(msg::heterogeneityNeedsData, "", 1);
  const std::vector<GenomeMarker> genome = readGenome(options);
  setuprun(normalHaps);
  initchains(stream, outputs.log);
  // Interrupted before sampling: there is nothing to write, and earlier
  // results stay.
  if (const int signal = interruptSignal()) {
    abandonOutputs(outputs);
    reportInterruption(signal, 0, 0, 0);
    return 128 + signal;
  }
  commitOutputs(outputs);
  RunRecord record;
  record.mixing = options.mixing;
  record.run = manifest.id;
  for (const GenomeMarker &m : genome) {
    record.markerIds.push_back(m.id);
    record.markerChroms.push_back(m.chrom);
    record.markerBases.push_back(m.pos);
  }
  openChainTraces(base, pset.numChains, record, options.heterogeneity);

  const long total = static_cast<long>(pset.burnInIterations) + pset.realIterations;
  if (options.mixing)
    record.thin = manifest.thin = chooseThin(options, total);
  manifest.seed = pset.randomSeed < 0 ? std::to_string(pset.randomSeed) : "clock";
  manifest.chains = pset.numChains;
  manifest.iterations = total;
  recordState("running");
  Progress progress = startProgress(total, isatty(STDOUT_FILENO) ? pset.screenUpdateInterval : 0,
                                    isatty(STDERR_FILENO));
  long done = 0;
  const auto afterIteration = [&](long iterations) {
    done = iterations;
    manifest.done = iterations;
    showProgress(progress, iterations, std::cerr);
    checkOutputs(outputs);
    checkChainTraces(record);
    return interruptSignal() == 0;
  };
  HeterogeneityOptions heterogeneity;
  heterogeneity.on = options.heterogeneity;
  heterogeneity.priorA = options.sharePriorA;
  heterogeneity.priorB = options.sharePriorB;
  heterogeneity.fixedShare = options.fixedShare;
  const long sampled = options.mixing
                           ? runMixingSampler(stream, options.threads, outputs.dat, outputs.hpf,
                                              &record, afterIteration, heterogeneity)
                           : runSampler(stream, outputs.dat, outputs.hpf, &record, afterIteration);
  endProgress(progress, std::cerr);

  std::vector<std::vector<double>> locations, ages;
  for (const Chain &chain : chains) {
    locations.push_back(chain.locationSamples);
    ages.push_back(chain.ageSamples);
  }
  Histogram(locations, sampled, pset.histogramBars, outputs.sig, sampled);
  Histogram(ages, sampled, pset.histogramBars, outputs.tre, sampled);
  const Chain &first = chains[0];
  if (pset.saveHaplotypes)
    haplosave1(first.tree, outputs.hpf, 1);
  haplosave3(first.tree, outputs.hap);
  storemat(first.tree, first.rootLoci, outputs.mat);

  closeOutputs(outputs);
  closeChainTraces(record);
  controlFile.close();
  // The verdict is the run's last words (on standard error, beside the
  // unchanged screen text), printed only once every file is written.
  record.done = done;
  record.total = total;
  const std::string verdict = writeRunReport(base, record);
  manifest.sampled = sampled;
  recordState(done < total ? "interrupted" : "complete");
  if (done < total) {
    std::cerr << verdict << std::flush;
    reportInterruption(interruptSignal(), done, total, sampled);
    return 128 + interruptSignal();
  }
  std::cout << "Finished" << std::endl;
  std::cerr << verdict << std::flush;
  return 0;
}
