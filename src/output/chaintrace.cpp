// Writes the per-chain trace files. Numbers carry ten significant digits, and
// infinities and NaN are spelled as R reads them.
#include "chaintrace.h"

#include <cmath>
#include <iomanip>
#include <ostream>

namespace {

constexpr int tracePrecision = 10;

void field(std::ostream &out, double v) {
  out << '\t';
  if (std::isnan(v))
    out << "NaN";
  else if (std::isinf(v))
    out << (v > 0 ? "Inf" : "-Inf");
  else
    out << v;
}

} // namespace

void writeTraceHeader(std::ostream &out, bool membership) {
  out << "state\tlog_posterior\tlog_likelihood\tlog_partner\tlog_tree_prior\tlog_root_haplotype"
         "\tlog_location_prior\tlog_age_prior\tlog_population_sample\tlocation\tage"
         "\taccept_genealogy\taccept_location\taccept_root\taccept_internal\taccept_frequencies"
      << (membership ? "\tlog_membership\tfounder_share" : "") << "\trun\n";
  out.flush();
}

void writeTraceRow(std::ostream &out, const TraceRow &r, const std::string &run) {
  // Summed in the order of the .dat trace, so the two files agree exactly.
  double logPosterior =
      r.logLik + r.partnerProb + r.treePrior + r.rootHapProb + r.locPrior + r.agePrior;
  if (r.membership)
    logPosterior += r.membershipPrior;
  out << std::setprecision(tracePrecision) << r.state;
  for (double v : {logPosterior, r.logLik, r.partnerProb, r.treePrior, r.rootHapProb, r.locPrior,
                   r.agePrior, r.popSampleProb, r.location, r.age})
    field(out, v);
  for (double a : r.acceptance)
    field(out, a);
  if (r.membership) {
    field(out, r.membershipPrior);
    field(out, r.share);
  }
  out << '\t' << run << '\n';
  out.flush();
}
