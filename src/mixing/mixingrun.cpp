// The mixing sampler's run: the chains start from their leaves' haplotypes on
// streams of their own and go through their iterations on worker threads, a
// block of iterations at a time. Each worker keeps, per chain and iteration,
// the location and the fields of the chain's trace and screen records; after
// each block the main thread writes them in iteration and chain order, with
// the between-chain statistic, exactly as the default sampler's loop writes
// its records. So the files are the same whatever the number of threads.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "mixing.h"
#include "output.h"
#include "sampler.h"

namespace {

// Iterations run between two hand-overs to the main thread: long enough that
// starting the workers costs nothing measurable, short enough that the screen
// follows the run.
constexpr long blockLength = 500;

bool onSchedule(long i, long interval) {
  return interval != 0 && i % interval == 0;
}

// What a chain's records of one iteration show.
struct TraceFields {
  double mutLoc, logLik, mutAge, treePrior, popSampleProb, mutAgePrior, rootHapProb, partnerProb,
      locPrior;
  double props[propCount];
  // With heterogeneity, what the trace row adds (see TraceRow).
  bool membership;
  double membershipPrior, share;
};

// One chain's part of a block: its locations and, at record iterations, its
// record fields, in iteration order.
struct ChainBlock {
  std::vector<double> locations;
  std::vector<TraceFields> records;
};

TraceFields fieldsOf(Chain &c) {
  const bool membership = !c.membership.drawn.empty();
  TraceFields f = {c.mutLoc,          c.logLik,
                   c.mutAge,          c.treePrior,
                   c.popSampleProb,   c.mutAgePrior,
                   c.rootHapProb,     c.partnerProb,
                   c.locPrior,        {},
                   membership,        membership ? membershipLogPrior(c) : 0,
                   c.membership.share};
  for (int p = 0; p < propCount; p++)
    f.props[p] = c.props[p];
  return f;
}

// A record view: a chain record holding only the fields the writers read.
void showFields(const TraceFields &f, Chain &view) {
  view.mutLoc = f.mutLoc;
  view.logLik = f.logLik;
  view.mutAge = f.mutAge;
  view.treePrior = f.treePrior;
  view.popSampleProb = f.popSampleProb;
  view.mutAgePrior = f.mutAgePrior;
  view.rootHapProb = f.rootHapProb;
  view.partnerProb = f.partnerProb;
  view.locPrior = f.locPrior;
  for (int p = 0; p < propCount; p++)
    view.props[p] = f.props[p];
}

// The traces keep every thin-th .dat record, and the last.
struct Schedule {
  long total;
  long thin;
  bool file(long i) const { return onSchedule(i, pset.fileUpdateInterval) || i == total - 1; }
  bool screen(long i) const { return onSchedule(i, pset.screenUpdateInterval) || i == total - 1; }
  bool trace(long i) const {
    return onSchedule(i, thin * pset.fileUpdateInterval) || i == total - 1;
  }
};

// Runs iterations from..to-1 of one chain, keeping its block, and (chain 0)
// the periodic haplotype tallies.
void runChainBlock(Rng &rng, Chain &chain, long from, long to, const Schedule &schedule,
                   ChainBlock &block, std::ostream &hpf) {
  block.locations.clear();
  block.records.clear();
  for (long i = from; i < to; i++) {
    mixingIteration(rng, chain, i);
    block.locations.push_back(chain.mutLoc);
    if (schedule.file(i))
      refreshAcceptProps(chain, i);
    if (schedule.file(i) || schedule.screen(i))
      block.records.push_back(fieldsOf(chain));
    if (chain.index == 0 && i > pset.burnInIterations && onSchedule(i, pset.fileUpdateInterval) &&
        pset.saveHaplotypes)
      haplosave1(chain.tree, hpf, 0);
  }
}

// The main thread's share of the default loop's bookkeeping: the convergence
// sums and statistic, kept across blocks.
struct Convergence {
  std::vector<double> locSum, locSumSq;
  double r = 0;
};

void writeBlock(long from, long to, const Schedule &schedule, std::vector<ChainBlock> &blocks,
                std::vector<Chain> &views, Convergence &conv, std::ostream &dat,
                RunRecord *record) {
  const int chainCount = pset.numChains;
  std::vector<size_t> next(chainCount, 0);
  // Each .dat line is written whole, so a killed run leaves no partial line.
  std::ostringstream datLine;
  for (long i = from; i < to; i++) {
    const bool fileRecord = schedule.file(i), screenRecord = schedule.screen(i);
    for (int ch = 0; ch < chainCount; ch++) {
      if (!fileRecord && !screenRecord)
        continue;
      Chain &view = views[ch];
      const TraceFields &fields = blocks[ch].records[next[ch]++];
      showFields(fields, view);
      if (fileRecord) {
        writeDatSegment(datLine, view, i);
        if (record && schedule.trace(i)) {
          TraceRow row = traceRow(view, i);
          row.membership = fields.membership;
          row.membershipPrior = fields.membershipPrior;
          row.share = fields.share;
          writeTraceRow(*record->traces[ch], row);
        }
      }
      if (screenRecord)
        writeScreenLine(std::cout, view, i, conv.r);
    }
    if (fileRecord) {
      endDatLine(datLine, conv.r);
      dat << datLine.str() << std::flush;
      datLine.str("");
    }
    if (chainCount >= 2 && i >= 1) {
      for (int ch = 0; ch < chainCount; ch++) {
        const double x = blocks[ch].locations[i - from];
        conv.locSum[ch] += x;
        conv.locSumSq[ch] += x * x;
      }
      if (onSchedule(i, pset.fileUpdateInterval) || i == 1)
        conv.r = convergenceStatistic(conv.locSum, conv.locSumSq, i);
    }
    if (onSchedule(i, pset.screenUpdateInterval))
      std::cout << std::endl;
  }
}

} // namespace

