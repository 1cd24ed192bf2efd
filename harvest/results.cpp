// Distinct records: sorting, removal of duplicates and the table file.
#include <algorithm>
#include <cstring>

#include "harvest.h"
#include "textfile.h"

namespace ehi {

void SortHarvested() {
  if (NHarvested < 2) return;
  // Any in-place sort gives the same table: equal records are identical.
  // memcmp gives the same unsigned byte order as ShortCompare.
  std::sort(Harvested + 1, Harvested + 1 + NHarvested, [](const String& a, const String& b) {
    int common = a.Len < b.Len ? a.Len : b.Len;
    int c = std::memcmp(a.Chars, b.Chars, size_t(common));
    return c != 0 ? c < 0 : a.Len < b.Len;
  });
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
  AssignText(table, "Orvitan.Tab");
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
