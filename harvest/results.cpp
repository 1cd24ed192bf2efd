// Distinct records: sorting, removal of duplicates and the table file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "harvest.h"
#include "textfile.h"

namespace ehi {

namespace {

// Eight bytes from `from` as a big-endian number (zero-padded), which
// orders like the bytes themselves. Records share long beginnings (a
// subject code and a date), so the first sixteen bytes settle nearly every
// comparison without touching the records.
uint64_t PrefixKey(const String& s, size_t from) {
  unsigned char b[8] = {};
  const size_t len = size_t(s.Len);
  if (len > from) std::memcpy(b, s.Chars + from, len - from < 8 ? len - from : 8);
  uint64_t k = 0;
  for (unsigned char c : b) k = (k << 8) | c;
  return k;
}

}  // namespace

void SortHarvested() {
  const int32_t n = NHarvested;
  if (n < 2) return;
  ForgetHarvestedOrder();
  // The store holds each record once (AddHarvested drops duplicates), so
  // the records are sorted as they are: by their keys, then their bytes,
  // through an index, then put in place cycle by cycle with one spare
  // record. Equal records, where a caller stored them directly, simply end
  // up next to each other.
  struct Item {
    uint64_t key, key2;
    int32_t index;
  };
  std::vector<Item> items(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    items[size_t(i)] = {PrefixKey(Harvested[i + 1], 0), PrefixKey(Harvested[i + 1], 8), i + 1};
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    if (a.key != b.key) return a.key < b.key;
    if (a.key2 != b.key2) return a.key2 < b.key2;
    return ShortCompare(Harvested[a.index].View(), Harvested[b.index].View()) < 0;
  });
  std::vector<bool> done(static_cast<size_t>(n), false);
  for (int32_t k = 0; k < n; ++k) {
    if (done[size_t(k)] || items[size_t(k)].index == k + 1) continue;
    String spare = Harvested[k + 1];
    int32_t at = k;
    for (;;) {
      done[size_t(at)] = true;
      const int32_t from = items[size_t(at)].index - 1;
      if (from == k) {
        Harvested[at + 1] = spare;
        break;
      }
      Harvested[at + 1] = Harvested[from + 1];
      at = from;
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