// Chains that start apart and then agree have found the same posterior, not
// the same corner of it. With sequence weights the drawn start is kept, as
// the default sampler keeps it (a zero-weight part would trap the chain), and
// so is that of a chain read from a stored genealogy.
void spreadStart(Rng &stream, Chain &chain) {
  if (!pset.mutLocStartDrawn || pset.iterMutLocation == 0 || pset.useSeqWeights != 0 ||
      (pset.readOldFile && chain.index == 0))
    return;
  const double part = (pset.mutLocHigh - pset.mutLocLow) / pset.numChains;
  chain.mutLoc = pset.mutLocLow + (chain.index + ran1(stream)) * part;
}

long runMixingSampler(const Rng &runStream, int threads, std::ostream &dat, std::ostream &hpf,
                      RunRecord *record, const std::function<bool(long done)> &afterIteration,
                      const HeterogeneityOptions &heterogeneity) {
  const int chainCount = pset.numChains;
  const Schedule schedule = {static_cast<long>(pset.burnInIterations) + pset.realIterations,
                             record ? record->thin : 1};
  std::vector<Rng> streams;
  for (Chain &chain : chains) {
    chain.logLikSamples.assign(pset.realIterations, 0.0);
    streams.push_back(chainStream(runStream, chain.index));
    spreadStart(streams.back(), chain);
    // A chain read from a stored genealogy keeps its stored genealogy,
    // haplotypes and start; a star genealogy keeps its shape.
    if (!(pset.readOldFile && chain.index == 0)) {
      phaseTowardsConsensus(chain);
      if (pset.starGenealogy == 0)
        startFromClusters(streams.back(), chain);
      startFromLeaves(chain);
    }
    if (heterogeneity.on)
      startMembership(chain, heterogeneity);
    // A random-walk step wider than the interval is narrowed (with its
    // notice) here, before the chains run apart.
    if (pset.iterMutLocation == 1 && chain.recDistAdjust > pset.mutLocHigh - pset.mutLocLow) {
      double x = chain.mutLoc;
      adjrecrate(x, streams.back(), pset.mapDist, chain);
    }
  }

  const int workers = workerCount(threads, chainCount);
  std::vector<ChainBlock> blocks(chainCount);
  std::vector<Chain> views(chainCount);
  for (int ch = 0; ch < chainCount; ch++)
    views[ch].index = ch;
  Convergence conv;
  conv.locSum.assign(chainCount, 0.0);
  conv.locSumSq.assign(chainCount, 0.0);

  long done = 0;
  for (long from = 0; from < schedule.total; from += blockLength) {
    const long to = std::min(schedule.total, from + blockLength);
    // Worker w runs chains w, w + workers, ...; the main thread is worker 0.
    const auto work = [&](int w) {
      for (int ch = w; ch < chainCount; ch += workers)
        runChainBlock(streams[ch], chains[ch], from, to, schedule, blocks[ch], hpf);
    };
    std::vector<std::thread> pool;
    for (int w = 1; w < workers; w++)
      pool.emplace_back(work, w);
    work(0);
    for (std::thread &t : pool)
      t.join();
    writeBlock(from, to, schedule, blocks, views, conv, dat, record);
    done = to;
    if (afterIteration && !afterIteration(done))
      break;
  }
  const long sampled = std::max(0L, done - static_cast<long>(pset.burnInIterations));
  if (record && heterogeneity.on)
    finishMemberships(*record, sampled);
  if (record)
    for (const Chain &chain : chains)
      record->logLikDraws.emplace_back(chain.logLikSamples.begin(),
                                       chain.logLikSamples.begin() + sampled);
  finishSamples(record, sampled);
  return sampled;
}
