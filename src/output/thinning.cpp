// The default thin of a mixing run, from the sizes of the rows it writes.
#include "thinning.h"

#include <cmath>

namespace {

// Bytes of a row at its widest in practice: a draw (chain, iteration, and
// location, age and founder share with seventeen digits each) and a trace row
// (iteration and seventeen figures of ten digits, membership's included),
// each ending with the run's identity of sixteen digits.
constexpr double drawBytes = 89;
constexpr double traceRowBytes = 257;

} // namespace

long automaticThin(long total, long sampled, int chains, int fileInterval) {
  const double traceRows = fileInterval > 0 ? static_cast<double>(total) / fileInterval + 1 : 1;
  const double bytes =
      chains * (static_cast<double>(sampled) * drawBytes + traceRows * traceRowBytes);
  return bytes <= thinnedBytes ? 1 : static_cast<long>(std::ceil(bytes / thinnedBytes));
}
