// ehiharvest: collects the distinct EHI questionnaire result records found
// at or below the current directory into "Orvitan.Tab".
#include "UButtons.h"
#include "directory.h"
#include "harvest.h"
#include "process.h"

int main() {
  // Services first, then the widget module, then the directory module.
  ehi::InitServices();
  ehi::InitUButtons();
  ehi::InitUDir2();
  ehi::RunHarvest();
  ehi::NormalEnd();
}
