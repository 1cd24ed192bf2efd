// Lists the plain files of a folder (the current one unless named) with
// Directory, lets the user mark some of them on the file-selection screen
// when a terminal of at least 80 x 25 is there, and prints the result:
//   consumer [FOLDER]
// Without a terminal it prints the listing and says that nothing was
// chosen; "Quit Program" on the screen ends it with status 1.
#include <ehi/UButtons.h>
#include <ehi/UDir2.h>
#include <ehi/console.h>
#include <ehi/process.h>
#include <ehi/textfile.h>

#include <memory>
#include <string>
#include <string_view>

namespace {

void Say(std::string_view text) {
  ehi::WriteTextString(ehi::StandardOutput, text);
  ehi::WriteTextChar(ehi::StandardOutput, '\n');
  ehi::CheckIo();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ehi;
  // The modules come up in the order they build on each other.
  InitServices();
  InitUButtons();
  InitUDir2();

  const std::string folder = argc > 1 ? std::string(argv[1]) + "/" : std::string();
  const std::string mask = folder + "*.*";
  auto listing = std::make_unique<Directory>(MaxEntries, true);
  DirPtr dir = listing.get();
  // Plain files only: FileAttrMask leaves out folders, hidden and system
  // entries.
  dir->ReadListing(mask, FileAttrMask, 0);
  dir->SortListing(true);
  Say(std::to_string(dir->NStrings) + " files in " + (folder.empty() ? "./" : folder) + ":");
  for (int16_t i = 1; i <= dir->NStrings; ++i) Say("  " + std::string(dir->IthString(i).View()));

  if (!ConsoleAttached() || ConsoleWindow.Right < 80 || ConsoleWindow.Bottom < 25) {
    Say("No terminal of 80 x 25: nothing chosen.");
    NormalEnd();
  }
  SelectFiles(dir, mask, "Mark files, then OK", true);
  Say("Chosen:");
  for (int16_t i = 1; i <= dir->NStrings; ++i)
    if (dir->IthMark(i)) Say("  " + std::string(dir->Entries[size_t(i)]->Name.View()));
  NormalEnd();
}
