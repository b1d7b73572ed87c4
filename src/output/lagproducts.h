// Sums of lagged products of a series, s[lag] = sum over i of c[i] c[i + lag],
// for every lag at once through the discrete Fourier transform: the
// autocovariances of a long, slowly mixing chain are needed out to lags in
// the thousands, which summed lag by lag would cost the chain's length for
// every lag.
#pragma once

#include <vector>

// s[lag] for lag = 0 .. c.size() - 1.
std::vector<double> lagProducts(const std::vector<double> &c);
