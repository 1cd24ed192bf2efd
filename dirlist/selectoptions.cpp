#include "selectoptions.h"

namespace ehi {

SelectOptions ParseSelectArguments(const std::vector<std::string_view>& args) {
  SelectOptions o;
  bool haveMask = false, optionsEnded = false;
  auto fail = [&o](std::string why) {
    o.What = SelectOptions::Action::UsageError;
    o.Error = std::move(why);
    return o;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (!optionsEnded && a.size() > 1 && a[0] == '-') {
      if (a == "--") {
        optionsEnded = true;
      } else if (a == "--help" || a == "-h") {
        o.What = SelectOptions::Action::Help;
        return o;
      } else if (a == "--version") {
        o.What = SelectOptions::Action::Version;
        return o;
      } else if (a == "--single") {
        o.MultiSelect = false;
      } else if (a == "--heading") {
        if (i + 1 >= args.size()) return fail("--heading needs a text");
        o.Heading = std::string(args[++i]);
      } else if (a.substr(0, 10) == "--heading=") {
        o.Heading = std::string(a.substr(10));
      } else {
        return fail("unknown option " + std::string(a));
      }
      continue;
    }
    if (haveMask) return fail("only one mask, not also " + std::string(a));
    o.Mask = std::string(a);
    haveMask = true;
  }
  return o;
}

const std::string_view SelectUsage =
    "Usage: ehiselect [--single] [--heading TEXT] [MASK]\n"
    "       ehiselect --help | --version\n"
    "\n"
    "Shows the files that match MASK (\"*.*\" unless given; it may name a\n"
    "folder, as in \"data/*.txt\") on a full-screen list: click entries to\n"
    "mark them, then \"OK\" or any key. The names marked are printed one per\n"
    "line, with the mask's folder part, for use in scripts:\n"
    "  ehiselect '*.txt' | xargs -d '\\n' wc -l\n"
    "\n"
    "  --single        at most one entry may be marked\n"
    "  --heading TEXT  the heading of the screen\n"
    "\n"
    "Exit status: 0 chosen (possibly nothing), 1 \"Quit Program\" or more\n"
    "than 5000 entries, 2 a usage error, a closed standard output or no\n"
    "terminal of at least 80 x 25, 3 the names could not be written,\n"
    "129 the terminal went away, 203 out of memory, 128+N ended by signal N.\n"
    "\n"
    "The manual: man ehiselect\n";

}  // namespace ehi
