// The run frame of both samplers: the record schedule, the blocks of
// iterations each chain runs (on worker threads when there are several), and
// the main thread's writing of what they leave: the .dat lines, the screen
// lines, the per-chain traces, the between-chain convergence statistic and
// chain 0's haplotype tallies. A worker writes only into its chains and their
// blocks; everything pooled over the run is kept by the main thread.
#include "runchains.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <thread>

#include "output.h"
#include "sort.h"

namespace {

// A periodic record is due at multiples of the interval; an interval of 0
// asks for none.
bool onSchedule(long i, long interval) {
  return interval != 0 && i % interval == 0;
}

// Which iterations leave records.
struct Schedule {
  long burnIn, total, thin;
  bool file(long i) const { return onSchedule(i, pset.fileUpdateInterval) || i == total - 1; }
  bool screen(long i) const { return onSchedule(i, pset.screenUpdateInterval) || i == total - 1; }
  // The traces keep every thin-th .dat record, and the last.
  bool trace(long i) const {
    return onSchedule(i, thin * pset.fileUpdateInterval) || i == total - 1;
  }
  // Chain 0's tip haplotypes are tallied at the file multiples after burn-in.
  bool tally(long i) const {
    return pset.saveHaplotypes && i > burnIn && onSchedule(i, pset.fileUpdateInterval);
  }
};

// What one chain leaves of a block, in iteration order: its location after
// every iteration, its records at record iterations and (chain 0) its
// genealogy at tally iterations. The genealogies' storage is kept from block
// to block.
struct ChainBlock {
  std::vector<double> locations;
  std::vector<TraceRow> rows;
  std::vector<TreeMatrix> genealogies;
  size_t genealogyCount = 0;
};

void runBlock(const RunPlan &plan, Rng &rng, Chain &chain, ChainWork &work, long from, long to,
              const Schedule &schedule, ChainBlock &block) {
  block.locations.clear();
  block.rows.clear();
  block.genealogyCount = 0;
  for (long i = from; i < to; i++) {
    plan.iterate(rng, chain, work, i);
    block.locations.push_back(chain.mutLoc);
    const bool fileRecord = schedule.file(i);
    if (fileRecord)
      refreshAcceptProps(chain, i);
    // Between file records the screen shows the proportions last refreshed.
    if (fileRecord || schedule.screen(i)) {
      block.rows.push_back(traceRow(chain, i));
      if (plan.completeRow)
        plan.completeRow(chain, block.rows.back());
    }
    if (chain.index == 0 && schedule.tally(i)) {
      if (block.genealogyCount == block.genealogies.size())
        block.genealogies.push_back(chain.tree);
      else
        block.genealogies[block.genealogyCount] = chain.tree;
      block.genealogyCount++;
    }
  }
}

// The main thread's state across blocks: the convergence sums and statistic,
// and the .dat line being put together.
struct RunLog {
  std::vector<double> locSum, locSumSq;
  double convergenceR = 0;
  // The line goes out in one write, so a run killed outright leaves whole
  // lines, but for the one being written when the kill lands (the kernel may
  // end a write to a file part way then).
  std::ostringstream datLine;
};

// Writes the records of iterations from..to-1 that the chains' blocks hold;
// the screen lines only when screen is set.
void writeBlock(long from, long to, const Schedule &schedule, const std::vector<ChainBlock> &blocks,
                bool screen, RunLog &log, std::ostream &dat, std::ostream &hpf, RunRecord *record) {
  const int chainCount = static_cast<int>(blocks.size());
  std::vector<size_t> nextRow(chainCount, 0);
  size_t nextGenealogy = 0;
  for (long i = from; i < to; i++) {
    const bool fileRecord = schedule.file(i), screenRecord = schedule.screen(i);
    for (int ch = 0; ch < chainCount && (fileRecord || screenRecord); ch++) {
      const TraceRow &row = blocks[ch].rows[nextRow[ch]++];
      if (fileRecord) {
        writeDatSegment(log.datLine, row);
        if (record && schedule.trace(i))
          writeTraceRow(*record->traces[ch], row, record->run);
      }
      if (screen && screenRecord)
        writeScreenLine(std::cout, row, ch, log.convergenceR);
    }
    if (fileRecord) {
      endDatLine(log.datLine, log.convergenceR);
      dat << log.datLine.str() << std::flush;
      log.datLine.str("");
    }
    // The statistic is refreshed after this iteration's records, so every
    // record shows the value of an earlier refresh.
    if (chainCount >= 2 && i >= 1) {
      for (int ch = 0; ch < chainCount; ch++) {
        const double x = blocks[ch].locations[i - from];
        log.locSum[ch] += x;
        log.locSumSq[ch] += x * x;
      }
      if (onSchedule(i, pset.fileUpdateInterval) || i == 1)
        log.convergenceR = convergenceStatistic(log.locSum, log.locSumSq, i);
    }
    if (onSchedule(i, pset.screenUpdateInterval))
      std::cout << std::endl;
    if (schedule.tally(i))
      haplosave1(blocks[0].genealogies[nextGenealogy++], hpf, 0);
  }
}

// At the end of sampling: copies every chain's first `sampled` draws, in
// sampling order, into the record (when there is one), then sorts them for
// the histograms.
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

long runChains(const RunPlan &plan, std::vector<Rng> &streams, std::vector<ChainWork> &works,
               std::ostream &dat, std::ostream &hpf, RunRecord *record,
               const std::function<bool(long done)> &afterIteration) {
  const int chainCount = pset.numChains;
  const long burnIn = pset.burnInIterations;
  const Schedule schedule = {burnIn, burnIn + pset.realIterations, record ? record->thin : 1};
  std::vector<ChainBlock> blocks(chainCount);
  RunLog log;
  log.locSum.assign(chainCount, 0.0);
  log.locSumSq.assign(chainCount, 0.0);

  // A move may write a notice to the screen. When every chain runs one
  // iteration at a time on the main thread, its screen line goes out as soon
  // as it has run, so that a notice follows the lines of the chains before.
  const bool screenAtOnce = plan.workers == 1 && plan.blockLength == 1;
  long done = 0;
  for (long from = 0; from < schedule.total; from += plan.blockLength) {
    const long to = std::min(schedule.total, from + plan.blockLength);
    const auto runWorker = [&](int w) {
      for (int ch = w; ch < chainCount; ch += plan.workers) {
        runBlock(plan, streams[plan.sharedStream ? 0 : ch], chains[ch], works[ch], from, to,
                 schedule, blocks[ch]);
        if (screenAtOnce && schedule.screen(from))
          writeScreenLine(std::cout, blocks[ch].rows.back(), ch, log.convergenceR);
      }
    };
    std::vector<std::thread> pool;
    for (int w = 1; w < plan.workers; w++)
      pool.emplace_back(runWorker, w);
    runWorker(0);
    for (std::thread &t : pool)
      t.join();
    writeBlock(from, to, schedule, blocks, !screenAtOnce, log, dat, hpf, record);
    done = to;
    if (afterIteration && !afterIteration(done))
      break;
  }

  const long sampled = std::max(0L, done - burnIn);
  if (record && plan.finishRecord)
    plan.finishRecord(*record, sampled);
  finishSamples(record, sampled);
  return sampled;
}
