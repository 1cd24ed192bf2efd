// Helpers for the widget tests on the headless console.
#pragma once

#include <string>
#include <vector>

#include "headless.h"

namespace ehi::test {

/// `len` characters of a screen row from a 1-based column.
inline std::string Cells(int col, int row, int len) { return ScreenRow(row).substr(size_t(col - 1), size_t(len)); }

/// Every cell's character and colour, to see whether anything was painted.
inline std::vector<int> Snapshot() {
  std::vector<int> v;
  for (int r = 1; r <= 25; ++r)
    for (int c = 1; c <= 80; ++c) v.push_back(ScreenChar(c, r) << 8 | ScreenAttr(c, r));
  return v;
}

}  // namespace ehi::test
