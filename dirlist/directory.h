// Directory: a markable string list of one directory's entries that match a
// mask and an attribute filter, with the search record of each entry.
#pragma once

#include <cstdint>
#include <string_view>

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
  /// The record of each accepted entry of the last read, 1..NStrings, in
  /// reading order (sorting the names leaves them as they are); empty past
  /// the last read's count.
  EntryRecord* Entries[MaxEntries + 1] = {};

  /// An empty listing; a capacity above MaxEntries stops the program.
  Directory(int16_t PassMaxStrings, bool PassUsingMarks);
  /// Releases the entry records, then the list.
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  /// Replaces the listing by the entries of `ThisMask` whose attributes
  /// (low 16 bits) lie within `ThisAttr` and include every bit of `MustHave`.
  void ReadListing(std::string_view ThisMask, uint16_t ThisAttr, uint16_t MustHave);
  /// The I-th marked name without directory and extension.
  String IthMarkedBaseName(int16_t I) const;
  /// Sorts the names, then puts "." first and ".." second.
  void SortListing(bool CaseSensitive);

 private:
  void ReleaseEntries();
  // Records held, which list edits (deletions) do not change.
  int entryCount_ = 0;
};

/// A reference to a Directory.
using DirPtr = Directory*;

}  // namespace ehi
