// Distinct records: sorting, removal of duplicates and the table file.
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "harvest.h"
#include "textfile.h"

namespace ehi {

namespace {

// The first eight bytes as a big-endian number (zero-padded), which orders
// like the bytes themselves and settles most comparisons in one step.
uint64_t PrefixKey(const String& s) {
  unsigned char b[8] = {};
  std::memcpy(b, s.Chars, s.Len < 8 ? s.Len : 8);
  uint64_t k = 0;
  for (unsigned char c : b) k = (k << 8) | c;
  return k;
}

}  // namespace

void SortHarvested() {
  const int32_t n = NHarvested;
  if (n < 2) return;
  ForgetHarvestedOrder();
  // Equal records are identical, so the sorted store is fixed by the
  // distinct records and how often each occurs. Sorting those alone is
  // much cheaper when a tree holds many copies of the same records.

  // 1. Group equal records: each group's first record and its count.
  size_t cap = 1;
  while (cap < size_t(n) * 2) cap <<= 1;
  // Each slot: group number + 1 in the low half (0 = empty), the record's
  // hash in the high half, so unequal records are rarely compared.
  std::vector<uint64_t> slots(cap, 0);
  std::vector<int32_t> first;  // index of each group's first record
  std::vector<int32_t> count;
  std::hash<std::string_view> hasher;
  for (int32_t i = 1; i <= n; ++i) {
    std::string_view v = Harvested[i].View();
    const size_t full = hasher(v);
    const uint64_t tag = uint64_t(uint32_t(full >> 32)) << 32;
    size_t h = full & (cap - 1);
    for (;;) {
      const uint64_t slot = slots[h];
      const uint32_t g = uint32_t(slot);
      if (g == 0) {
        slots[h] = tag | uint32_t(first.size() + 1);
        first.push_back(i);
        count.push_back(1);
        break;
      }
      if ((slot & ~uint64_t(0xFFFFFFFF)) == tag && Harvested[first[g - 1]].View() == v) {
        ++count[g - 1];
        break;
      }
      h = (h + 1) & (cap - 1);
    }
  }
  std::vector<uint64_t>().swap(slots);
  const int32_t groups = int32_t(first.size());

  // 2. Move each group's record to the front, in order of first occurrence
  //    (targets never pass their sources, so nothing is overwritten early).
  for (int32_t g = 0; g < groups; ++g)
    if (first[size_t(g)] != g + 1) Harvested[g + 1] = Harvested[first[size_t(g)]];

  // 3. Sort the distinct records by their keys, then by their bytes.
  struct Item {
    uint64_t key;
    int32_t index;
  };
  std::vector<Item> items(static_cast<size_t>(groups));
  for (int32_t g = 0; g < groups; ++g) items[size_t(g)] = {PrefixKey(Harvested[g + 1]), g + 1};
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    if (a.key != b.key) return a.key < b.key;
    return ShortCompare(Harvested[a.index].View(), Harvested[b.index].View()) < 0;
  });

  // 4. Put the distinct records into sorted order in place, cycle by cycle
  //    with one spare record.
  std::vector<int32_t> sortedCount(static_cast<size_t>(groups));
  bool identity = true;
  for (int32_t k = 0; k < groups; ++k) {
    sortedCount[size_t(k)] = count[size_t(items[size_t(k)].index - 1)];
    identity = identity && items[size_t(k)].index == k + 1;
  }
  if (!identity) {
    std::vector<bool> done(static_cast<size_t>(groups), false);
    for (int32_t k = 0; k < groups; ++k) {
      if (done[size_t(k)] || items[size_t(k)].index == k + 1) continue;
      String spare = Harvested[k + 1];
      int32_t at = k;
      for (;;) {
        done[size_t(at)] = true;
        int32_t from = items[size_t(at)].index - 1;
        if (from == k) {
          Harvested[at + 1] = spare;
          break;
        }
        Harvested[at + 1] = Harvested[from + 1];
        at = from;
      }
    }
  }
  // 5. Write the store from the back: each distinct record as often as it
  //    occurred. The k-th record lands at or after position k, so records
  //    still to be copied are never overwritten first.
  int32_t pos = n;
  for (int32_t k = groups; k >= 1; --k) {
    for (int32_t c = 0; c < sortedCount[size_t(k - 1)]; ++c) {
      if (pos != k) Harvested[pos] = Harvested[k];
      --pos;
    }
  }
}

void RemoveDuplicates() {
  if (NHarvested < 2) return;
  // One pass: keep the first record of each run of equal records.
  int32_t kept = 1;
  for (int32_t i = 2; i <= NHarvested; ++i) {
    if (Harvested[i].View() != Harvested[kept].View()) {
      ++kept;
      if (kept != i) Harvested[kept] = Harvested[i];
    }
  }
  NHarvested = kept;
}

void WriteResults() {
  WriteTextString(ConsoleOutput, "Found ");
  WriteTextInteger(ConsoleOutput, NHarvested, 0);
  WriteTextString(ConsoleOutput, " distinct sets of EHI questionnaire results.");
  EndTextLine(ConsoleOutput);
  CheckIo();
  if (NHarvested <= 0) return;

  // The table goes to a hidden temporary file that replaces the old table
  // only once it is complete and on disk, so a failed write (a full disk)
  // never destroys the records of an earlier run.
  TextFile table;
  AssignText(table, TableName);
  OpenTextReplace(table);
  CheckIo();
  for (int32_t i = 1; i <= NHarvested; ++i) {
    WriteTextString(table, Harvested[i].View(), 0);
    EndTextLine(table);
    CheckIo();
  }
  CloseText(table);
  CheckIo();
}

}  // namespace ehi
