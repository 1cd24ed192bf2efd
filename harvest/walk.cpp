// The directory walk and the record tests.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codes.h"
#include "directory.h"
#include "fatal.h"
#include "harvest.h"
#include "numconv.h"
#include "dirsearch.h"
#include "platform.h"
#include "process.h"
#include "readahead.h"
#include "textfile.h"
#include "walkrules.h"

namespace ehi {

namespace {

// What one walk owns: the run holds it, so nothing of it outlives the run
// or is shared with anything else.
struct WalkState {
  // Physical directories already walked: a symbolic link cycle or several
  // links to one directory are walked once.
  WalkedFolders walked;
  // One file object for the whole walk keeps its read buffer across files.
  TextFile input;
  // What a worker listed and read ahead of the walk (when the run started
  // one).
  ReadAhead readAhead;
  // One listing per level of the current path, kept for the next folder at
  // that level: a listing is large (its name list alone is 160 KB), and
  // making one per folder costs fresh memory from the system every time.
  std::vector<std::unique_ptr<Directory>> levels;
  size_t depth = 0;
};

// The walk of the run in progress; HarvestDir and HarvestFile called on
// their own (by tests) share one of their own.
WalkState* runWalk = nullptr;

WalkState& Walk() {
  static WalkState standalone;
  return runWalk ? *runWalk : standalone;
}

// Whether the folder `path` (not the start folder) still stands in its
// parent's listing as a folder.
bool StillListed(std::string_view path) {
  size_t cut = path.size();
  while (cut > 0 && path[cut - 1] != '/') --cut;
  const std::string_view name = path.substr(cut);
  EntryRecord rec;
  for (FindFirstEntry(std::string(path.substr(0, cut)) + "*.*", kDirAttrMask, rec);
       SearchError == 0; FindNextEntry(rec))
    if ((rec.KnownAttr() & kAttrDirectory) && rec.WholeName() == name) return true;
  return false;
}

// A folder that is missing or closed to us has an empty listing, as any
// user would expect; a listing that failed for lack of resources (too many
// open files) must not pass for an empty folder: the table would silently
// lack that folder's records. Nor may a folder that its parent lists and
// that still cannot be found: its name is one the system gives but cannot
// take back, and the walk would pass over whatever it holds.
void CheckListing(std::string_view path) {
  const int error = SearchError;
  if (error == rte::kPathNotFound && !path.empty() && StillListed(path))
    RuntimeError(rte::kPathNotFound);
  if (SearchEndStops(error)) RuntimeError(error);
}

// Paths are short strings: a path the run must use that does not fit stops
// the run rather than being cut into the name of some other file.
String CheckedPath(const std::string& path) {
  if (!PathFits(path)) RunAbort(ShortConcat("Path too long: ", path.substr(0, 255)).View());
  return String(path);
}

}  // namespace

bool HasNineteenTabs(std::string_view Line) {
  int tabs = 0;
  for (char c : Line) tabs += c == '\t';
  return tabs == 19;
}

bool IsNumberExtension(std::string_view Ext) {
  if (Ext.size() != 3) return false;
  int errorPos = 0;
  TextToInteger(Ext, 4, errorPos);
  return errorPos == 0;
}

void SubstituteExtension(String& Line, std::string_view Ext) {
  int p = CharPos(' ', Line.View());
  int t = CharPos('\t', Line.View());
  if (t != p + 4) return;
  for (int k = p + 1; k <= p + 3; ++k)
    if (Line.At(k) < '0' || Line.At(k) > '9') return;
  for (int k = 0; k < 3; ++k) Line.At(p + 1 + k) = Ext[size_t(k)];
}

namespace {

// Reads the records of `Path`, from what was read ahead of the walk when
// `ahead` holds it.
void ReadRecords(std::string_view Path, std::unique_ptr<ReadAheadItem> ahead) {
  // Anyone who may write into the start folder could plant the table as a
  // link to a file of their choosing. Such a link is not opened: the run
  // stops here, as at any qualifying file it may not read.
  if (IsRefusedTable(Path)) {
    IoError = rte::kAccessDenied;
    CheckIo();
  }
  String dir, name, ext;
  SplitPath(Path, dir, name, ext);
  String number = ext.Length() > 0 ? ShortCopy(ext.View(), 2, 255) : String();
  const bool substitute = IsNumberExtension(number.View());

  TextFile& input = Walk().input;
  AssignText(input, Path);
  if (ahead) {
    // Read ahead: the same reading rules, from memory, then from the file
    // itself when the worker left it open (the file is the walk's then).
    // The source is used only until the file is closed below, while
    // `ahead` still holds the bytes.
    OpenTextSource(
        input,
        [bytes = &ahead->Bytes, pos = size_t(0)](char* buffer, size_t size) mutable {
          const size_t n = std::min(size, bytes->size() - pos);
          std::memcpy(buffer, bytes->data() + pos, n);
          pos += n;
          return long(n);
        },
        ahead->Rest);
    ahead->Rest = sys::kNoHandle;
  } else {
    // A name that became anything but a regular file after the listing (a
    // FIFO, a device, a socket, a folder) is passed over as if it had never
    // qualified: it must neither hang nor feed the run.
    input.RegularOnly = true;
    OpenTextRead(input);
  }
  CheckIo();
  if (input.NotRegular) return;
  String line;
  for (;;) {
    ReadTextLine(input, line);
    CheckIo();
    if (HasNineteenTabs(line.View())) {
      if (substitute) SubstituteExtension(line, number.View());
      AddHarvested(line.View());
    }
    bool atEnd = TextAtEnd(input);
    CheckIo();
    if (atEnd) break;
  }
  CloseText(input);
  CheckIo();
  Walk().readAhead.Recycle(std::move(ahead));
}

// The table of an earlier run when the listing of plain files did not give
// it under its name: on Windows one with the hidden or system attribute, or
// spelt in other letters (ORVITAN.TAB). The new table replaces that very
// file, so its records are read back as any table's are. Anything but a
// plain file is left alone, as the listing leaves it.
void HarvestUnlistedTable() {
  const sys::PathFacts facts = sys::StatPath(std::string(TableName));
  if (!facts.Exists || (facts.Attr & (kAttrDirectory | kAttrSystem)) != 0) return;
  // Not one of the files the read-ahead knows of: the walk reads it itself.
  ReadRecords(TableName, nullptr);
}

}  // namespace

void HarvestFile(std::string_view Path) { ReadRecords(Path, Walk().readAhead.TakeFile(Path)); }

void HarvestDir(std::string_view Path) {
  // The folder's own path is what the listing opens; the "*.*" added to it
  // is no path and may run past the limit.
  CheckedPath(std::string(Path));
  std::unique_ptr<ReadAheadItem> ahead = Walk().readAhead.TakeListing(Path);
  const sys::PathFacts facts = ahead ? ahead->Facts : sys::StatPath(std::string(Path));
  if (!Walk().walked.FirstVisit(facts)) return;

  const std::string prefix = Path.empty() ? std::string() : std::string(Path) + "/";
  const std::string mask = prefix + "*.*";
  // Listings live on the heap, one per level of the current path, so that
  // a deep walk does not exhaust the stack.
  WalkState& walk = Walk();
  if (walk.levels.size() <= walk.depth)
    walk.levels.push_back(std::make_unique<Directory>(kFolderCapacity, true));
  Directory* listing = walk.levels[walk.depth].get();
  struct Level {
    size_t& depth;
    explicit Level(size_t& d) : depth(d) { ++depth; }
    ~Level() { --depth; }
  } level(walk.depth);
  {
    // Both passes see the folder as the file system listed it once: the
    // second listing costs as much as the first, and the walk's speed is
    // mostly the cost of listing folders. A listing read ahead serves both.
    std::optional<ListingSnapshot> snapshot;
    if (ahead) snapshot.emplace(prefix, std::move(ahead->Entries));
    else snapshot.emplace(prefix);
    listing->ReadListing(mask, FilePass().Allowed, FilePass().Required);
    CheckListing(Path);
    bool tableRead = false;
    for (int i = 1; i <= listing->NStrings; ++i) {
      // The entry record keeps the whole name; the list only 80 characters.
      std::string_view name = listing->Entries[size_t(i)]->WholeName();
      if (HasEHI(name)) HarvestFile(CheckedPath(prefix + std::string(name)).View());
      tableRead = tableRead || (Path.empty() && HasEHI(name) && IsTableName(name));
    }
    if (Path.empty() && !tableRead) HarvestUnlistedTable();
    listing->ReadListing(mask, FolderPass().Allowed, FolderPass().Required);
    CheckListing(Path);
  }
  for (int i = 1; i <= listing->NStrings; ++i) {
    std::string_view name = listing->Entries[size_t(i)]->WholeName();
    if (EntersFolder(name)) HarvestDir(prefix + std::string(name));
  }
}

void RunHarvest() {
  ClearHarvested();
  WalkState walk;
  runWalk = &walk;
  walk.readAhead.Start();
  HarvestDir("");
  walk.readAhead.Stop();
  runWalk = nullptr;
  SortHarvested();
  RemoveDuplicates();
  WriteResults();
}

}  // namespace ehi
