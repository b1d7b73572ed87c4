// The progress records of a run: a chain's segment of the .dat trace line and
// its screen line. Numbers take the stream's own precision (six significant
// digits in the file, eight on the screen).
#include <ostream>

#include "output.h"

void writeDatSegment(std::ostream &dat, const TraceRow &r) {
  // The log posterior leaves out popSampleProb (printed separately below),
  // while partnerProb and locPrior enter only this sum; the membership's
  // prior of a heterogeneity run is in the chain traces alone.
  const double logPosterior =
      r.logLik + r.partnerProb + r.treePrior + r.rootHapProb + r.locPrior + r.agePrior;
  dat << r.state << " " << r.location << " " << logPosterior << " " << r.age << " " << r.logLik
      << " " << r.treePrior << " " << r.popSampleProb << " " << r.agePrior << " " << r.rootHapProb
      << " ";
  if (pset.saveAcceptProps)
    for (double a : r.acceptance)
      dat << a << " ";
}

void endDatLine(std::ostream &dat, double convergenceR) {
  if (pset.numChains >= 2)
    dat << convergenceR;
  dat << std::endl;
}

void writeScreenLine(std::ostream &screen, const TraceRow &r, int chainIndex, double convergenceR) {
  screen << r.state << " " << r.location << " " << r.logLik << " " << r.age;
  for (double a : r.acceptance)
    screen << " " << a;
  if (chainIndex == 0 && pset.numChains >= 2)
    screen << "\t\t" << convergenceR;
  screen << std::endl;
}
