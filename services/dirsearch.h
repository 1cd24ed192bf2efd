// Directory search: the entries of one directory that match a mask, with
// their attributes, size and packed last-write time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codes.h"
#include "shortstring.h"

namespace ehi {


/// The open search behind a record (opaque; shared by copies of a record).
struct SearchState;

/// One entry as the directory search delivers it. Time, Size and the
/// read-only bit are looked up when first asked for, so a listing that never
/// needs them never pays for a stat of every entry.
struct EntryRecord {
  /// The search this record belongs to.
  std::shared_ptr<SearchState> Search;
  /// Attribute bits that make the search pass over an entry.
  uint32_t ExcludeMask = 0;
  /// The entry's name, without directory, cut at 255 bytes.
  String Name;
  /// The whole name when Name had to cut it (a Windows name of 255
  /// characters takes up to 765 bytes of UTF-8), else empty.
  std::string LongName;
  /// The entry's whole name: a name cut short would name another file.
  std::string_view WholeName() const { return LongName.empty() ? Name.View() : LongName; }

  /// Last-write time in local time, packed (date high, time of day low).
  uint32_t Time() const;
  /// The low 32 bits of the size in bytes.
  uint32_t Size() const;
  /// All attribute bits.
  uint32_t Attr() const;
  /// The attribute bits that are known without looking up the entry's
  /// details: everything but read-only.
  uint32_t KnownAttr() const { return kindAttr_; }

  /// \cond
  // Filled by the search; not for the record's users.
  uint32_t kindAttr_ = 0;
  mutable bool detailsKnown_ = false;
  mutable uint32_t time_ = 0, size_ = 0, readOnly_ = 0;
  void FetchDetails() const;
  /// \endcond
};

/// Status of the last search step: 0 delivered, 18 no more entries, else
/// the error that prevented the search (3 path not found, 5 access denied).
extern int SearchError;

/// Starts a search for `mask` (a directory part up to the system's last
/// folder separator, then a name pattern with "*" and "?") and delivers
/// the first entry that has none of the bits hidden, system, volume label
/// and directory outside `attributes`.
void FindFirstEntry(std::string_view mask, uint16_t attributes, EntryRecord& rec);
/// Delivers the next entry of the search.
void FindNextEntry(EntryRecord& rec);

/// One entry of a directory as listed, before any mask or filter.
struct ListedEntry {
  /// The name, NUL-terminated; valid as long as its listing, unchanged.
  const char* Name = nullptr;
  /// Attribute bits the listing reported (hidden, system, directory).
  uint32_t Attr = 0;
  /// The listing could not tell a file from a directory (a link): the
  /// search looks at what it names.
  bool Unresolved = false;
};

/// The entries of one directory as listed, in order. The names share one
/// buffer: a listing of thousands of entries is two allocations, not one
/// per name.
class ListedEntries {
 public:
  /// Appends an entry; the name is copied.
  void Add(const char* name, uint32_t attr, bool unresolved);
  /// The number of entries.
  size_t Size() const { return entries_.size(); }
  /// Entry `i` (0-based).
  ListedEntry operator[](size_t i) const {
    const Entry& e = entries_[i];
    return {names_.data() + e.Offset, e.Attr, e.Unresolved};
  }
  /// Empties the listing; its room stays for the next one.
  void Clear();
  /// Empties the listing and gives its room back.
  void Release();
  /// Bytes of room the listing holds (names and entries).
  size_t HeldBytes() const { return names_.capacity() + entries_.capacity() * sizeof(Entry); }

 private:
  struct Entry {
    size_t Offset;
    uint32_t Attr;
    bool Unresolved;
  };
  std::string names_;  // every name followed by a NUL
  std::vector<Entry> entries_;
};

/// The attribute bits the search judges an entry by: those the listing
/// gave (`listed`), and for an entry the listing could not tell (a link)
/// the directory and system bits of what it names (`named`: kAttrSystem
/// when it names nothing).
inline uint32_t JudgedAttr(uint32_t listed, uint32_t named) {
  return listed | (named & (kAttrDirectory | kAttrSystem));
}

/// While it exists, the searches of one directory (the directory part of
/// their masks equals `dirPart`) deliver the entries as the first of them
/// found them, so a walk that lists a directory twice (its files, then its
/// subdirectories) asks the file system once. Only one snapshot is active.
class ListingSnapshot {
 public:
  /// A snapshot that the first search of the directory fills.
  explicit ListingSnapshot(std::string_view dirPart);
  /// A snapshot of entries listed beforehand (read ahead, complete and
  /// without error): no search of the directory asks the file system.
  ListingSnapshot(std::string_view dirPart, ListedEntries listed);
  ~ListingSnapshot();
  ListingSnapshot(const ListingSnapshot&) = delete;
  ListingSnapshot& operator=(const ListingSnapshot&) = delete;
};

/// True when `name` matches the pattern: "*" any run, "?" one character
/// (a UTF-8 character whole, else one byte), other bytes themselves; a
/// pattern ending in ".*" also matches names with no ".".
bool MaskMatches(std::string_view pattern, std::string_view name);

/// Splits a path into directory (up to the last "\", "/" or ":"), name and
/// extension (from the last "." of the last component, dot included).
void SplitPath(std::string_view path, String& dir, String& name, String& ext);

}  // namespace ehi
