// The command line of ehiharvest: the run takes no arguments, but answers
// --help and --version as every tool does, without walking anything.
#pragma once

#include <string_view>
#include <vector>

namespace ehi {

/// What the command line asks for.
enum class HarvestAction { Run, Help, Version };

/// The first of "--help" (or "-h") and "--version" among the arguments;
/// every other argument is ignored.
HarvestAction ParseHarvestArguments(const std::vector<std::string_view>& args);

/// The text --help prints.
extern const std::string_view HarvestUsage;

}  // namespace ehi
