#include "selectoptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"

namespace ehi {
namespace {

using Action = SelectOptions::Action;

TEST(SelectOptions, MapOntoTheScreensArguments) {
  struct Case {
    std::vector<std::string_view> args;
    Action what;
    const char* mask;
    const char* heading;
    bool multi;
  };
  const Case table[] = {
      {{}, Action::Run, "*.*", "Mark files, then OK", true},
      {{"sub/*.txt"}, Action::Run, "sub/*.txt", "Mark files, then OK", true},
      {{"--single", "--heading", "Pick one", "*.dat"}, Action::Run, "*.dat", "Pick one", false},
      {{"--heading=Hi"}, Action::Run, "*.*", "Hi", true},
      {{"--", "--single"}, Action::Run, "--single", "Mark files, then OK", true},
      {{"-"}, Action::Run, "-", "Mark files, then OK", true},
      {{"--help", "--bogus"}, Action::Help, "*.*", "Mark files, then OK", true},
      {{"--version"}, Action::Version, "*.*", "Mark files, then OK", true},
      {{"--bogus"}, Action::UsageError, "*.*", "Mark files, then OK", true},
      {{"--heading"}, Action::UsageError, "*.*", "Mark files, then OK", true},
      {{"a", "b"}, Action::UsageError, "a", "Mark files, then OK", true},
  };
  for (const Case& c : table) {
    SelectOptions o = ParseSelectArguments(c.args);
    const std::string what = c.args.empty() ? "(none)" : std::string(c.args[0]);
    EXPECT_EQ(o.What, c.what) << what;
    EXPECT_EQ(o.Mask, c.mask) << what;
    EXPECT_EQ(o.Heading, c.heading) << what;
    EXPECT_EQ(o.MultiSelect, c.multi) << what;
    EXPECT_EQ(o.Error.empty(), c.what != Action::UsageError) << what;
  }
}

// Answers and usage errors come before any screen, terminal or not.
TEST(SelectOptions, HelpVersionAndUsageErrorsNeedNoTerminal) {
  test::TempDir dir;
  test::RunResult help = test::RunProgram(EHISELECT_PATH, dir.Path(), {"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.rfind("Usage: ehiselect", 0), 0u);
  test::RunResult version = test::RunProgram(EHISELECT_PATH, dir.Path(), {"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, std::string("ehiselect ") + EHI_VERSION + "\n");
  test::RunResult bad = test::RunProgram(EHISELECT_PATH, dir.Path(), {"--heading"});
  EXPECT_EQ(bad.Status, 2);
  EXPECT_EQ(bad.Out, "");
  EXPECT_EQ(bad.Err, "ehiselect: --heading needs a text\nTry 'ehiselect --help'.\n");
}

}  // namespace
}  // namespace ehi
