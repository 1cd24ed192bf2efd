// The command line of ehiselect: [--single] [--heading TEXT] [MASK], which
// map onto the selection screen's own arguments, and --help, --version.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ehi {

/// What the command line asks for.
struct SelectOptions {
  enum class Action { Run, Help, Version, UsageError };
  Action What = Action::Run;
  /// The mask listed first (may hold a folder part).
  std::string Mask = "*.*";
  /// The screen's heading.
  std::string Heading = "Mark files, then OK";
  /// Several marks (false: one at most).
  bool MultiSelect = true;
  /// For a usage error: what was wrong, one line.
  std::string Error;
};

/// Reads the arguments (without the program's name). "--" ends the
/// options; a second mask, an unknown option or a missing value is a usage
/// error.
SelectOptions ParseSelectArguments(const std::vector<std::string_view>& args);

/// The text --help prints (and a usage error's hint).
extern const std::string_view SelectUsage;

}  // namespace ehi
