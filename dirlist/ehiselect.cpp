// ehiselect: a mouse-driven file chooser for shell scripts. Shows the
// entries of the current folder, lets the user mark any number of them, and
// after "OK" (or any key) prints the names marked, one per line, on
// standard output: `ehiselect | xargs ...`. "Quit Program" prints nothing
// and ends with exit status 1. Without a terminal of at least 80 x 25 it
// says so on standard error and ends with status 2, drawing nothing.
#include <memory>
#include <string>

#include "UButtons.h"
#include "UDir2.h"
#include "console.h"
#include "platform.h"
#include "process.h"
#include "textfile.h"

namespace {

[[noreturn]] void Refuse(const std::string& why) {
  const std::string line = "ehiselect: " + why + "\n";
  ehi::sys::WriteAll(ehi::sys::StandardHandle(ehi::sys::StandardStream::Error), line.data(), line.size());
  ehi::Halt(2);
}

}  // namespace

int main() {
  using namespace ehi;
  InitServices();
  InitUButtons();
  InitUDir2();
  if (!ConsoleAttached()) Refuse("needs a terminal, and none is open");
  if (ConsoleWindow.Right < 80 || ConsoleWindow.Bottom < 25)
    Refuse("needs a terminal of at least 80 x 25, this one is " +
           std::to_string(ConsoleWindow.Right) + " x " + std::to_string(ConsoleWindow.Bottom));
  auto listing = std::make_unique<Directory>(MaxEntries, true);
  DirPtr dir = listing.get();
  SelectFiles(dir, "*.*", "Mark files, then OK", true);
  // The whole names (the list keeps 80 characters), one per line with a
  // plain line feed, as shell tools expect, each with the folder part of the
  // mask in force as it was typed, so that the names work from here.
  const std::string_view mask = dir->Mask.View();
  const size_t cut = mask.find_last_of("/\\");
  const std::string_view folder = cut == std::string_view::npos ? "" : mask.substr(0, cut + 1);
  for (int i = 1; i <= dir->NStrings; ++i) {
    if (!dir->IthMark(int16_t(i))) continue;
    WriteTextString(StandardOutput, folder, 0);
    WriteTextString(StandardOutput, dir->Entries[size_t(i)]->Name.View(), 0);
    WriteTextChar(StandardOutput, '\n', 0);
    CheckIo();
  }
  NormalEnd();
}
