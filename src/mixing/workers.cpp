// How many threads a run's chains take.
#include <thread>

#include "mixing.h"

int workerCount(int requested, int chainCount) {
  int n = requested;
  if (n <= 0)
    n = static_cast<int>(std::thread::hardware_concurrency());
  if (n > chainCount)
    n = chainCount;
  return n < 1 ? 1 : n;
}
