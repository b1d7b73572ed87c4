// The mixing sampler's run: the chains start from their leaves' haplotypes on
// streams of their own and go through their iterations in blocks on worker
// threads; the shared run frame writes their records in iteration and chain
// order, so the files are the same whatever the number of threads.
#include <vector>

#include "mixing.h"
#include "runchains.h"
#include "sampler.h"

namespace {

// Iterations run between two hand-overs to the main thread: long enough that
// starting the workers costs nothing measurable, short enough that the screen
// follows the run.
constexpr long blockLength = 500;

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
  std::vector<Rng> streams;
  std::vector<ChainWork> works(chains.size());
  for (size_t ch = 0; ch < chains.size(); ch++) {
    Chain &chain = chains[ch];
    ChainWork &work = works[ch];
    chain.logLikSamples.assign(pset.realIterations, 0.0);
    streams.push_back(chainStream(runStream, chain.index));
    spreadStart(streams.back(), chain);
    // A chain read from a stored genealogy keeps its stored genealogy,
    // haplotypes and start; a star genealogy keeps its shape.
    if (!(pset.readOldFile && chain.index == 0)) {
      phaseTowardsConsensus(chain, work);
      if (pset.starGenealogy == 0)
        startFromClusters(streams.back(), chain);
      startFromLeaves(chain, work);
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

  RunPlan plan;
  plan.iterate = mixingIteration;
  plan.blockLength = blockLength;
  plan.workers = workerCount(threads, pset.numChains);
  plan.sharedStream = false;
  // With heterogeneity the trace rows add the membership's prior and the
  // founder share.
  plan.completeRow = [](Chain &chain, TraceRow &row) {
    row.membership = !chain.membership.drawn.empty();
    if (row.membership) {
      row.membershipPrior = membershipLogPrior(chain);
      row.share = chain.membership.share;
    }
  };
  plan.finishRecord = [&heterogeneity](RunRecord &finished, long sampled) {
    if (heterogeneity.on)
      finishMemberships(finished, sampled);
    for (const Chain &chain : chains)
      finished.logLikDraws.emplace_back(chain.logLikSamples.begin(),
                                        chain.logLikSamples.begin() + sampled);
  };
  return runChains(plan, streams, works, dat, hpf, record, afterIteration);
}
