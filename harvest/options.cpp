#include "options.h"

namespace ehi {

HarvestAction ParseHarvestArguments(const std::vector<std::string_view>& args) {
  for (std::string_view a : args) {
    if (a == "--help" || a == "-h") return HarvestAction::Help;
    if (a == "--version") return HarvestAction::Version;
  }
  return HarvestAction::Run;
}

const std::string_view HarvestUsage =
    "Usage: ehiharvest [--help | --version]\n"
    "\n"
    "Walks the current folder and every folder below it, reads every file\n"
    "whose name contains \"EHI\" (and the table \"Orvitan.Tab\" an earlier run\n"
    "left there), keeps each line of exactly 20 tab-separated fields, and\n"
    "writes the distinct records, sorted, to \"Orvitan.Tab\" in the current\n"
    "folder. Prints \"Found N distinct sets of EHI questionnaire results.\"\n"
    "Arguments other than --help and --version are ignored.\n"
    "\n"
    "Exit status:\n"
    "  0    done\n"
    "  1    stopped: a folder of more than 2000 entries, a path of more than\n"
    "       255 bytes, more than 100000 distinct records\n"
    "  2..  a file error, reported as \"Runtime error N at $XXXXXXXX\":\n"
    "       2 file not found, 3 path not found, 4 too many open files,\n"
    "       5 access denied, 100 disk read error, 101 disk write error,\n"
    "       150 write-protected disk (a read-only file system),\n"
    "       203 out of memory\n"
    "  128+N  ended by signal N\n"
    "\n"
    "The manual: man ehiharvest\n";

}  // namespace ehi
