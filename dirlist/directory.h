// Directory: a markable string list of one directory's entries that match a
// mask and an attribute filter, with the search record of each entry.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "dirsearch.h"
#include "shortstring.h"
#include "stringlist.h"

namespace ehi {

/// Allowed attributes for a listing of plain files: every bit but hidden,
/// system, volume label and directory (65505).
extern uint16_t FileAttrMask;
/// Allowed attributes for a listing of directories: every bit (65535).
extern uint16_t DirAttrMask;

/// Sets the module's attribute masks; runs after the widget module's.
void InitUDir2();

/// Room for entry records in one listing.
constexpr int MaxEntries = 5000;

/// The listing of one directory.
class Directory : public MarkableStringList {
 public:
  /// The directory part of Mask, up to and including its last separator.
  String DirPart;
  /// The mask of the last ReadListing.
  String Mask;
  /// FileAttrMask as it stood at construction; for re-reads by a screen.
  uint16_t AttrAllowed = 0;
  /// Required attributes for re-reads by a screen; 0 at construction.
  uint16_t AttrRequired = 0;
  /// The record of each accepted entry of the last read, 1..NStrings: the
  /// record of name I is Entries[I], also after SortListing; empty past the
  /// last read's count.
  std::vector<std::unique_ptr<EntryRecord>> Entries;

  /// An empty listing; a capacity above MaxEntries stops the program.
  Directory(int16_t PassMaxStrings, bool PassUsingMarks);
  /// Releases the entry records, then the list.
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  /// Replaces the listing by the entries of `ThisMask` whose attributes
  /// (low 16 bits) lie within `ThisAttr` and include every bit of `MustHave`.
  void ReadListing(std::string_view ThisMask, uint16_t ThisAttr, uint16_t MustHave);
  /// Whether a listing with `ThisAttr` and `MustHave` (as ReadListing takes
  /// them) holds an entry whose attributes are `attr`.
  static bool Accepts(uint32_t attr, uint16_t ThisAttr, uint16_t MustHave) {
    attr &= 0xFFFF;
    return (attr & ~uint32_t(ThisAttr)) == 0 && (attr & MustHave) == MustHave;
  }
  /// The I-th marked name without directory and extension.
  String IthMarkedBaseName(int16_t I) const;
  /// Sorts the names (with their records), then puts "." first and ".."
  /// second.
  void SortListing(bool CaseSensitive);

 private:
  // The list's own edits would move names without their records: a
  // listing's names change only by reading and SortListing.
  using MarkableStringList::DeleteFromList;
  using MarkableStringList::InsertInList;
  using MarkableStringList::MoveToTop;
  using MarkableStringList::Sort;
  void ReleaseEntries();
  void BringToTop(std::string_view Name);
};

/// A reference to a Directory.
using DirPtr = Directory*;

}  // namespace ehi
