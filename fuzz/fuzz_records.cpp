// The harvest's record path: arbitrary bytes as one qualifying file (with a
// numeric extension or not) through the real reading and record code; the
// records must equal a reference model: each distinct record once, in the
// order first found.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "harvest.h"
#include "reference_lines.h"
#include "textfile.h"

using namespace ehi;

namespace {

const char* kExtensions[] = {"txt", "017", "+12", "$1F", "0x9", "1234", "-05", "12a"};

std::vector<std::string> ReferenceRecords(const std::string& d, const std::string& ext) {
  bool numeric = ext == "017" || ext == "+12" || ext == "$1F" || ext == "0x9" || ext == "-05";
  std::vector<std::string> out;
  std::set<std::string> seen;
  for (std::string line : ReferenceLines(d)) {
    size_t tabs = 0;
    for (char c : line) tabs += c == '\t';
    if (tabs == 19) {
      if (numeric) {
        size_t sp = line.find(' ');
        size_t P = sp == std::string::npos ? 0 : sp + 1;  // 1-based, 0 if none
        size_t T = line.find('\t') + 1;
        if (T == P + 4 && isdigit((unsigned char)line[P]) && isdigit((unsigned char)line[P + 1]) &&
            isdigit((unsigned char)line[P + 2]))
          line.replace(P, 3, ext);
      }
      if (seen.insert(line).second) out.push_back(line);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string ext = kExtensions[data[0] % 8];
  std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string path = "/tmp/fuzz-records-" + std::to_string(getpid()) + "-EHI." + ext;
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
  auto want = ReferenceRecords(content, ext);
  if (want.size() > size_t(MaxHarvested)) return 0;
  ClearHarvested();
  HarvestFile(path);
  std::remove(path.c_str());
  if (size_t(NHarvested) != want.size()) std::abort();
  for (int i = 1; i <= NHarvested; ++i)
    if (Harvested[i].Str() != want[size_t(i - 1)]) std::abort();
  return 0;
}
