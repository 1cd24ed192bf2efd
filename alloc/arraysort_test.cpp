#include "arraysort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace ehi {
namespace {

TEST(ArraySort, IntegersIncludingTheExtremes) {
  IntArPtr a = nullptr;
  IntArAlloc(a, 6);
  int16_t in[] = {3, -1, 2, -32768, 32767, 0};
  a[0] = 999;
  std::copy(std::begin(in), std::end(in), a + 1);
  IntArSort(a, 6);
  int16_t want[] = {-32768, -1, 0, 2, 3, 32767};
  EXPECT_TRUE(std::equal(std::begin(want), std::end(want), a + 1));
  EXPECT_EQ(a[0], 999);  // element 0 is never touched
  IntArDealloc(a, 6);
}

TEST(ArraySort, RealsWithEqualValues) {
  RealArPtr a = nullptr;
  RealArAlloc(a, 4);
  double in[] = {2.5, -0.5, 2.5, 1.0};
  std::copy(std::begin(in), std::end(in), a + 1);
  RealArSort(a, 4);
  double want[] = {-0.5, 1.0, 2.5, 2.5};
  EXPECT_TRUE(std::equal(std::begin(want), std::end(want), a + 1));
  RealArDealloc(a, 4);
}

TEST(ArraySort, ShortAndNegativeCountsChangeNothing) {
  IntArPtr a = nullptr;
  IntArAlloc(a, 3);
  a[0] = 7, a[1] = 3, a[2] = 2, a[3] = 1;
  IntArSort(a, 1);
  IntArSort(a, 0);
  IntArSort(a, -4);
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(a[1], 3);
  EXPECT_EQ(a[2], 2);
  IntArDealloc(a, 3);
}

TEST(ArraySort, RandomArraysOfManySizesEndSorted) {
  std::mt19937 rng(7);
  for (int n : {2, 5, 8, 9, 16, 17, 1000, 32767}) {
    RealArPtr a = nullptr;
    RealArAlloc(a, n);
    std::vector<double> ref(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i) a[i] = ref[size_t(i - 1)] = double(rng() % 100);
    RealArSort(a, int16_t(n));
    std::sort(ref.begin(), ref.end());
    EXPECT_TRUE(std::equal(ref.begin(), ref.end(), a + 1)) << n;
    RealArDealloc(a, n);
  }
}

}  // namespace
}  // namespace ehi
