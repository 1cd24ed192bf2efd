// ehiselect: a mouse-driven file chooser for shell scripts. Shows the
// entries that match a mask (of the current folder unless the mask names
// another), lets the user mark them (one, with --single), and after "OK"
// (or any key) prints the names marked, one per line, on standard output:
// `ehiselect | xargs ...`. "Quit Program" prints nothing and ends with exit
// status 1. A usage error, a closed standard output, or no terminal of at
// least 80 x 25, is said on standard error and ends with status 2, drawing
// nothing; names that cannot be written end it with status 3. The screen is
// drawn on the terminal's alternate screen, so the shell's lines come back.
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
#include "utf8text.h"

namespace {

void Write(ehi::sys::StandardStream to, std::string_view text) {
  ehi::sys::WriteAll(ehi::sys::StandardHandle(to), text.data(), text.size());
}

// Messages may quote arguments and names: their control characters are
// shown escaped, so that none drives the terminal.
void Complain(const std::string& what) {
  Write(ehi::sys::StandardStream::Error, "ehiselect: " + ehi::EscapeControls(what) + "\n");
}

[[noreturn]] void Refuse(const std::string& why) {
  Complain(why);
  ehi::Halt(2);
}

// The status when the names cannot be written (a full disk, a closed pipe
// with SIGPIPE ignored).
constexpr int kWriteFailed = 3;

}  // namespace

int main(int argc, char** argv) {
  using namespace ehi;
  // First of all, before the terminal is opened: it must not take the
  // place of a closed standard stream.
  if (!sys::SecureStandardStreams()) {
    Complain("standard output is closed: there is nowhere to print the names");
    return 2;
  }
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
      Complain(options.Error);
      Write(sys::StandardStream::Error, "Try 'ehiselect --help'.\n");
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
  UseAlternateScreen();
  SelectFiles(dir, options.Mask, options.Heading, options.MultiSelect);
  // The terminal is given back (the shell's screen, no input left over)
  // before the names go out: on the terminal itself they must stay.
  ReleaseConsole();
  // The whole names (the list keeps 80 characters), one per line with a
  // plain line feed, as shell tools expect, each with the folder part of the
  // mask in force, so that the names work from here (on POSIX with "/"
  // where the mask was typed with "\\").
  const std::string_view mask = dir->Mask.View();
  size_t cut = mask.size();
  while (cut > 0 && !sys::IsFolderSeparator(mask[cut - 1])) --cut;
  const std::string_view folder = mask.substr(0, cut);
  std::string names;
  for (int i = 1; i <= dir->NStrings; ++i) {
    if (!dir->IthMark(int16_t(i))) continue;
    const EntryRecord* entry = dir->IthEntry(int16_t(i));
    names += folder;
    names += entry ? entry->WholeName() : dir->IthString(int16_t(i)).View();
    names += '\n';
  }
  if (!sys::WriteAll(sys::StandardHandle(sys::StandardStream::Output), names.data(),
                     names.size())) {
    Complain("the names could not be written to standard output");
    Halt(kWriteFailed);
  }
  NormalEnd();
}
