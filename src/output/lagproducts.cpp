// The lagged products by the Wiener-Khinchin relation: the series, padded with
// zeros to a power of two at least twice its length (so that no product wraps
// around), is transformed, its power spectrum taken, and transformed again.
// The transform is a plain radix-2 one in double precision whose every
// operation is fixed by the source, so that the figures are the same on every
// machine; the libraries at hand either choose their vector code by the
// processor they run on or work in single precision.
#include "lagproducts.h"

#include <cmath>
#include <complex>
#include <cstddef>

namespace {

using Complex = std::complex<double>;

// The factors exp(-2 pi i k / m), k < m / 2, of a transform of length m. Each
// is taken directly from its angle, not by recurrence, so that rounding does
// not build up along a stage.
std::vector<Complex> twiddles(size_t m) {
  const double pi = std::acos(-1.0);
  std::vector<Complex> twiddle(m / 2);
  for (size_t k = 0; k < m / 2; k++) {
    const double angle = -2 * pi * static_cast<double>(k) / static_cast<double>(m);
    twiddle[k] = Complex(std::cos(angle), std::sin(angle));
  }
  return twiddle;
}

// In-place forward transform, X[k] = sum_j x[j] exp(-2 pi i j k / m), of a
// sequence whose length m is a power of two, with its twiddles.
void transform(std::vector<Complex> &x, const std::vector<Complex> &twiddle) {
  const size_t m = x.size();
  for (size_t i = 1, j = 0; i < m; i++) {
    size_t bit = m >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j)
      std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= m; len <<= 1) {
    const size_t half = len / 2, stride = m / len;
    for (size_t start = 0; start < m; start += len)
      for (size_t k = 0; k < half; k++) {
        const Complex w = twiddle[k * stride] * x[start + k + half];
        x[start + k + half] = x[start + k] - w;
        x[start + k] += w;
      }
  }
}

} // namespace

std::vector<double> lagProducts(const std::vector<double> &c) {
  const size_t n = c.size();
  size_t m = 1;
  while (m < 2 * n)
    m <<= 1;
  std::vector<Complex> x(m);
  for (size_t i = 0; i < n; i++)
    x[i] = c[i];
  const std::vector<Complex> twiddle = twiddles(m);
  transform(x, twiddle);
  for (Complex &v : x)
    v = std::norm(v);
  // The power spectrum is real and even, so its forward transform is m times
  // the inverse one.
  transform(x, twiddle);
  std::vector<double> s(n);
  for (size_t lag = 0; lag < n; lag++)
    s[lag] = x[lag].real() / static_cast<double>(m);
  return s;
}
