// The progress records of a run: a chain's segment of the .dat trace line and
// its screen line. Numbers take the stream's own precision (six significant
// digits in the file, eight on the screen).
#include <ostream>

#include "output.h"

void writeDatSegment(std::ostream &dat, const Chain &c, long i) {
  // The log posterior leaves out popSampleProb (printed separately below),
  // while partnerProb and locPrior enter only this sum.
  const double logPosterior =
      c.logLik + c.partnerProb + c.treePrior + c.rootHapProb + c.locPrior + c.mutAgePrior;
  dat << i << " " << c.mutLoc << " " << logPosterior << " " << c.mutAge << " " << c.logLik << " "
      << c.treePrior << " " << c.popSampleProb << " " << c.mutAgePrior << " " << c.rootHapProb
      << " ";
  if (pset.saveAcceptProps)
    for (int p = 0; p < propCount; p++)
      dat << c.props[p] << " ";
}

void endDatLine(std::ostream &dat, double convergenceR) {
  if (pset.numChains >= 2)
    dat << convergenceR;
  dat << std::endl;
}

void writeScreenLine(std::ostream &screen, const Chain &c, long i, double convergenceR) {
  screen << i << " " << c.mutLoc << " " << c.logLik << " " << c.mutAge;
  for (int p = 0; p < propCount; p++)
    screen << " " << c.props[p];
  if (c.index == 0 && pset.numChains >= 2)
    screen << "\t\t" << convergenceR;
  screen << std::endl;
}
