// The Shell sort shared by the module's sorts. Its gaps are 2^k - 1 halved
// down to 1, with D starting as the smallest power of two (at least 2) whose
// double is at least n, less one. The order in which equal keys end up is
// observable, so every sort of the module uses exactly these steps.
#pragma once

namespace ehi {

/// Sorts positions 1..n ascending. `greater(j, k)` tells whether element j
/// is strictly greater than element k; `swap(j, k)` exchanges them.
template <class Greater, class Swap>
void ShellSort(int n, Greater greater, Swap swap) {
  if (n < 2) return;
  int d = 2;
  while (2 * d < n) d *= 2;
  d -= 1;
  while (d != 0) {
    for (int i = 1; i <= n - d; ++i) {
      int j = i;
      while (j >= 1 && greater(j, j + d)) {
        swap(j, j + d);
        j -= d;
      }
    }
    d /= 2;
  }
}

}  // namespace ehi
