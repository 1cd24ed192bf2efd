#include "stringlist.h"

#include <cstring>

#include "fatal.h"
#include "shellsort.h"

namespace ehi {

String UpperCase(std::string_view S) {
  String out(S);
  for (int i = 0; i < out.Len; ++i) out.Chars[i] = UpCaseChar(out.Chars[i]);
  return out;
}

MarkableStringList::MarkableStringList(int16_t PassMaxStrings, bool PassUsingMarks) {
  NStrings = 0;
  StartBool = false;
  MaxStrings = PassMaxStrings;
  UsingMarks = PassUsingMarks;
  if (!Str80ArAlloc(S, MaxStrings)) RunAbort("not enough RAM available.");
  if (UsingMarks) {
    if (!BoolArAlloc(B, MaxStrings)) RunAbort("not enough RAM available.");
    // Marks start false, so no mark is ever read uninitialised.
    if (MaxStrings >= 0) std::memset(B, 0, size_t(MaxStrings) + 1);
  }
}

MarkableStringList::~MarkableStringList() {
  if (UsingMarks) BoolArDealloc(B, MaxStrings);
  Str80ArDealloc(S, MaxStrings);
}

void MarkableStringList::RequireMarks() const {
  if (!UsingMarks) RunAbort("Mark operation on a string list without marks.");
}

void MarkableStringList::AddString(std::string_view ThisS) {
  if (NStrings < MaxStrings) {
    ++NStrings;
    S[NStrings] = ThisS;
    if (UsingMarks) B[NStrings] = StartBool;
  } else {
    RunAbort("AddString tried to store too many strings in list.");
  }
}

String80 MarkableStringList::IthString(int16_t I) const {
  if (I >= 1 && I <= NStrings) return S[I];
  return String80();
}

String80 MarkableStringList::IthMarkedString(int16_t I) const {
  RequireMarks();
  int count = 0;
  for (int j = 1; j <= NStrings; ++j) {
    if (B[j] && ++count == I) return S[j];
  }
  return String80();
}

bool MarkableStringList::IthMark(int16_t I) const {
  RequireMarks();
  return I >= 1 && I <= NStrings ? B[I] : false;
}

void MarkableStringList::SetAllMarks(bool ToWhat) {
  RequireMarks();
  for (int j = 1; j <= NStrings; ++j) B[j] = ToWhat;
  CountSelected();
}

void MarkableStringList::SetIthMark(int16_t I, bool ToWhat) {
  RequireMarks();
  if (I >= 1 && I <= NStrings) B[I] = ToWhat;
  CountSelected();
}

void MarkableStringList::CountSelected() {
  NSelected = 0;
  if (!UsingMarks) return;
  for (int j = 1; j <= NStrings; ++j)
    if (B[j]) ++NSelected;
}

void MarkableStringList::WriteStringsToFile(TextFile& OFile) const {
  for (int i = 1; i <= NStrings; ++i) {
    WriteTextString(OFile, S[i].View());
    EndTextLine(OFile);
    CheckIo();
  }
}

void MarkableStringList::InsertInList(int16_t I, std::string_view NewS) {
  if (NStrings >= MaxStrings) RunAbort("InsertInList tried to store too many strings in list.");
  if (I < 1 || I > NStrings + 1) RunAbort("InsertInList was given a position outside the list.");
  for (int j = NStrings; j >= I; --j) S[j + 1] = S[j];
  S[I] = NewS;
  ++NStrings;
}

void MarkableStringList::DeleteFromList(int16_t I) {
  if (I > NStrings || I < 1) RunAbort("Tried to delete nonexistant string.");
  for (int j = I + 1; j <= NStrings; ++j) S[j - 1] = S[j];
  --NStrings;
}

bool MarkableStringList::StringPresent(std::string_view ThisS) const {
  return StringLocation(ThisS) > 0;
}

int16_t MarkableStringList::StringLocation(std::string_view ThisS) const {
  for (int i = 1; i <= NStrings; ++i)
    if (S[i].View() == ThisS) return int16_t(i);
  return 0;
}

bool MarkableStringList::StringPresentIC(std::string_view ThisS) const {
  return StringLocationIC(ThisS) > 0;
}

int16_t MarkableStringList::StringLocationIC(std::string_view ThisS) const {
  // Upper-casing cuts at 255 characters, so compare only when the whole
  // argument fits; longer texts can never equal an entry anyway.
  if (ThisS.size() > 80) return 0;
  String want = UpperCase(ThisS);
  for (int i = 1; i <= NStrings; ++i)
    if (UpperCase(S[i].View()).View() == want.View()) return int16_t(i);
  return 0;
}

bool MarkableStringList::PartialStringPresent(std::string_view ThisS) const {
  return PartialStringLocation(ThisS) > 0;
}

int16_t MarkableStringList::PartialStringLocation(std::string_view ThisS) const {
  if (ThisS.empty()) return 0;
  for (int i = 1; i <= NStrings; ++i)
    if (S[i].View().find(ThisS) != std::string_view::npos) return int16_t(i);
  return 0;
}

void MarkableStringList::AllUpperCase() {
  for (int i = 1; i <= NStrings; ++i) S[i] = UpperCase(S[i].View());
}

void MarkableStringList::MoveToTop(std::string_view ThisS) {
  int16_t pos = StringLocation(ThisS);
  if (pos > 0) {
    String80 keep(ThisS);
    DeleteFromList(pos);
    InsertInList(1, keep.View());
  }
}

bool MarkableStringList::SortsAfter(int J, int K, bool CaseSensitive) const {
  if (CaseSensitive) return ShortCompare(S[J].View(), S[K].View()) > 0;
  return ShortCompare(UpperCase(S[J].View()).View(), UpperCase(S[K].View()).View()) > 0;
}

void MarkableStringList::SwapEntries(int J, int K) {
  String80 t = S[J];
  S[J] = S[K];
  S[K] = t;
  if (UsingMarks) {
    bool m = B[J];
    B[J] = B[K];
    B[K] = m;
  }
}

void MarkableStringList::Sort(bool CaseSensitive) {
  ShellSort(
      NStrings, [this, CaseSensitive](int j, int k) { return SortsAfter(j, k, CaseSensitive); },
      [this](int j, int k) { SwapEntries(j, k); });
}

}  // namespace ehi
