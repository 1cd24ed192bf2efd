#include "testutil.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace ehi::test {

TempDir::TempDir() {
  // A name nobody has taken: create_directory fails on an existing one.
  static std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int tries = 0; tries < 1000; ++tries) {
    char name[32];
    std::snprintf(name, sizeof name, "ehitest-%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::error_code ec;
    if (std::filesystem::create_directory(base / name, ec)) {
      std::filesystem::permissions(base / name, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, ec);
      path_ = (base / name).generic_string();
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write bits first so that read-only test folders can go too.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }
namespace {
class OutputMatcher : public ::testing::MatcherInterface<const std::string&> {
 public:
  explicit OutputMatcher(const std::string& regex) : text_(regex), re_(Captured(regex)) {}
  bool MatchAndExplain(const std::string& out, ::testing::MatchResultListener*) const override {
    return std::regex_search(out, re_);
  }
  void DescribeTo(std::ostream* os) const override { *os << "contains a match of " << text_; }

 private:
  std::string text_;
  std::regex re_;
};
}  // namespace

::testing::Matcher<const std::string&> Output(const std::string& regex) {
  return ::testing::Matcher<const std::string&>(new OutputMatcher(regex));
}

ScopedCwd::ScopedCwd(const std::string& dir) {
  old_ = std::filesystem::current_path().string();
  std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() { std::filesystem::current_path(old_); }

}  // namespace ehi::test
