// Fuzz target: the control-file reader on arbitrary text, within a memory
// budget the fuzzer's own limits allow.
#include <sstream>

#include "fuzzkit.h"
#include "input.h"
#include "memorybudget.h"
#include "mutloc.h"
#include "random.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  prepareFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
  std::ostringstream log;
  patientData.assign(patientRows, std::vector<int>(patientCols, 0));
  std::vector<std::vector<Haplotype>> normalHaps;
  Rng rng = streamFrom(-1);
  int segCount = 0;
  untilStopped(
      [&] { readdata3(rng, &segCount, in, log, patientData, normalHaps, MemoryBudget{256e6}); });
  return 0;
}
