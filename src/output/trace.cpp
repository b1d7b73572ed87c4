// The progress records of a run: a chain's segment of the .dat trace line and
// its screen line. Numbers take the stream's own precision (six significant
// digits in the file, eight on the screen).
#include <ostream>

#include "output.h"

namespace {
constexpr int propCount = 5;
} // namespace

void writeDatSegment(std::ostream &dat, int ch, long i) {
  // The log posterior leaves out chainPopSampleProb (printed separately
  // below), while chainPartnerProb and chainLocPrior enter only this sum.
  const double logPosterior = chainLogLik[ch] + chainPartnerProb[ch] + chainTreePrior[ch] +
                              chainRootHapProb[ch] + chainLocPrior[ch] + chainMutAgePrior[ch];
  dat << i << " " << pset.mutLocStart[ch] << " " << logPosterior << " " << pset.mutAgeStart[ch]
      << " " << chainLogLik[ch] << " " << chainTreePrior[ch] << " " << chainPopSampleProb[ch] << " "
      << chainMutAgePrior[ch] << " " << chainRootHapProb[ch] << " ";
  if (pset.saveAcceptProps)
    for (int p = 0; p < propCount; p++)
      dat << props[p][ch] << " ";
}

void endDatLine(std::ostream &dat, double convergenceR) {
  if (pset.numChains >= 2)
    dat << convergenceR;
  dat << std::endl;
}

void writeScreenLine(std::ostream &screen, int ch, long i, double convergenceR) {
  screen << i << " " << pset.mutLocStart[ch] << " " << chainLogLik[ch] << " "
         << pset.mutAgeStart[ch];
  for (int p = 0; p < propCount; p++)
    screen << " " << props[p][ch];
  if (ch == 0 && pset.numChains >= 2)
    screen << "\t\t" << convergenceR;
  screen << std::endl;
}
