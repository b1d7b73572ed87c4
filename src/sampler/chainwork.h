// A chain's work record: everything its moves and its likelihood keep between
// steps that is not the chain's state. The likelihood's memo and the
// genealogy moves' buffers (GenealogyWork), the sampler's save-and-restore
// buffers (MoveScratch) and the normal sample's remembered terms
// (SampleTerms). Each is the type of the module that reads it; none changes
// what a move computes, only how much it recomputes, so a fresh record gives
// the same numbers. The code that runs chains holds one per chain beside it
// and hands it to every move with the chain, as it hands them the random
// stream.
#pragma once

#include "genealogy.h"
#include "movescratch.h"
#include "sampleterms.h"

struct ChainWork : GenealogyWork {
  MoveScratch scratch;
  SampleTerms sampleTerms;
};
