// ehiselect: a mouse-driven file chooser for shell scripts. Shows the
// entries that match a mask (of the current folder unless the mask names
// another), lets the user mark them (one, with --single), and after "OK"
// (or any key) prints the names marked, one per line, on standard output:
// `ehiselect | xargs ...`. "Quit Program" prints nothing and ends with exit
// status 1. A usage error, or no terminal of at least 80 x 25, is said on
// standard error and ends with status 2, drawing nothing.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "UButtons.h"
#include "UDir2.h"
#include "console.h"
#include "platform.h"
#include "process.h"
#include "selectoptions.h"
#include "textfile.h"

namespace {

void Write(ehi::sys::StandardStream to, std::string_view text) {
  ehi::sys::WriteAll(ehi::sys::StandardHandle(to), text.data(), text.size());
}

[[noreturn]] void Refuse(const std::string& why) {
  Write(ehi::sys::StandardStream::Error, "ehiselect: " + why + "\n");
  ehi::Halt(2);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ehi;
  const std::vector<std::string> args = sys::ProgramArguments(argc, argv);
  const SelectOptions options =
      ParseSelectArguments(std::vector<std::string_view>(args.begin(), args.end()));
  switch (options.What) {
    case SelectOptions::Action::Help:
      Write(sys::StandardStream::Output, SelectUsage);
      return 0;
    case SelectOptions::Action::Version:
      Write(sys::StandardStream::Output, "ehiselect " EHI_VERSION "\n");
      return 0;
    case SelectOptions::Action::UsageError:
      Write(sys::StandardStream::Error,
            "ehiselect: " + options.Error + "\nTry 'ehiselect --help'.\n");
      return 2;
    case SelectOptions::Action::Run: break;
  }
  InitServices();
  InitUButtons();
  InitUDir2();
  if (!ConsoleAttached()) Refuse("needs a terminal, and none is open");
  if (ConsoleWindow.Right < 80 || ConsoleWindow.Bottom < 25)
    Refuse("needs a terminal of at least 80 x 25, this one is " +
           std::to_string(ConsoleWindow.Right) + " x " + std::to_string(ConsoleWindow.Bottom));
  auto listing = std::make_unique<Directory>(MaxEntries, true);
  DirPtr dir = listing.get();
  SelectFiles(dir, options.Mask, options.Heading, options.MultiSelect);
  // The whole names (the list keeps 80 characters), one per line with a
  // plain line feed, as shell tools expect, each with the folder part of the
  // mask in force, so that the names work from here (on POSIX with "/"
  // where the mask was typed with "\\").
  const std::string_view mask = dir->Mask.View();
  size_t cut = mask.size();
  while (cut > 0 && !sys::IsFolderSeparator(mask[cut - 1])) --cut;
  const std::string_view folder = mask.substr(0, cut);
  for (int i = 1; i <= dir->NStrings; ++i) {
    if (!dir->IthMark(int16_t(i))) continue;
    WriteTextString(StandardOutput, folder, 0);
    const EntryRecord* entry = dir->IthEntry(int16_t(i));
    WriteTextString(StandardOutput, entry ? entry->WholeName() : dir->IthString(int16_t(i)).View(), 0);
    WriteTextChar(StandardOutput, '\n', 0);
    CheckIo();
  }
  NormalEnd();
}
