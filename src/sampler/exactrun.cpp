// The default sampler's run: every chain goes once through its moves per
// iteration, the chains in turn on the run's one stream, and the shared run
// frame writes the records after each iteration.
#include "genealogy.h"
#include "runchains.h"
#include "sampler.h"

namespace {

void exactIteration(Rng &rng, Chain &chain, ChainWork &work, long i) {
  updateFrequenciesAndMissing(rng, chain, work);
  // The genealogy move also proposes the mutation age and stores the age
  // sample of a sampling iteration.
  updateGenealogy(rng, chain, work, static_cast<int32_t>(i));
  updateLocation(rng, chain, work);
  if (i >= pset.burnInIterations)
    chain.locationSamples[i - pset.burnInIterations] = chain.mutLoc;
  updateStates(rng, chain, work);
  if (pset.dataAsGenotypes)
    updatePhase(rng, chain, work);
}

} // namespace

long runSampler(Rng &rng, std::ostream &dat, std::ostream &hpf, RunRecord *record,
                const std::function<bool(long done)> &afterIteration) {
  RunPlan plan;
  plan.iterate = exactIteration;
  std::vector<Rng> streams = {rng};
  std::vector<ChainWork> works(chains.size());
  const long sampled = runChains(plan, streams, works, dat, hpf, record, afterIteration);
  rng = streams[0];
  return sampled;
}
