// Histograms of the sampled mutation locations or ages of every chain, with
// the bars of the highest-density region flagged and the widths of the
// highest-density intervals at five fixed coverage levels.
#include <cmath>
#include <ostream>

#include "output.h"
#include "sort.h"

namespace {

constexpr double coverageLevels[] = {0.99, 0.95, 0.9, 0.8, 0.5};

// Marks the highest-density bars: bars are dropped from the lowest count
// upwards until the dropped samples reach need, the bar that reaches it
// included and at least one bar always. Bars leave in position order with
// their flags; returns the number of bars kept.
int flagDensityRegion(std::vector<double> &pos, std::vector<int> &count, std::vector<int> &flag,
                      double need) {
  const long bars = pos.size();
  mysort3(pos.data(), count.data(), bars);
  flag.assign(bars, 1);
  int kept = bars;
  long dropped = 0;
  for (long k = 0; k < bars; k++) {
    flag[k] = 0;
    kept--;
    dropped += count[k];
    if (dropped >= need)
      break;
  }
  mysort2(pos.data(), count.data(), flag.data(), bars);
  return kept;
}

// Samples a region of coverage q must hold, of r samples; the rest may be
// dropped.
double samplesOutside(double q, double r) {
  return r - std::floor(r * q);
}

} // namespace

void Histogram(const std::vector<std::vector<double>> &samples, long n, int bars, std::ostream &out,
               long levelBase) {
  if (n < 1 || bars < 1)
    return;
  const double r = levelBase > 0 ? levelBase : pset.realIterations;
  std::vector<double> barPos(bars);
  std::vector<int> barCount(bars), barFlag(bars);
  for (const std::vector<double> &x : samples) {
    const double lo = x[0], hi = x[n - 1];
    const double width = (hi - lo) / bars;
    for (int k = 0; k < bars; k++) {
      barPos[k] = lo + k * width;
      barCount[k] = 0;
    }
    // One pass over the sorted samples; a sample on an inner edge belongs to
    // the bar on its right, and whatever the walk leaves (the largest sample,
    // or all from a NaN on) goes into the last bar.
    long i = 0;
    for (int k = 0; k + 1 < bars; k++)
      for (; i < n && x[i] < barPos[k + 1]; i++)
        barCount[k]++;
    barCount[bars - 1] += n - i;
    for (int k = 0; k < bars; k++)
      barPos[k] += width / 2;

    flagDensityRegion(barPos, barCount, barFlag, samplesOutside(1 - pset.alphaLevel, r));
    for (int k = 0; k < bars; k++)
      out << barPos[k] << " " << static_cast<double>(barCount[k]) / n << " " << barCount[k] << " "
          << barFlag[k] << std::endl;

    for (double q : coverageLevels) {
      const int kept = flagDensityRegion(barPos, barCount, barFlag, samplesOutside(q, r));
      out << q * 100 << "% = " << (barPos[bars - 1] - barPos[0]) / bars * kept << " ";
    }
    out << std::endl;
  }
}
