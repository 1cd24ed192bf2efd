#include "fatal.h"

#include "process.h"
#include "shortstring.h"
#include "textfile.h"

namespace ehi {

int32_t MultWordVal(int32_t WordVal1, int32_t WordVal2) {
  return int32_t(uint32_t(WordVal1) * uint32_t(WordVal2));
}

namespace {

[[noreturn]] void Stop(std::string_view first, std::string_view mess) {
  WriteLine(ConsoleOutput, first);
  // Messages are short strings: at most 255 characters reach the console.
  WriteLine(ConsoleOutput, String(mess).View());
  Halt(1);
}

}  // namespace

void Overload(std::string_view Mess) { Stop("HALTING! -- Structure too big", Mess); }

void RunAbort(std::string_view Mess) { Stop("Halting with error-code 1, because:", Mess); }

}  // namespace ehi
