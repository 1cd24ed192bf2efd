// ehiselect: a mouse-driven file chooser for shell scripts. Shows the
// entries of the current folder, lets the user mark any number of them, and
// after "OK" (or any key) prints the names marked, one per line, on
// standard output: `ehiselect | xargs ...`. "Quit Program" prints nothing
// and ends with exit status 1.
#include <memory>

#include "UButtons.h"
#include "UDir2.h"
#include "process.h"
#include "textfile.h"

int main() {
  using namespace ehi;
  InitServices();
  InitUButtons();
  InitUDir2();
  auto listing = std::make_unique<Directory>(MaxEntries, true);
  DirPtr dir = listing.get();
  SelectFiles(dir, "*.*", "Mark files, then OK", true);
  // The whole names (the list keeps 80 characters), one per line with a
  // plain line feed, as shell tools expect.
  for (int i = 1; i <= dir->NStrings; ++i) {
    if (!dir->IthMark(int16_t(i))) continue;
    WriteTextString(StandardOutput, dir->Entries[i]->Name.View(), 0);
    WriteTextChar(StandardOutput, '\n', 0);
    CheckIo();
  }
  NormalEnd();
}
