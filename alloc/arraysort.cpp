#include "arraysort.h"

#include "shellsort.h"

namespace ehi {

void RealArSort(RealArPtr& R, int16_t N) {
  double* a = R;
  ShellSort(
      N, [a](int j, int k) { return a[j] > a[k]; },
      [a](int j, int k) {
        double s = a[j];
        a[j] = a[k];
        a[k] = s;
      });
}

void IntArSort(IntArPtr& R, int16_t N) {
  int16_t* a = R;
  ShellSort(
      N, [a](int j, int k) { return a[j] > a[k]; },
      [a](int j, int k) {
        int16_t c1 = a[j], c2 = a[k];
        a[j] = c2;
        a[k] = c1;
      });
}

}  // namespace ehi
