#include "directory.h"

#include "codes.h"
#include "fatal.h"
#include "shellsort.h"

namespace ehi {

uint16_t FileAttrMask = 0;
uint16_t DirAttrMask = 0;

void InitUDir2() {
  FileAttrMask = kFileAttrMask;
  DirAttrMask = kDirAttrMask;
}

Directory::Directory(int16_t PassMaxStrings, bool PassUsingMarks)
    : MarkableStringList(PassMaxStrings, PassUsingMarks) {
  if (PassMaxStrings > MaxEntries) RunAbort("Directory capacity above 5000 entries.");
  // Room for a record per name the list can hold.
  Entries.resize(size_t(PassMaxStrings > 0 ? PassMaxStrings : 0) + 1);
  AttrAllowed = FileAttrMask;
  AttrRequired = 0;
}

Directory::~Directory() { ReleaseEntries(); }

void Directory::ReleaseEntries() {
  for (int i = NStrings; i >= 1; --i) Entries[size_t(i)].reset();
}

void Directory::ReadListing(std::string_view ThisMask, uint16_t ThisAttr, uint16_t MustHave) {
  Mask = ThisMask;
  ReleaseEntries();
  NStrings = 0;
  // The read-only bit costs a look at each entry; ask for it only when the
  // filter depends on it.
  const bool needReadOnly = (ThisAttr & kAttrReadOnly) == 0 || (MustHave & kAttrReadOnly) != 0;
  EntryRecord rec;
  // The search gets the mask whole: Mask keeps 255 characters, and a folder
  // path near that limit plus "*.*" may be longer.
  FindFirstEntry(ThisMask, uint16_t(ThisAttr | MustHave), rec);
  while (SearchError == 0) {
    if (Accepts(needReadOnly ? rec.Attr() : rec.KnownAttr(), ThisAttr, MustHave)) {
      // AddString stops the program when the list is full, before any
      // record could be stored past the list's capacity.
      AddString(rec.Name.View());
      Entries[size_t(NStrings)] = std::make_unique<EntryRecord>(rec);
    }
    FindNextEntry(rec);
  }
  size_t cut = ThisMask.find_last_of("/\\");
  if (cut != std::string_view::npos) DirPart = ThisMask.substr(0, cut + 1);
}

String Directory::IthMarkedBaseName(int16_t I) const {
  String dir, name, ext;
  SplitPath(IthMarkedString(I).View(), dir, name, ext);
  return name;
}

void Directory::SortListing(bool CaseSensitive) {
  ShellSort(
      NStrings, [this, CaseSensitive](int j, int k) { return SortsAfter(j, k, CaseSensitive); },
      [this](int j, int k) {
        SwapEntries(j, k);
        std::swap(Entries[size_t(j)], Entries[size_t(k)]);
      });
  BringToTop("..");
  BringToTop(".");
}

// Moves the first entry named `Name` to the top with its record; the marks
// stay with their positions, as the list's MoveToTop leaves them.
void Directory::BringToTop(std::string_view Name) {
  const int16_t pos = StringLocation(Name);
  if (pos <= 1) return;
  String80 name = S[pos];
  std::unique_ptr<EntryRecord> rec = std::move(Entries[size_t(pos)]);
  for (int i = pos; i > 1; --i) {
    S[i] = S[i - 1];
    Entries[size_t(i)] = std::move(Entries[size_t(i - 1)]);
  }
  S[1] = name;
  Entries[1] = std::move(rec);
}

}  // namespace ehi
