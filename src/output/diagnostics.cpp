// Moments, quantiles, highest-density intervals and the rank-normalised
// convergence diagnostics of Vehtari, Gelman, Simpson, Carpenter and Bürkner
// (2021, Bayesian Analysis 16:667). The diagnostics follow the published
// reference implementation step by step (splitting, ranking with averaged
// ties, Geyer's initial monotone sequence with its antithetic correction and
// cap), so that the figures agree with it to rounding.
#include "diagnostics.h"
#include "lagproducts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include <boost/math/distributions/normal.hpp>

namespace {

constexpr double notAvailable = std::numeric_limits<double>::quiet_NaN();

// Fewer draws than this give no effective sample size: the autocorrelation
// sequence needs a few lags.
constexpr size_t minEssDraws = 3;

std::vector<double> pooled(const ChainDraws &draws) {
  std::vector<double> all;
  for (const auto &chain : draws)
    all.insert(all.end(), chain.begin(), chain.end());
  return all;
}

bool allFinite(const ChainDraws &draws) {
  for (const auto &chain : draws)
    for (double v : chain)
      if (!std::isfinite(v))
        return false;
  return true;
}

// Constant up to the machine epsilon, the reference's test for draws that
// carry no information about mixing.
bool isConstant(const ChainDraws &draws) {
  const std::vector<double> all = pooled(draws);
  if (all.empty())
    return true;
  const auto [lo, hi] = std::minmax_element(all.begin(), all.end());
  return std::abs(*hi - *lo) < std::numeric_limits<double>::epsilon();
}

bool usable(const ChainDraws &draws) {
  return !draws.empty() && !draws[0].empty() && allFinite(draws) && !isConstant(draws);
}

// Each chain cut in two halves, the middle draw of an odd length dropped, so
// that drift within a chain shows as disagreement between its halves.
ChainDraws splitChains(const ChainDraws &draws) {
  const size_t n = draws[0].size();
  if (n == 1)
    return draws;
  const size_t half = n / 2;
  ChainDraws out;
  for (const auto &chain : draws) {
    out.emplace_back(chain.begin(), chain.begin() + half);
    out.emplace_back(chain.end() - half, chain.end());
  }
  return out;
}

// Replaces every draw by the normal quantile of its fractional rank among all
// draws (ties share their average rank), (r - 3/8) / (S + 1/4).
ChainDraws rankNormalise(const ChainDraws &draws) {
  const size_t chains = draws.size(), n = draws[0].size(), total = chains * n;
  std::vector<size_t> order(total);
  std::iota(order.begin(), order.end(), 0);
  auto at = [&](size_t k) { return draws[k / n][k % n]; };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return at(a) < at(b); });
  const boost::math::normal standard;
  const double offset = 3.0 / 8.0;
  ChainDraws z(chains, std::vector<double>(n));
  for (size_t first = 0; first < total;) {
    size_t last = first;
    while (last + 1 < total && at(order[last + 1]) == at(order[first]))
      last++;
    const double rank = (first + last) / 2.0 + 1.0;
    const double value = quantile(standard, (rank - offset) / (total - 2 * offset + 1));
    for (size_t k = first; k <= last; k++)
      z[order[k] / n][order[k] % n] = value;
    first = last + 1;
  }
  return z;
}

// Absolute distance of every draw from the median of all draws: its R-hat
// measures how well the chains agree on the tails.
ChainDraws fold(const ChainDraws &draws) {
  std::vector<double> all = pooled(draws);
  std::sort(all.begin(), all.end());
  const double median = sortedQuantile(all, 0.5);
  ChainDraws out = draws;
  for (auto &chain : out)
    for (double &v : chain)
      v = std::abs(v - median);
  return out;
}

// The classic potential scale reduction of (already split and normalised)
// chains of equal length.
double scaleReduction(const ChainDraws &draws) {
  if (!usable(draws))
    return notAvailable;
  const double n = draws[0].size();
  std::vector<double> means, vars;
  for (const auto &chain : draws) {
    means.push_back(sampleMean(chain));
    vars.push_back(sampleSd(chain) * sampleSd(chain));
  }
  const double sdMeans = sampleSd(means);
  const double between = n * sdMeans * sdMeans;
  const double within = sampleMean(vars);
  return std::sqrt((between / within + n - 1) / n);
}

// Autocovariances of chains averaged over the chains, lag by lag on demand:
// the sum over lags usually stops after a few, so only those are summed. A
// chain that mixes slowly needs many lags, and those come from the lagged
// products of every lag at once.
// Each chain's estimate uses the divisor n (the biased estimate Geyer
// recommends) and is zero for a chain without variance.
class MeanAutocovariance {
public:
  explicit MeanAutocovariance(const ChainDraws &draws) {
    for (const auto &chain : draws) {
      const double m = sampleMean(chain);
      std::vector<double> c(chain.size());
      for (size_t i = 0; i < c.size(); i++)
        c[i] = chain[i] - m;
      centred_.push_back(std::move(c));
    }
    for (const auto &c : centred_)
      variance_.push_back(sumOfProducts(c, 0));
  }
  double at(size_t lag) {
    if (lag >= directLags && products_.empty())
      for (const auto &c : centred_)
        products_.push_back(lagProducts(c));
    while (known_.size() <= lag) {
      const size_t next = known_.size();
      double total = 0;
      for (size_t ch = 0; ch < centred_.size(); ch++)
        if (variance_[ch] != 0)
          total += (next < directLags ? sumOfProducts(centred_[ch], next) : products_[ch][next]) /
                   centred_[ch].size();
      known_.push_back(total / centred_.size());
    }
    return known_[lag];
  }

private:
  static double sumOfProducts(const std::vector<double> &c, size_t lag) {
    double s = 0;
    for (size_t i = 0; i + lag < c.size(); i++)
      s += c[i] * c[i + lag];
    return s;
  }
  // Lags summed one by one before every lag is taken through the transform,
  // which costs about as much as this many single lags.
  static constexpr size_t directLags = 100;
  ChainDraws centred_, products_;
  std::vector<double> variance_, known_;
};

