// A bounded list of 80-character strings with an optional mark per entry.
// Its capacity is fixed at construction; exceeding it stops the program.
#pragma once

#include <cstdint>
#include <string_view>

#include "shortstring.h"
#include "textfile.h"
#include "typedarrays.h"

namespace ehi {

/// A copy of `S` with "a".."z" replaced by "A".."Z"; other bytes unchanged.
String UpperCase(std::string_view S);

/// The markable string list. Indices are 1-based; fields are public.
class MarkableStringList {
 public:
  /// Number of entries held (entries 1..NStrings).
  int16_t NStrings = 0;
  /// Capacity, fixed at construction.
  int16_t MaxStrings = 0;
  /// Number of marked entries as of the last CountSelected.
  int16_t NSelected = 0;
  /// Whether the mark array exists.
  bool UsingMarks = false;
  /// The mark AddString gives each new entry.
  bool StartBool = false;
  /// The strings, MaxStrings + 1 elements (index 0 unused).
  Str80ArPtr S = nullptr;
  /// The marks, MaxStrings + 1 elements; only when UsingMarks.
  BoolArPtr B = nullptr;

  /// An empty list of the given capacity; all marks start false.
  MarkableStringList(int16_t PassMaxStrings, bool PassUsingMarks);
  /// Releases the arrays.
  ~MarkableStringList();
  MarkableStringList(const MarkableStringList&) = delete;
  MarkableStringList& operator=(const MarkableStringList&) = delete;

  /// Appends `ThisS` (cut to 80) with the mark StartBool; stops when full.
  void AddString(std::string_view ThisS);
  /// Entry I, or "" outside 1..NStrings.
  String80 IthString(int16_t I) const;
  /// The I-th marked entry, or "".
  String80 IthMarkedString(int16_t I) const;
  /// Mark of entry I, or false outside 1..NStrings.
  bool IthMark(int16_t I) const;
  /// Sets every mark, then recounts.
  void SetAllMarks(bool ToWhat);
  /// Sets mark I (ignored outside 1..NStrings), then recounts.
  void SetIthMark(int16_t I, bool ToWhat);
  /// Recomputes NSelected.
  void CountSelected();
  /// Writes every entry as one line to an open text file.
  void WriteStringsToFile(TextFile& OFile) const;
  /// Inserts `NewS` before position I (1..NStrings + 1); marks stay put.
  void InsertInList(int16_t I, std::string_view NewS);
  /// Removes entry I; marks stay with their positions.
  void DeleteFromList(int16_t I);
  /// Whether an entry equals `ThisS` exactly.
  bool StringPresent(std::string_view ThisS) const;
  /// Index of the first entry equal to `ThisS`, 0 if none.
  int16_t StringLocation(std::string_view ThisS) const;
  /// Whether an entry equals `ThisS` ignoring ASCII case.
  bool StringPresentIC(std::string_view ThisS) const;
  /// Index of the first entry equal to `ThisS` ignoring ASCII case.
  int16_t StringLocationIC(std::string_view ThisS) const;
  /// Whether some entry contains `ThisS` (never for an empty `ThisS`).
  bool PartialStringPresent(std::string_view ThisS) const;
  /// Index of the first entry containing `ThisS`, 0 if none.
  int16_t PartialStringLocation(std::string_view ThisS) const;
  /// Upper-cases every entry.
  void AllUpperCase();
  /// Moves the first entry equal to `ThisS` to position 1.
  void MoveToTop(std::string_view ThisS);
  /// Ascending Shell sort; marks travel with their strings.
  void Sort(bool CaseSensitive);

 protected:
  /// Whether entry J belongs after entry K in the sort's order.
  bool SortsAfter(int J, int K, bool CaseSensitive) const;
  /// Exchanges entries J and K with their marks.
  void SwapEntries(int J, int K);

 private:
  void RequireMarks() const;
};

}  // namespace ehi
