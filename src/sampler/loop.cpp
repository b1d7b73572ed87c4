// The sampler loop: burn-in and sampling iterations over all chains, each
// chain going once through its moves per iteration, with the location sample,
// the acceptance proportions, the between-chain convergence statistic, the
// .dat and screen records and the periodic haplotype tallies of chain 0.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "genealogy.h"
#include "output.h"
#include "sampler.h"
#include "sort.h"

namespace {

// A periodic record is due at multiples of the interval; an interval of 0
// asks for none.
bool onSchedule(long i, int interval) {
  return interval != 0 && i % interval == 0;
}

} // namespace

void refreshAcceptProps(int ch, long i) {
  const double n = i + 1.0;
  const double internalNodes = pset.numChromosomes - 1;
  props[0][ch] = accTree[ch] / n;
  // In the slice mode the counter is reset at every update and holds that
  // update's work count, which is shown as it is.
  props[1][ch] = pset.iterMutLocation == 2 ? accMutLoc[ch] : accMutLoc[ch] / n;
  props[2][ch] = accRoot[ch] / n;
  props[3][ch] = accInternal[ch] / (internalNodes * n);
  props[4][ch] = accFreq[ch] / n;
}

double convergenceStatistic(const std::vector<double> &locSum, const std::vector<double> &locSumSq,
                            long i) {
  // The sums hold the locations of iterations 1..i, but the chain length used
  // for the means is i + 1.
  const double k = locSum.size();
  const double n = i + 1.0;
  double total = 0;
  for (double s : locSum)
    total += s;
  const double grandMean = total / (k * n);
  double between = 0, within = 0;
  for (size_t ch = 0; ch < locSum.size(); ch++) {
    const double d = locSum[ch] / n - grandMean;
    between += d * d;
    within += (locSumSq[ch] - locSum[ch] * locSum[ch] / n) / i;
  }
  within /= k;
  return std::sqrt((i / n * within + between / (k - 1)) / within);
}

long runSampler(Seed *seed, std::ostream &dat, std::ostream &hpf,
                const std::function<bool(long done)> &afterIteration) {
  const long burnIn = pset.burnInIterations;
  const long total = burnIn + pset.realIterations;
  const int chains = pset.numChains;
  std::vector<double> locSum(chains, 0.0), locSumSq(chains, 0.0);
  double convergenceR = 0;
  long done = total;
  // The .dat line is written whole, so a killed run leaves no partial line.
  std::ostringstream datLine;

  for (long i = 0; i < total; i++) {
    const bool last = i == total - 1;
    const bool fileRecord = onSchedule(i, pset.fileUpdateInterval) || last;
    const bool screenRecord = onSchedule(i, pset.screenUpdateInterval) || last;
    for (int ch = 0; ch < chains; ch++) {
      updateFrequenciesAndMissing(seed, ch);
      // The genealogy move also proposes the mutation age and stores the age
      // sample of a sampling iteration.
      updateGenealogy(seed, ch, static_cast<int32_t>(i));
      updateLocation(seed, ch);
      if (i >= burnIn)
        locationSamples[ch][i - burnIn] = pset.mutLocStart[ch];
      updateStates(seed, ch);
      if (pset.dataAsGenotypes)
        updatePhase(seed, ch);
      if (fileRecord) {
        refreshAcceptProps(ch, i);
        writeDatSegment(datLine, ch, i);
      }
      // Between file records the screen shows the proportions last refreshed.
      if (screenRecord)
        writeScreenLine(std::cout, ch, i, convergenceR);
    }
    if (fileRecord) {
      endDatLine(datLine, convergenceR);
      dat << datLine.str() << std::flush;
      datLine.str("");
    }

    // The statistic is refreshed after this iteration's records, so every
    // record shows the value of an earlier refresh.
    if (chains >= 2 && i >= 1) {
      for (int ch = 0; ch < chains; ch++) {
        const double x = pset.mutLocStart[ch];
        locSum[ch] += x;
        locSumSq[ch] += x * x;
      }
      if (onSchedule(i, pset.fileUpdateInterval) || i == 1)
        convergenceR = convergenceStatistic(locSum, locSumSq, i);
    }
    if (onSchedule(i, pset.screenUpdateInterval))
      std::cout << std::endl;
    if (i > burnIn && onSchedule(i, pset.fileUpdateInterval) && pset.saveHaplotypes)
      haplosave1(chainTree[0], hpf, 0);
    if (afterIteration && !afterIteration(i + 1)) {
      done = i + 1;
      break;
    }
  }

  const long sampled = std::max(0L, done - burnIn);
  for (int ch = 0; ch < chains; ch++) {
    mysort(locationSamples[ch].data(), sampled);
    mysort(ageSamples[ch].data(), sampled);
  }
  return sampled;
}