// Effective sample size of (split) chains from their autocorrelations, summed
// over Geyer's initial positive sequence of lag pairs, made monotone, with the
// next even lag added (which helps antithetic chains), and capped at
// S log10(S).
double effectiveSize(const ChainDraws &draws) {
  if (draws.empty() || draws[0].size() < minEssDraws || !usable(draws))
    return notAvailable;
  const size_t chains = draws.size(), n = draws[0].size();
  MeanAutocovariance acov(draws);
  std::vector<double> means;
  for (const auto &chain : draws)
    means.push_back(sampleMean(chain));
  const double meanVar = acov.at(0) * n / (n - 1.0);
  double varPlus = meanVar * (n - 1.0) / n;
  if (chains > 1) {
    const double s = sampleSd(means);
    varPlus += s * s;
  }
  auto rho = [&](size_t lag) { return 1 - (meanVar - acov.at(lag)) / varPlus; };

  std::vector<double> rhoHat(n, 0.0);
  double even = 1, odd = rho(1);
  rhoHat[0] = even;
  rhoHat[1] = odd;
  size_t t = 0;
  while (t + 5 < n && !std::isnan(even + odd) && even + odd > 0) {
    t += 2;
    even = rho(t);
    odd = rho(t + 1);
    if (even + odd >= 0) {
      rhoHat[t] = even;
      rhoHat[t + 1] = odd;
    }
  }
  const size_t maxT = t;
  if (even > 0)
    rhoHat[maxT] = even;
  for (t = 2; t + 2 <= maxT; t += 2)
    if (rhoHat[t] + rhoHat[t + 1] > rhoHat[t - 2] + rhoHat[t - 1]) {
      rhoHat[t] = (rhoHat[t - 2] + rhoHat[t - 1]) / 2;
      rhoHat[t + 1] = rhoHat[t];
    }
  // Lags 0..maxT-1; the reference's range of an empty sequence yields lag 0.
  double sum = rhoHat[0];
  for (size_t lag = 1; lag < maxT; lag++)
    sum += rhoHat[lag];
  const double total = static_cast<double>(chains * n);
  const double tau = std::max(-1 + 2 * sum + rhoHat[maxT], 1 / std::log10(total));
  return total / tau;
}

double quantileEss(const ChainDraws &draws, double p) {
  std::vector<double> all = pooled(draws);
  std::sort(all.begin(), all.end());
  const double q = sortedQuantile(all, p);
  ChainDraws below = draws;
  for (auto &chain : below)
    for (double &v : chain)
      v = v <= q ? 1.0 : 0.0;
  return effectiveSize(splitChains(below));
}

} // namespace

double sampleMean(const std::vector<double> &x) {
  if (x.empty())
    return notAvailable;
  // A second pass corrects the rounding of the first sum.
  double s = 0;
  for (double v : x)
    s += v;
  const double m = s / x.size();
  double r = 0;
  for (double v : x)
    r += v - m;
  return m + r / x.size();
}

double sampleSd(const std::vector<double> &x) {
  if (x.size() < 2)
    return notAvailable;
  const double m = sampleMean(x);
  double ss = 0;
  for (double v : x)
    ss += (v - m) * (v - m);
  return std::sqrt(ss / (x.size() - 1));
}

double sortedQuantile(const std::vector<double> &sorted, double p) {
  if (sorted.empty())
    return notAvailable;
  const double index = (sorted.size() - 1) * p;
  const size_t lo = static_cast<size_t>(std::floor(index));
  const size_t hi = static_cast<size_t>(std::ceil(index));
  const double h = index - lo;
  if (hi == lo || sorted[hi] == sorted[lo])
    return sorted[lo];
  return (1 - h) * sorted[lo] + h * sorted[hi];
}

Interval highestDensityInterval(const std::vector<double> &sorted, double level) {
  const size_t n = sorted.size();
  if (n == 0)
    return {notAvailable, notAvailable};
  // The small allowance keeps a product such as 0.95 * 20 from rounding up to
  // one draw more than meant.
  const double wanted = std::ceil(level * n - 1e-9);
  const size_t span = std::min(n, static_cast<size_t>(std::max(1.0, wanted)));
  size_t best = 0;
  for (size_t i = 1; i + span <= n; i++)
    if (sorted[i + span - 1] - sorted[i] < sorted[best + span - 1] - sorted[best])
      best = i;
  return {sorted[best], sorted[best + span - 1]};
}

double rankSplitRhat(const ChainDraws &draws) {
  if (!usable(draws))
    return notAvailable;
  const double bulk = scaleReduction(rankNormalise(splitChains(draws)));
  const double tail = scaleReduction(rankNormalise(splitChains(fold(draws))));
  if (std::isnan(bulk) || std::isnan(tail))
    return notAvailable;
  return std::max(bulk, tail);
}

double essBulk(const ChainDraws &draws) {
  if (!usable(draws))
    return notAvailable;
  return effectiveSize(rankNormalise(splitChains(draws)));
}

double essTail(const ChainDraws &draws) {
  if (!usable(draws))
    return notAvailable;
  const double low = quantileEss(draws, 0.05), high = quantileEss(draws, 0.95);
  if (std::isnan(low) || std::isnan(high))
    return notAvailable;
  return std::min(low, high);
}
