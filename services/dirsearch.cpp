#include "dirsearch.h"

#include <string>
#include <vector>

#include "platform.h"
#include "utf8text.h"

namespace ehi {

int SearchError = 0;

namespace {

// The entries of one directory as first listed, while a snapshot is active.
struct Snapshot {
  bool Active = false;
  bool Filled = false;
  std::string Dir;
  std::string Anchored;  // the folder whatever the current folder, once known
  ListedEntries Entries;
};
Snapshot snapshot;

}  // namespace

struct SearchState {
  sys::DirStream* Stream = nullptr;
  std::string Dir;      // directory part of the mask, separator included
  std::string Anchored;  // the same folder, whatever the current folder
  int Error = 0;        // why reading the folder stopped part-way
  std::string Pattern;  // name part of the mask
  bool Replay = false;  // entries come from the snapshot
  bool Record = false;  // entries go into the snapshot as they are read
  size_t Next = 0;      // next snapshot entry when replaying
  ~SearchState() { sys::CloseDirStream(Stream); }

  // The next raw entry, from the snapshot or the directory stream.
  bool NextRaw(sys::DirEntry& entry) {
    if (Replay) {
      if (Next >= snapshot.Entries.Size()) return false;
      const ListedEntry e = snapshot.Entries[Next++];
      entry.Name = e.Name;
      entry.Attr = e.Attr;
      entry.Unresolved = e.Unresolved;
      return true;
    }
    if (!Stream || !sys::NextDirEntry(Stream, entry, Error)) {
      // A listing cut short by an error is no snapshot of the folder.
      if (Record && Error == 0) snapshot.Filled = true;
      return false;
    }
    if (Record) snapshot.Entries.Add(entry.Name, entry.Attr, entry.Unresolved);
    return true;
  }
  // Facts of an entry, links followed.
  sys::PathFacts Facts(const char* name) {
    if (Stream) return sys::StatInDirStream(Stream, name);
    return sys::StatPath(Anchored + name);
  }
};

ListingSnapshot::ListingSnapshot(std::string_view dirPart) {
  snapshot = Snapshot();
  snapshot.Active = true;
  snapshot.Dir = std::string(dirPart);
}

void ListedEntries::Add(const char* name, uint32_t attr, bool unresolved) {
  entries_.push_back({names_.size(), attr, unresolved});
  names_.append(name);
  names_.push_back('\0');
}

void ListedEntries::Clear() {
  names_.clear();
  entries_.clear();
}

void ListedEntries::Release() {
  std::string().swap(names_);
  std::vector<Entry>().swap(entries_);
}

ListingSnapshot::ListingSnapshot(std::string_view dirPart, ListedEntries listed) {
  snapshot = Snapshot();
  snapshot.Active = true;
  snapshot.Filled = true;
  snapshot.Dir = std::string(dirPart);
  snapshot.Entries = std::move(listed);
}

ListingSnapshot::~ListingSnapshot() { snapshot = Snapshot(); }

namespace {

// Whether two name characters are the same: exactly, or letter case aside
// where the file system ignores it (Windows).
bool SameChar(char a, char b) {
  if (a == b) return true;
  static const bool fold = sys::NamesIgnoreCase();
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return fold && lower(a) == lower(b);
}

// The bytes of the name's character at `at`: a "?" stands for a whole
// character of a name in UTF-8, as a user reads it, and a "*" gives up its
// characters whole; a byte that starts no UTF-8 character is one.
size_t CharAt(std::string_view n, size_t at) {
  char32_t code = 0;
  const size_t length = DecodeUtf8(n.substr(at), code);
  return length > 0 ? length : 1;
}

bool MatchFrom(std::string_view p, std::string_view n) {
  // Iterative wildcard match with single-star backtracking: linear in
  // practice and never recursive, whatever the pattern.
  size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
  while (ni < n.size()) {
    // A "*" is always a wildcard, also against a "*" in the name: taking
    // it as a literal would lose the point to come back to.
    if (pi < p.size() && p[pi] == '*') {
      starP = pi++;
      starN = ni;
    } else if (pi < p.size() && p[pi] == '?') {
      ++pi, ni += CharAt(n, ni);
    } else if (pi < p.size() && SameChar(p[pi], n[ni])) {
      ++pi, ++ni;
    } else if (starP != std::string_view::npos) {
      pi = starP + 1;
      starN += CharAt(n, starN);
      ni = starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

void EndSearch(EntryRecord& rec, int error) {
  SearchError = error;
  if (rec.Search) {
    sys::CloseDirStream(rec.Search->Stream);
    rec.Search->Stream = nullptr;
    rec.Search->Replay = false;
  }
}

void Deliver(EntryRecord& rec) {
  SearchState& s = *rec.Search;
  sys::DirEntry entry;
  while (s.NextRaw(entry)) {
    std::string_view nm(entry.Name);
    if (!MaskMatches(s.Pattern, nm)) continue;
    uint32_t attr = entry.Attr;
    sys::PathFacts facts;
    const bool haveFacts = entry.Unresolved;
    if (haveFacts) {
      // Only links and file systems without entry types need a look at
      // the entry itself to tell a directory from a file; what cannot be
      // looked at (a dangling link) is a system entry, never read.
      facts = s.Facts(entry.Name);
      attr = JudgedAttr(attr, facts.Attr);
    }
    if (attr & rec.ExcludeMask) continue;
    rec.Name = nm;
    if (nm.size() > size_t(rec.Name.Capacity())) rec.LongName = nm;
    else rec.LongName.clear();
    rec.kindAttr_ = attr;
    rec.detailsKnown_ = haveFacts;
    if (haveFacts) {
      rec.time_ = facts.Exists ? facts.PackedTime : sys::kEarliestPackedTime;
      rec.size_ = uint32_t(facts.Size);
      rec.readOnly_ = facts.Attr & kAttrReadOnly;
    }
    SearchError = 0;
    return;
  }
  EndSearch(rec, s.Error != 0 ? s.Error : rte::kNoMoreFiles);
}

}  // namespace

bool MaskMatches(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;  // every listing of the walk
  if (MatchFrom(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos)
    return MatchFrom(pattern.substr(0, pattern.size() - 2), name);
  return false;
}

void EntryRecord::FetchDetails() const {
  if (detailsKnown_) return;
  detailsKnown_ = true;
  // An entry that cannot be looked up any more keeps the earliest date
  // there is rather than a date that is no date.
  time_ = sys::kEarliestPackedTime;
  if (!Search) return;
  sys::PathFacts f = sys::StatPath(Search->Anchored + std::string(WholeName()));
  if (!f.Exists) return;
  time_ = f.PackedTime;
  size_ = uint32_t(f.Size);
  readOnly_ = f.Attr & kAttrReadOnly;
}

uint32_t EntryRecord::Time() const {
  FetchDetails();
  return time_;
}

uint32_t EntryRecord::Size() const {
  FetchDetails();
  return size_;
}

uint32_t EntryRecord::Attr() const {
  FetchDetails();
  return kindAttr_ | readOnly_;
}

void FindFirstEntry(std::string_view mask, uint16_t attributes, EntryRecord& rec) {
  rec = EntryRecord();
  SearchError = 0;
  rec.ExcludeMask = ~uint32_t(attributes) & kAttrSearchExcludable;
  // The folder part ends at the last separator of the system: on POSIX a
  // "\\" belongs to a name.
  size_t cut = mask.size();
  while (cut > 0 && !sys::IsFolderSeparator(mask[cut - 1])) --cut;
  cut = cut == 0 ? std::string_view::npos : cut - 1;
  auto state = std::make_shared<SearchState>();
  if (cut == std::string_view::npos) {
    state->Pattern = std::string(mask);
  } else {
    state->Dir = std::string(mask.substr(0, cut + 1));
    state->Pattern = std::string(mask.substr(cut + 1));
  }
  const bool snapshotted = snapshot.Active && snapshot.Dir == state->Dir;
  // The folder's anchor is looked up once per snapshot, not per search.
  if (!snapshotted || snapshot.Anchored.empty()) state->Anchored = sys::AnchoredFolder(state->Dir);
  else state->Anchored = snapshot.Anchored;
  if (snapshotted) snapshot.Anchored = state->Anchored;
  rec.Search = state;
  if (snapshotted && snapshot.Filled) {
    state->Replay = true;
    Deliver(rec);
    return;
  }
  int error = 0;
  state->Stream = sys::OpenDirStream(state->Dir, error);
  if (!state->Stream) {
    EndSearch(rec, error);
    return;
  }
  if (snapshotted) {
    snapshot.Entries.Clear();
    state->Record = true;
  }
  Deliver(rec);
}

void FindNextEntry(EntryRecord& rec) {
  SearchError = 0;
  if (!rec.Search || (!rec.Search->Stream && !rec.Search->Replay)) {
    SearchError = rte::kNoMoreFiles;
    return;
  }
  Deliver(rec);
}

void SplitPath(std::string_view path, String& dir, String& name, String& ext) {
  String copy(path);
  for (int i = 1; i <= copy.Length(); ++i)
    if (copy.At(i) == '/') copy.At(i) = '\\';
  std::string_view p = copy.View();
  size_t d = 0;  // 1-based end of the directory part, 0 if none
  for (size_t i = p.size(); i > 0; --i) {
    if (p[i - 1] == '\\' || p[i - 1] == ':') {
      d = i;
      break;
    }
  }
  size_t e = p.size() + 1;
  for (size_t i = p.size(); i > d; --i) {
    if (p[i - 1] == '.') {
      e = i;
      break;
    }
  }
  dir = p.substr(0, d);
  name = p.substr(d, e - 1 - d);
  ext = e <= p.size() ? p.substr(e - 1) : std::string_view();
}

}  // namespace ehi
