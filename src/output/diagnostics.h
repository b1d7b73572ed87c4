// Numerical summaries of Markov chain draws: moments, quantiles, highest-
// density intervals, and the rank-normalised convergence diagnostics (split
// R-hat, bulk and tail effective sample sizes) of Vehtari et al. (2021). All
// are pure functions of the draws; a figure that cannot be computed is NaN.
#pragma once

#include <vector>

// Draws of one parameter: [chain][iteration], every chain the same length, in
// sampling order.
using ChainDraws = std::vector<std::vector<double>>;

double sampleMean(const std::vector<double> &x);
// Standard deviation with the n - 1 divisor; NaN below two draws.
double sampleSd(const std::vector<double> &x);
// Quantile p of sorted draws, interpolated between order statistics as R's
// default (type 7) does.
double sortedQuantile(const std::vector<double> &sorted, double p);

struct Interval {
  double low, high;
};
// The shortest interval [x_i, x_j] of sorted draws that holds at least
// ceil(level * n) of them (at least one); the leftmost when several tie.
Interval highestDensityInterval(const std::vector<double> &sorted, double level);

// Rank-normalised split R-hat: the larger of the bulk and folded (tail)
// values.
double rankSplitRhat(const ChainDraws &draws);
// Bulk effective sample size: of the rank-normalised split chains.
double essBulk(const ChainDraws &draws);
// Tail effective sample size: the smaller of those of the indicators of the
// 5% and 95% quantiles.
double essTail(const ChainDraws &draws);
