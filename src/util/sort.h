// The program's one quicksort scheme, ascending and not stable, with the
// pivot at the first entry of the range. Its members differ only in the key
// and in the companion entries that move with it, so they share one template
// parametrised by a key accessor and an exchange of two entries.
#pragma once

#include <utility>
#include <vector>

namespace sortdetail {

// Sorts entries 0..n-1 by key(i). The left scan stops on keys >= pivot and the
// right scan on keys <= pivot, so keys equal to the pivot end on both sides;
// only the left part recurses, the right part is handled by the loop.
template <class Key, class Swap> void quicksort(long first, long n, Key key, Swap swapEntries) {
  while (n > 1) {
    auto pivot = key(first);
    long i = 0, j = n;
    for (;;) {
      for (++i; i < n && key(first + i) < pivot; ++i) {
      }
      for (--j; key(first + j) > pivot; --j) {
      }
      if (i >= j)
        break;
      swapEntries(first + i, first + j);
    }
    swapEntries(first, first + i - 1);
    quicksort(first, i - 1, key, swapEntries);
    first += i;
    n -= i;
  }
}

} // namespace sortdetail

// Sorts a[0..n-1].
template <class T> void mysort(T *a, long n) {
  sortdetail::quicksort(
      0, n, [&](long i) { return a[i]; }, [&](long i, long j) { std::swap(a[i], a[j]); });
}

// Sorts on a, moving b[i] and c[i] with a[i].
template <class T, class U> void mysort2(T *a, U *b, U *c, long n) {
  sortdetail::quicksort(
      0, n, [&](long i) { return a[i]; },
      [&](long i, long j) {
        std::swap(a[i], a[j]);
        std::swap(b[i], b[j]);
        std::swap(c[i], c[j]);
      });
}

// Sorts on b (the second argument), moving a[i] with b[i].
template <class T, class U> void mysort3(T *a, U *b, long n) {
  sortdetail::quicksort(
      0, n, [&](long i) { return b[i]; },
      [&](long i, long j) {
        std::swap(a[i], a[j]);
        std::swap(b[i], b[j]);
      });
}

// Sorts the first n rows of a matrix on column col by exchanging the first
// width cells of two rows (row slots stay where they are).
template <class Matrix> void mysorttreemat(Matrix &rows, long n, int width, int col) {
  sortdetail::quicksort(
      0, n, [&](long i) { return rows[i][col]; },
      [&](long i, long j) {
        if (i == j)
          return;
        for (int c = 0; c < width; c++)
          std::swap(rows[i][c], rows[j][c]);
      });
}
