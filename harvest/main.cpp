// ehiharvest: collects the distinct EHI questionnaire result records found
// at or below the current directory into "Orvitan.Tab".
#include <string>
#include <string_view>
#include <vector>

#include "UButtons.h"
#include "directory.h"
#include "harvest.h"
#include "options.h"
#include "platform.h"
#include "process.h"

namespace {

int Print(std::string_view text) {
  const auto out = ehi::sys::StandardHandle(ehi::sys::StandardStream::Output);
  return ehi::sys::WriteAll(out, text.data(), text.size()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  switch (ehi::ParseHarvestArguments(args)) {
    case ehi::HarvestAction::Help: return Print(ehi::HarvestUsage);
    case ehi::HarvestAction::Version: return Print("ehiharvest " EHI_VERSION "\n");
    case ehi::HarvestAction::Run: break;
  }
  // Services first, then the widget module, then the directory module.
  ehi::InitServices();
  ehi::InitUButtons();
  ehi::InitUDir2();
  ehi::RunHarvest();
  ehi::NormalEnd();
}
