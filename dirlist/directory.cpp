#include "directory.h"

#include "codes.h"
#include "fatal.h"

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
  for (int i = entriesRead_; i >= 1; --i) Entries[size_t(i)].reset();
  entriesRead_ = 0;
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
      Entries[size_t(++entriesRead_)] = std::make_unique<EntryRecord>(rec);
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
  Sort(CaseSensitive);
  MoveToTop("..");
  MoveToTop(".");
}

const EntryRecord* Directory::EntryNamed(std::string_view Name, int Nth) const {
  for (int i = 1; i <= entriesRead_; ++i) {
    const std::string_view whole = Entries[size_t(i)]->Name.View();
    if ((whole.substr(0, 80) == Name || whole == Name) && --Nth == 0) return Entries[size_t(i)].get();
  }
  return nullptr;
}

const EntryRecord* Directory::IthEntry(int16_t I) const {
  if (I < 1 || I > NStrings) return nullptr;
  const std::string_view name = S[I].View();
  int nth = 0;
  for (int i = 1; i <= I; ++i) nth += S[i].View() == name;
  return EntryNamed(name, nth);
}

}  // namespace ehi
