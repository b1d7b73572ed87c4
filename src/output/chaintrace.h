// Per-chain traces in the tab-separated layout that trace viewers and R
// (read.table, coda's mcmc) load unchanged: a header whose first column is
// the iteration ("state"), then one row per recorded iteration.
#pragma once

#include <array>
#include <iosfwd>
#include <string>

// The values of one chain after one iteration's moves.
struct TraceRow {
  long state = 0; // iteration index from 0, burn-in included
  double logLik = 0, partnerProb = 0, treePrior = 0, rootHapProb = 0, locPrior = 0, agePrior = 0,
         popSampleProb = 0;
  double location = 0, age = 0;
  std::array<double, 5> acceptance{}; // genealogy, location, root, internal, frequencies
  // With heterogeneity: the log prior of the founder share and the
  // memberships, with the age prior's normalisation over the founder count
  // (see membershipLogPrior), and the share.
  bool membership = false;
  double membershipPrior = 0, share = 0;
};

// The header; with membership, the columns log_membership and founder_share
// follow the others; the last column is always run.
void writeTraceHeader(std::ostream &out, bool membership = false);
// One row, ending with the run's identity; the log posterior is the sum of
// the six terms that make it up, and of the membership's prior with
// heterogeneity.
void writeTraceRow(std::ostream &out, const TraceRow &row, const std::string &run);
