// ehiharvest: collects the distinct EHI questionnaire result records found
// at or below the current directory into "Orvitan.Tab".
#include "directory.h"
#include "harvest.h"
#include "process.h"

int main() {
  ehi::InitServices();
  ehi::InitUDir2();
  ehi::RunHarvest();
  ehi::NormalEnd();
}
