// The run frame both samplers share: the iterations of every chain, in blocks
// on one or more threads, and the main thread's records of them.
#pragma once

#include <functional>
#include <iosfwd>
#include <vector>

#include "chain.h"
#include "chaintrace.h"
#include "chainwork.h"
#include "random.h"
#include "runrecord.h"

// How a sampler runs its chains. A chain's iteration function changes only
// that chain and its work record (and draws from the stream it is handed);
// the frame keeps each chain's records of a block apart and writes them
// afterwards on the main thread, in iteration and chain order, so the files
// are the same whatever the block length and the number of workers.
struct RunPlan {
  // One iteration i of the sampler's moves on a chain and its work record,
  // with its stored samples of a sampling iteration.
  std::function<void(Rng &rng, Chain &chain, ChainWork &work, long i)> iterate;
  // Iterations every chain runs before the main thread writes their records.
  long blockLength = 1;
  // Threads the chains are spread over (the main thread one of them): worker
  // w runs chains w, w + workers, ...
  int workers = 1;
  // One stream drawn from by every chain in chain order (iteration by
  // iteration when blocks are one iteration long; needs one worker), or a
  // stream per chain.
  bool sharedStream = true;
  // Adds what the sampler's trace rows hold besides the chain's terms; called
  // on the chain's thread at every record iteration.
  std::function<void(Chain &chain, TraceRow &row)> completeRow;
  // Puts the sampler's own draws of the first `sampled` sampling iterations
  // into the record at the end of the run.
  std::function<void(RunRecord &record, long sampled)> finishRecord;
};

// Runs burn-in and sampling iterations of every chain as the plan says, from
// streams (one, or one per chain) and with works (one per chain, in chain
// order), writing the .dat trace, the screen
// records, the per-chain traces of the record (every record->thin-th .dat
// record and the last), and chain 0's periodic haplotype tallies. With a
// record, also keeps every chain's draws in sampling order.
// afterIteration, when given, is called with the number of iterations done
// after each block; when it returns false the run ends there. Returns the
// number of sampling iterations whose samples are stored (and sorted).
long runChains(const RunPlan &plan, std::vector<Rng> &streams, std::vector<ChainWork> &works,
               std::ostream &dat, std::ostream &hpf, RunRecord *record,
               const std::function<bool(long done)> &afterIteration);

// The chain's values after iteration i, as its records show them.
TraceRow traceRow(const Chain &chain, long i);
// Recomputes the chain's acceptance proportions from its counters after
// iteration i.
void refreshAcceptProps(Chain &chain, long i);
// Between-chain potential scale reduction of the mutation location after
// iteration i >= 1, from each chain's sum and sum of squares of locations.
double convergenceStatistic(const std::vector<double> &locSum, const std::vector<double> &locSumSq,
                            long i);
