// The sampler loop: burn-in and sampling iterations over all chains, each
// chain going once through its moves per iteration, with the location sample,
// the acceptance proportions, the between-chain convergence statistic, the
// .dat and screen records and the periodic haplotype tallies of chain 0.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "chaintrace.h"
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

TraceRow traceRow(const Chain &chain, long i) {
  TraceRow row;
  row.state = i;
  row.logLik = chain.logLik;
  row.partnerProb = chain.partnerProb;
  row.treePrior = chain.treePrior;
  row.rootHapProb = chain.rootHapProb;
  row.locPrior = chain.locPrior;
  row.agePrior = chain.mutAgePrior;
  row.popSampleProb = chain.popSampleProb;
  row.location = chain.mutLoc;
  row.age = chain.mutAge;
  for (size_t p = 0; p < row.acceptance.size(); p++)
    row.acceptance[p] = chain.props[p];
  return row;
}

void finishSamples(RunRecord *record, long sampled) {
  if (record)
    for (const Chain &chain : chains) {
      record->locationDraws.emplace_back(chain.locationSamples.begin(),
                                         chain.locationSamples.begin() + sampled);
      record->ageDraws.emplace_back(chain.ageSamples.begin(), chain.ageSamples.begin() + sampled);
    }
  for (Chain &chain : chains) {
    mysort(chain.locationSamples.data(), sampled);
    mysort(chain.ageSamples.data(), sampled);
  }
}

void refreshAcceptProps(Chain &chain, long i) {
  const double n = i + 1.0;
  const double internalNodes = pset.numChromosomes - 1;
  chain.props[0] = chain.accTree / n;
  // In the slice mode the counter is reset at every update and holds that
  // update's work count, which is shown as it is.
  chain.props[1] = pset.iterMutLocation == 2 ? chain.accMutLoc : chain.accMutLoc / n;
  chain.props[2] = chain.accRoot / n;
  chain.props[3] = chain.accInternal / (internalNodes * n);
  chain.props[4] = chain.accFreq / n;
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

long runSampler(Rng &rng, std::ostream &dat, std::ostream &hpf, RunRecord *record,
                const std::function<bool(long done)> &afterIteration) {
  const long burnIn = pset.burnInIterations;
  const long total = burnIn + pset.realIterations;
  const int chainCount = pset.numChains;
  std::vector<double> locSum(chainCount, 0.0), locSumSq(chainCount, 0.0);
  double convergenceR = 0;
  long done = total;
  // The .dat line goes out in one write, so a run killed outright leaves
  // whole lines, but for the one being written when the kill lands (the
  // kernel may end a write to a file part way then).
  std::ostringstream datLine;

  for (long i = 0; i < total; i++) {
    const bool last = i == total - 1;
    const bool fileRecord = onSchedule(i, pset.fileUpdateInterval) || last;
    const bool screenRecord = onSchedule(i, pset.screenUpdateInterval) || last;
    for (Chain &chain : chains) {
      updateFrequenciesAndMissing(rng, chain);
      // The genealogy move also proposes the mutation age and stores the age
      // sample of a sampling iteration.
      updateGenealogy(rng, chain, static_cast<int32_t>(i));
      updateLocation(rng, chain);
      if (i >= burnIn)
        chain.locationSamples[i - burnIn] = chain.mutLoc;
      updateStates(rng, chain);
      if (pset.dataAsGenotypes)
        updatePhase(rng, chain);
      if (fileRecord) {
        refreshAcceptProps(chain, i);
        writeDatSegment(datLine, chain, i);
        if (record)
          writeTraceRow(*record->traces[chain.index], traceRow(chain, i));
      }
      // Between file records the screen shows the proportions last refreshed.
      if (screenRecord)
        writeScreenLine(std::cout, chain, i, convergenceR);
    }
    if (fileRecord) {
      endDatLine(datLine, convergenceR);
      dat << datLine.str() << std::flush;
      datLine.str("");
    }

    // The statistic is refreshed after this iteration's records, so every
    // record shows the value of an earlier refresh.
    if (chainCount >= 2 && i >= 1) {
      for (int ch = 0; ch < chainCount; ch++) {
        const double x = chains[ch].mutLoc;
        locSum[ch] += x;
        locSumSq[ch] += x * x;
      }
      if (onSchedule(i, pset.fileUpdateInterval) || i == 1)
        convergenceR = convergenceStatistic(locSum, locSumSq, i);
    }
    if (onSchedule(i, pset.screenUpdateInterval))
      std::cout << std::endl;
    if (i > burnIn && onSchedule(i, pset.fileUpdateInterval) && pset.saveHaplotypes)
      haplosave1(chains[0].tree, hpf, 0);
    if (afterIteration && !afterIteration(i + 1)) {
      done = i + 1;
      break;
    }
  }

  const long sampled = std::max(0L, done - burnIn);
  finishSamples(record, sampled);
  return sampled;
}
