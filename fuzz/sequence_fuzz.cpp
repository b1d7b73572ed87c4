// Fuzz target: the annotated sequence-file reader on an arbitrary file.
#include <vector>

#include "fuzzkit.h"
#include "input.h"
#include "mutloc.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  prepareFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  pset = Settings();
  pset.numLoci = 2;
  pset.mapDist = {0, 1000, 5000};
  writeInput("contig.gb", data, size);
  std::vector<double> positions;
  std::vector<char> kinds;
  int count = 0;
  untilStopped([&] { readseq(positions, kinds, &count, "contig.gb"); });
  return 0;
}
