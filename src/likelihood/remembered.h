// A function value remembered with its argument. The same argument gives the
// same value, so the remembered value is used while the argument is unchanged;
// a NaN argument never equals itself, and the first use finds the initial NaN.
// The likelihood uses it for the exponentials of its crossover weights and the
// logarithms of table entries, which most moves leave unchanged.
#pragma once

#include <limits>

struct Remembered {
  double arg = std::numeric_limits<double>::quiet_NaN();
  double value = 0;
};

// f(arg), taken afresh only when arg differs from the remembered argument.
template <class F> double recall(Remembered &memo, double arg, F f) {
  if (!(memo.arg == arg)) {
    memo.arg = arg;
    memo.value = f(arg);
  }
  return memo.value;
}
