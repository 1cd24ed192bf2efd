#include "walkrules.h"

#include "codes.h"
#include "directory.h"
#include "harvest.h"

namespace ehi {

ListingPass FilePass() { return {FileAttrMask, 0}; }

ListingPass FolderPass() { return {DirAttrMask, kAttrDirectory}; }

bool HasEHI(std::string_view Name) {
  return Name.size() >= 3 && (Name.find("EHI") != std::string_view::npos ||
                              Name.find("Orvitan") != std::string_view::npos);
}

bool EntersFolder(std::string_view name) { return name != "." && name != ".."; }

bool PathFits(std::string_view path) { return path.size() <= MaxPathLength; }

bool PathFits(std::string_view prefix, std::string_view name) {
  return prefix.size() + name.size() <= MaxPathLength;
}

bool SearchEndStops(int searchError) {
  return searchError != 0 && searchError != rte::kNoMoreFiles &&
         searchError != rte::kPathNotFound && searchError != rte::kAccessDenied;
}

bool SearchEndMayStop(int searchError, std::string_view path) {
  return SearchEndStops(searchError) || (searchError == rte::kPathNotFound && !path.empty());
}

bool IsTableName(std::string_view name) {
  if (name.size() != TableName.size()) return false;
  if (!sys::NamesIgnoreCase()) return name == TableName;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < name.size(); ++i)
    if (lower(name[i]) != lower(TableName[i])) return false;
  return true;
}

// Anyone who may write into the start folder could plant the table as a
// link to a file of their choosing; such a link is not opened.
bool IsRefusedTable(std::string_view path) {
  return IsTableName(path) && !sys::MayFollowLinks(std::string(path));
}

WalkedFolders::Mark WalkedFolders::MarkOf(const sys::PathFacts& facts) {
  if (!facts.Exists) return Mark();
  std::set<std::pair<uint64_t, uint64_t>> one;
  one.emplace(facts.Device, facts.Inode);
  return one.extract(one.begin());
}

bool WalkedFolders::FirstVisit(Mark mark) {
  return mark.empty() || entered_.insert(std::move(mark)).inserted;
}

void FolderPlan::Start(std::string_view prefix) {
  prefix_ = prefix;
  files_ = FilePass();
  folders_ = FolderPass();
  fileNames_.clear();
  folderNames_.clear();
  fileStarts_.clear();
  folderStarts_.clear();
  plainFiles_ = subfolders_ = 0;
  fileCut_ = folderCut_ = stops_ = false;
}

void FolderPlan::Append(std::string& names, std::vector<uint32_t>& starts, const char* name) {
  starts.push_back(uint32_t(names.size()));
  names.append(name);
  names.push_back('\0');
}

// The walk reads the qualifying files in the listing's order up to the
// first whose path is too long or that is a refused table (where it
// stops), then enters the
// subfolders in the listing's order up to the first whose path is too long
// (where it stops once the earlier ones are done). A pass with more
// entries than a listing takes stops it at once: the file pass before any
// file is read, the folder pass before any subfolder is entered.
bool FolderPlan::Take(const char* name, uint32_t attr) {
  const std::string_view n(name);
  const bool plainFile = InPass(files_, attr);
  if (plainFile && ++plainFiles_ > kFolderCapacity) {
    fileNames_.clear();
    fileStarts_.clear();
    folderNames_.clear();
    folderStarts_.clear();
    stops_ = true;
    return false;
  }
  if (plainFile && !fileCut_ && HasEHI(n)) {
    // The walk stops at a path too long, and at the table behind a link it
    // may not follow: nothing from there on is opened.
    if (PathFits(prefix_, n) && !(prefix_.empty() && IsRefusedTable(n)))
      Append(fileNames_, fileStarts_, name);
    else fileCut_ = true;
  }
  if (InPass(folders_, attr) && ++subfolders_ <= kFolderCapacity && !folderCut_ &&
      EntersFolder(n)) {
    if (PathFits(prefix_, n)) Append(folderNames_, folderStarts_, name);
    else folderCut_ = true;
  }
  return true;
}

void FolderPlan::Finish() {
  if (fileCut_ || subfolders_ > kFolderCapacity) {
    folderNames_.clear();
    folderStarts_.clear();
  }
  stops_ = fileCut_ || folderCut_ || subfolders_ > kFolderCapacity;
}

void FolderPlan::DropFiles() {
  std::string().swap(fileNames_);
  std::vector<uint32_t>().swap(fileStarts_);
}

size_t FolderPlan::HeldBytes() const {
  return prefix_.capacity() + fileNames_.capacity() + folderNames_.capacity() +
         (fileStarts_.capacity() + folderStarts_.capacity()) * sizeof(uint32_t);
}

}  // namespace ehi
