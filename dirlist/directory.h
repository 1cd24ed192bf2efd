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
  /// The record of each accepted entry of the last read, in reading order
  /// (1..the count read): right after a read, record I is that of name I.
  /// Sorting or editing the names leaves the records where they are; find
  /// a name's record with IthEntry or EntryNamed.
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
  /// Sorts the names, then puts "." first and ".." second; the records stay
  /// in reading order.
  void SortListing(bool CaseSensitive);
  /// The record of the last read whose name, as the list keeps it (its first
  /// 80 characters), or whole, is `Name`; the `Nth` such record in reading
  /// order when several names share their first 80 characters. nullptr when
  /// there is none (a name added by hand).
  const EntryRecord* EntryNamed(std::string_view Name, int Nth = 1) const;
  /// The record of name I, found by the name: when several names look alike
  /// in the list, the n-th of them gets the n-th such record. nullptr
  /// outside 1..NStrings or for a name no record has.
  const EntryRecord* IthEntry(int16_t I) const;

 private:
  void ReleaseEntries();
  // How many records the last read made (the names may since have been
  // edited).
  int entriesRead_ = 0;
};

/// A reference to a Directory.
using DirPtr = Directory*;

}  // namespace ehi
