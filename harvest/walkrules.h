// The walk's rules, in one place: the order of a folder's items, which
// names qualify, which entries are walked and where the walk stops. The
// walk follows them as it lists and reads; the read-ahead worker and the
// fetchers work out from the same calls, with a folder's listing alone, what
// the walk will open there and whether it stops there, so that they open
// nothing it would not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "directory.h"
#include "dirsearch.h"
#include "platform.h"

namespace ehi {

/// Names one listing of a folder takes: its plain files, or its subfolders
/// counting "." and "..". A folder with one more stops the run.
constexpr int16_t kFolderCapacity = 2000;

/// One pass over a folder's listing: the attribute bits an entry may have
/// and those it must have, as Directory::ReadListing takes them.
struct ListingPass {
  uint16_t Allowed = 0;
  uint16_t Required = 0;
};
/// The walk's first pass over a folder: its plain files (none of the bits
/// hidden, system, volume label, directory), whose qualifying ones (HasEHI)
/// it reads in the listing's order.
ListingPass FilePass();
/// The second pass: the subfolders, "." and ".." too, which it then enters
/// in the listing's order, each with everything below it.
ListingPass FolderPass();
/// Whether `pass` takes an entry whose attribute bits are `attr`.
inline bool InPass(const ListingPass& pass, uint32_t attr) {
  return Directory::Accepts(attr, pass.Allowed, pass.Required);
}

/// Whether the walk enters a subfolder listed as `name`: all but "." and "..".
bool EntersFolder(std::string_view name);
/// Whether the run may use `path`: a longer one stops the run where it
/// must be used (a folder to list, a qualifying file to open).
bool PathFits(std::string_view path);
/// Whether the path `prefix` + `name` fits.
bool PathFits(std::string_view prefix, std::string_view name);
/// Whether a folder's search that ended with `searchError` stops the run.
/// The normal end does not, nor a folder that is missing or closed to the
/// user: it is empty to the walk. Any other failure does.
bool SearchEndStops(int searchError);
/// Whether a helper that could not list the folder `path` must go no
/// further: where the walk may stop. A folder that vanished may still be
/// listed by its parent under a name the system cannot take back, and the
/// walk stops there; only the walk can tell.
bool SearchEndMayStop(int searchError, std::string_view path);
/// Whether a name of the start folder is the table's, as the file system
/// compares names (on Windows whatever the letter case).
bool IsTableName(std::string_view name);
/// Whether `path` is the table behind a link the run may not follow: the
/// walk stops there with access denied, and no helper opens it.
bool IsRefusedTable(std::string_view path);

/// The physical folders a walk has entered: each is walked once, so that
/// link cycles end.
class WalkedFolders {
 public:
  using Mark = std::set<std::pair<uint64_t, uint64_t>>::node_type;
  /// The folder `facts` as an entry of the set, made apart from it: adding
  /// it then allocates nothing (for callers that hold a lock). Empty for a
  /// folder that does not exist.
  static Mark MarkOf(const sys::PathFacts& facts);
  /// Whether the folder is entered for the first time; from now on it
  /// counts as entered. One that does not exist always is (the walk finds
  /// it empty).
  bool FirstVisit(Mark mark);
  bool FirstVisit(const sys::PathFacts& facts) { return FirstVisit(MarkOf(facts)); }

 private:
  std::set<std::pair<uint64_t, uint64_t>> entered_;
};

/// What the walk does in one folder, worked out from the folder's listing
/// alone: the qualifying files it reads and the subfolders it enters, in
/// its order, and whether it stops in the folder once those are done (too
/// many entries, a path too long). Keeps copies of just those names.
class FolderPlan {
 public:
  /// Starts the plan of the folder whose paths begin with `prefix` ("" for
  /// the start folder, else ending in "/").
  void Start(std::string_view prefix);
  /// Takes the listing's next entry. `named()` gives the attribute bits of
  /// what an entry the listing could not tell (a link) names; it is called
  /// for those only. False once the plan is settled whatever follows (the
  /// walk stops in the folder before reading any of its files).
  template <typename Named>
  bool Add(const char* name, uint32_t attr, bool unresolved, Named named) {
    return Take(name, unresolved ? JudgedAttr(attr, named()) : attr);
  }
  /// Settles the plan once the listing is complete.
  void Finish();

  size_t Files() const { return fileStarts_.size(); }
  /// The path of the i-th file to read (0-based), into `path`.
  void File(size_t i, std::string& path) const {
    path.assign(prefix_).append(fileNames_.data() + fileStarts_[i]);
  }
  size_t Folders() const { return folderStarts_.size(); }
  /// The path of the i-th subfolder to enter (0-based), into `path`.
  void Folder(size_t i, std::string& path) const {
    path.assign(prefix_).append(folderNames_.data() + folderStarts_[i]);
  }
  /// Whether the walk stops in the folder after those files and folders.
  bool Stops() const { return stops_; }
  /// Forgets the files (once read), keeping the folders.
  void DropFiles();
  /// Bytes of room the plan holds.
  size_t HeldBytes() const;

 private:
  bool Take(const char* name, uint32_t attr);
  static void Append(std::string& names, std::vector<uint32_t>& starts, const char* name);
  std::string prefix_;
  ListingPass files_, folders_;          // the two passes, as they stand
  std::string fileNames_, folderNames_;  // names, each followed by a NUL
  std::vector<uint32_t> fileStarts_, folderStarts_;
  int plainFiles_ = 0, subfolders_ = 0;  // as the two passes count them
  bool fileCut_ = false;    // a qualifying file's path is too long: none after it
  bool folderCut_ = false;  // a subfolder's path is too long: none after it
  bool stops_ = false;
};

/// Entries a listing made ahead of the walk holds at most: one more than
/// the two passes take together, as many as the most crowded folder the
/// walk goes through holds (2000 plain files, 2000 subfolders with "." and
/// ".."). A longer listing is left to the walk; what the walk does with it
/// is still worked out from the entries as they pass.
constexpr size_t kMaxListedAhead = 2 * size_t(kFolderCapacity) + 1;

/// What ListAhead found.
struct ListedAhead {
  int Error = 0;          // what cut the listing short (0: nothing)
  bool Complete = false;  // `kept` holds the whole listing
};

/// Lists the open folder `d` ahead of the walk: gives every entry to
/// `plan` until it is settled, and keeps the entries in `kept` (when given)
/// while there are at most kMaxListedAhead. `onFirst()` runs when the
/// first entry is there (to time the listing).
template <typename OnFirst>
ListedAhead ListAhead(sys::DirStream* d, FolderPlan& plan, ListedEntries* kept, OnFirst onFirst) {
  ListedAhead r;
  r.Complete = kept != nullptr;
  sys::DirEntry e;
  for (bool first = true; sys::NextDirEntry(d, e, r.Error); first = false) {
    if (first) onFirst();
    if (kept && r.Complete) {
      if (kept->Size() < kMaxListedAhead) {
        kept->Add(e.Name, e.Attr, e.Unresolved);
      } else {
        kept->Release();
        r.Complete = false;
      }
    }
    auto named = [&] { return sys::StatInDirStream(d, e.Name).Attr; };
    if (!plan.Add(e.Name, e.Attr, e.Unresolved, named)) {
      r.Complete = false;
      return r;
    }
  }
  if (r.Error != 0) r.Complete = false;
  else plan.Finish();
  return r;
}

}  // namespace ehi
