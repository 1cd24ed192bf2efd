// ehiselect and its terminal, in the unlucky cases: no terminal, a small
// one, one that changes size or hangs up, an idle screen, and names that
// must work from the folder it was started in.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testutil.h"

namespace ehi {
namespace {

// Mouse reports as xterm sends them: a left press and release at a 1-based
// column and row.
std::string Click(int col, int row) {
  const std::string at = std::to_string(col) + ";" + std::to_string(row);
  return "\x1b[<0;" + at + "M\x1b[<0;" + at + "m";
}

TEST(EhiselectTerminal, WithoutATerminalItRefusesAndDrawsNothing) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", "");
  test::RunResult r = test::RunProgram(EHISELECT_PATH, dir.Path());
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, "ehiselect: needs a terminal, and none is open\n");
}

TEST(EhiselectTerminal, TooSmallATerminalIsRefusedAtStart) {
  test::TempDir dir;
  test::PtyProgram p(EHISELECT_PATH, {}, dir.Path(), 79, 25);
  p.Finish();
  ASSERT_TRUE(WIFEXITED(p.WaitStatus));
  EXPECT_EQ(WEXITSTATUS(p.WaitStatus), 2);
  EXPECT_NE(p.Out.find("ehiselect: needs a terminal of at least 80 x 25, this one is 79 x 25"),
            std::string::npos)
      << p.Out;
  EXPECT_EQ(p.Out.find("Quit Program"), std::string::npos);
  EXPECT_TRUE(test::HasDefaultModes(p.Master));
}

// A window that shrinks shows a notice; grown again, the whole screen comes
// back from the window model, and an idle screen sends nothing meanwhile.
TEST(EhiselectTerminal, ResizeRepaintsAndAnIdleScreenIsQuiet) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", "");
  test::PtyProgram p(EHISELECT_PATH, {}, dir.Path());
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  ASSERT_TRUE(p.ReadUntil("\x1b[?1006h"));
  p.ReadUntil("\x01never\x01", 300);  // whatever the first draw still sends
  const size_t drawn = p.Out.size();
  p.ReadUntil("\x01never\x01", 500);
  EXPECT_EQ(p.Out.size(), drawn) << "an idle screen wrote: " << p.Out.substr(drawn);

  p.Resize(60, 20);
  ASSERT_TRUE(p.ReadUntil("The window is too small: make it at least 80 x 25 to go on."))
      << p.Out.substr(drawn);
  ASSERT_NE(p.Out.find("The window is too small", drawn), std::string::npos);
  const size_t notice = p.Out.size();
  p.Resize(80, 25);
  ASSERT_TRUE(p.ReadUntil("Quit Program", 5000, notice)) << p.Out.substr(notice);
  EXPECT_NE(p.Out.find("Mark files, then OK", notice), std::string::npos) << p.Out.substr(notice);
  p.Type("x");
  p.Finish();
  EXPECT_TRUE(WIFEXITED(p.WaitStatus));
  EXPECT_EQ(WEXITSTATUS(p.WaitStatus), 0);
}

// With SIGHUP ignored (nohup) a closed terminal still ends the program, with
// the hang-up status.
TEST(EhiselectTerminal, HangUpWithSighupIgnoredEndsWith129) {
  test::TempDir dir;
  test::PtyProgram p("/bin/sh", {"-c", "trap '' HUP; exec \"$0\"", EHISELECT_PATH}, dir.Path());
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  close(p.Master);
  p.Master = -1;
  ASSERT_TRUE(p.WaitForEnd()) << "still running after the hang-up";
  ASSERT_TRUE(WIFEXITED(p.WaitStatus));
  EXPECT_EQ(WEXITSTATUS(p.WaitStatus), 129);
}

// Names are printed with the folder part of the mask typed, so they name
// the right files for a command run from the start folder.
TEST(EhiselectTerminal, NamesCarryTheFolderPartOfTheMask) {
  test::TempDir dir;
  test::MakeDirs(dir / "sub");
  test::WriteFile(dir / "sub/a.txt", "");
  test::PtyProgram p(EHISELECT_PATH, {}, dir.Path());
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  const size_t before = p.Out.size();
  p.Type(Click(40, 6));  // the mask field: blanked in green for typing
  ASSERT_TRUE(p.ReadUntil("\x1b[0;32;44m", 5000, before));
  p.Type("sub/*.txt\r");
  ASSERT_TRUE(p.ReadUntil("a.txt")) << p.Out.substr(before);
  const size_t listed = p.Out.size();
  p.Type(Click(5, 3));  // the first entry, marked with a star
  ASSERT_TRUE(p.ReadUntil("*", 5000, listed));
  p.Type("x");
  p.Finish();
  EXPECT_EQ(WEXITSTATUS(p.WaitStatus), 0);
  EXPECT_NE(p.Out.find("sub/a.txt\r\n"), std::string::npos) << p.Out.substr(listed);
}

// A mask typed with "\\" between its folders, in the mask field or as
// MASK, lists that folder, and the names come out with "/": paths here.
TEST(EhiselectTerminal, ABackslashInATypedMaskSeparatesFolders) {
  for (const bool asArgument : {true, false}) {
    test::TempDir dir;
    test::MakeDirs(dir / "sub");
    test::WriteFile(dir / "sub/a.txt", "");
    const std::vector<std::string> args =
        asArgument ? std::vector<std::string>{"sub\\*.txt"} : std::vector<std::string>{};
    test::PtyProgram p(EHISELECT_PATH, args, dir.Path());
    ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
    if (!asArgument) {
      const size_t before = p.Out.size();
      p.Type(Click(40, 6));
      ASSERT_TRUE(p.ReadUntil("\x1b[0;32;44m", 5000, before));
      p.Type("sub\\*.txt\r");
    }
    ASSERT_TRUE(p.ReadUntil("a.txt")) << p.Out;
    const size_t listed = p.Out.size();
    p.Type(Click(5, 3));
    ASSERT_TRUE(p.ReadUntil("*", 5000, listed));
    p.Type("x");
    p.Finish();
    EXPECT_EQ(WEXITSTATUS(p.WaitStatus), 0);
    EXPECT_NE(p.Out.find("sub/a.txt\r\n"), std::string::npos)
        << (asArgument ? "as MASK: " : "typed: ") << p.Out.substr(listed);
  }
}

// The options reach the screen: its heading, its mask and single choice.
TEST(EhiselectTerminal, OptionsMapOntoTheScreen) {
  test::TempDir dir;
  test::MakeDirs(dir / "sub");
  test::WriteFile(dir / "sub/a.txt", "");
  test::WriteFile(dir / "sub/b.txt", "");
  test::PtyProgram p(EHISELECT_PATH, {"--single", "--heading", "Pick one", "sub/*.txt"},
                     dir.Path());
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  EXPECT_NE(p.Out.find("Pick"), std::string::npos);
  EXPECT_EQ(p.Out.find("Select all"), std::string::npos);  // single choice: no such button
  size_t at = p.Out.size();
  p.Type(Click(5, 3));
  ASSERT_TRUE(p.ReadUntil("*", 5000, at));
  at = p.Out.size();
  p.Type(Click(5, 4));  // the other entry: the first mark goes
  ASSERT_TRUE(p.ReadUntil("*", 5000, at));
  p.Type("x");
  p.Finish();
  EXPECT_EQ(WEXITSTATUS(p.WaitStatus), 0);
  const bool a = p.Out.find("sub/a.txt\r\n") != std::string::npos;
  const bool b = p.Out.find("sub/b.txt\r\n") != std::string::npos;
  EXPECT_TRUE(a != b) << p.Out.substr(at);  // exactly one name
}

void Pause(int ms) { usleep(useconds_t(ms) * 1000); }

// Every end of the screen leaves nothing for the shell, and input that
// comes while the window is too small acts on nothing. ehiselect runs as a
// shell runs it; once it has ended, whatever is left to read on the
// terminal (what the shell would take as typed) is collected until half a
// second passes without input.
TEST(EhiselectShell, NothingIsLeftForTheShellAndNothingActsUnseen) {
  struct Case {
    const char* what;
    void (*act)(test::PtyProgram&);
    const char* names;
  };
  const Case table[] = {
      {"a click on OK released after the screen ended",
       [](test::PtyProgram& p) {
         p.Type("\x1b[<0;50;18M");
         Pause(150);  // as over a slow link
         p.Type("\x1b[<0;50;18m");
       },
       ""},
      {"a double click on OK over a slow link: its second click was sent before the "
       "terminal saw reporting go off, and arrives after the end",
       [](test::PtyProgram& p) {
         p.Type(Click(50, 18));
         Pause(150);  // nothing read meanwhile: the terminal has not seen the end yet
         p.Type(Click(50, 18));
       },
       ""},
      {"a paste of 10,000 keys, still coming when the screen ends",
       [](test::PtyProgram& p) {
         p.Type("x");
         for (int i = 0; i < 10; ++i) {
           p.Type(std::string(1000, 'y'));
           Pause(5);
         }
       },
       ""},
      {"a report split across reads, 100 ms apart",
       [](test::PtyProgram& p) {
         p.Type("\x1b[<0;5;3");
         Pause(100);
         const size_t at = p.Out.size();
         p.Type("M\x1b[<0;5;3m");
         p.ReadUntil("*", 5000, at);
         p.Type("x");
       },
       "a.txt\n"},
      {"clicks and a key under the too-small notice",
       [](test::PtyProgram& p) {
         const size_t at = p.Out.size();
         p.Resize(60, 20);
         p.ReadUntil("The window is too small", 5000, at);
         p.Type(Click(5, 3) + "x" + Click(50, 18));
         Pause(300);
         const size_t notice = p.Out.size();
         p.Resize(80, 25);
         p.ReadUntil("Quit Program", 5000, notice);  // redrawn: still running
         p.Type("x");
       },
       ""},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    test::TempDir dir, out;
    test::WriteFile(dir / "a.txt", "");
    test::PtyProgram p("/bin/sh",
                       {"-c",
                        "\"$0\" > \"$1/names\"; echo $? > \"$1/status\"; "
                        "stty -icanon -echo min 0 time 5; cat > \"$1/left\"; echo SHELL-END",
                        EHISELECT_PATH, out.Path()},
                       dir.Path());
    ASSERT_TRUE(p.ReadUntil("\x1b[?1006h")) << p.Out;
    ASSERT_TRUE(p.ReadUntil("Quit Program"));
    c.act(p);
    ASSERT_TRUE(p.ReadUntil("SHELL-END", 15000));
    EXPECT_EQ(test::ReadFile(out / "left"), "");
    EXPECT_EQ(test::ReadFile(out / "status"), "0\n");
    EXPECT_EQ(test::ReadFile(out / "names"), c.names);
    // The terminal is left with reporting off and the shell's own screen.
    EXPECT_GT(p.Out.rfind("\x1b[?1000l"), p.Out.rfind("\x1b[?1000h"));
    EXPECT_GT(p.Out.rfind("\x1b[?1049l"), p.Out.rfind("\x1b[?1049h"));
  }
}

// Standard streams closed or failing: a closed output is refused before
// anything is drawn, a closed error output never turns into the terminal,
// a failed write of the names is said.
TEST(EhiselectShell, StandardStreams) {
  struct Case {
    const char* redirect;
    int cols;
    bool choose;
    int status;
    const char* said;     // on the terminal (the error output)
    const char* notSaid;  // nowhere on the terminal
  };
  const Case table[] = {
      {">&-", 80, false, 2,
       "ehiselect: standard output is closed: there is nowhere to print the names\r\n",
       "Quit Program"},
      {"2>&-", 79, false, 2, "", "needs a terminal"},
      {">/dev/full", 80, true, 3,
       "ehiselect: the names could not be written to standard output\r\n",
       "Runtime error"},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.redirect);
    test::TempDir dir;
    test::WriteFile(dir / "a.txt", "");
    test::PtyProgram p("/bin/sh", {"-c", std::string("exec \"$0\" ") + c.redirect, EHISELECT_PATH},
                       dir.Path(), c.cols, 25);
    if (c.choose) {
      ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
      const size_t at = p.Out.size();
      p.Type(Click(5, 3));
      ASSERT_TRUE(p.ReadUntil("*", 5000, at));
      p.Type("x");
    } else if (p.ReadUntil("Quit Program", 2000)) {
      p.Type("x");  // drawn after all: end it
    }
    p.Finish();
    ASSERT_TRUE(WIFEXITED(p.WaitStatus));
    EXPECT_EQ(WEXITSTATUS(p.WaitStatus), c.status);
    EXPECT_NE(p.Out.find(c.said), std::string::npos) << p.Out;
    EXPECT_EQ(p.Out.find(c.notSaid), std::string::npos) << p.Out;
  }
}

// Arguments quoted in a message never reach the terminal raw.
TEST(EhiselectShell, ControlCharactersInArgumentsAreEscaped) {
  test::TempDir dir;
  const std::pair<std::vector<std::string>, std::string> table[] = {
      {{"a", "\x1b]2;OWNED\a"}, "ehiselect: only one mask, not also \\e]2;OWNED\\x07\n"},
      {{"*.txt", "\x1b[31mred.txt"}, "ehiselect: only one mask, not also \\e[31mred.txt\n"},
      {{"--\x9b" "31m"}, "ehiselect: unknown option --\\x9b31m\n"},
  };
  for (const auto& [args, said] : table) {
    test::RunResult r = test::RunProgram(EHISELECT_PATH, dir.Path(), args);
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Err, said + "Try 'ehiselect --help'.\n");
  }
}

// A user at the process limit gets no thread to read the terminal with:
// the screen reads its input between its updates instead, and works the
// same. Root is above that limit, so as root the program runs as nobody.
TEST(EhiselectTerminal, NoThreadToSpareStillReadsTheTerminal) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", "");
  chmod(dir.Path().c_str(), 0755);
  const std::vector<std::string> limit = {"/usr/bin/prlimit", "--nproc=1:1", "--"};
  std::vector<std::string> command = limit;
  command.push_back(EHISELECT_PATH);
  if (geteuid() == 0) {
    const std::string copy = test::ReachableCopy(EHISELECT_PATH);
    if (copy.empty() || !test::ReachableByOthers(dir.Path()))
      GTEST_SKIP() << "no folder that the unprivileged user can reach";
    const std::string nobody = std::to_string(test::kNobody);
    command = {"/usr/bin/setpriv", "--reuid=" + nobody, "--regid=" + nobody, "--clear-groups"};
    command.insert(command.end(), limit.begin(), limit.end());
    command.push_back(copy);
  }
  for (const std::string& tool : {command[0], limit[0]})
    if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << tool << " (util-linux) is not installed";
  command.push_back("*.txt");
  const std::string sanitizerOptions = test::NoLeakCheckAtExit();
  test::PtyProgram p(command[0], {command.begin() + 1, command.end()}, dir.Path());
  setenv("ASAN_OPTIONS", sanitizerOptions.c_str(), 1);
  ASSERT_TRUE(p.ReadUntil("Quit Program")) << p.Out;
  p.Type("x");  // a key read without the reader thread ends the screen
  p.Finish();
  ASSERT_TRUE(WIFEXITED(p.WaitStatus)) << p.Out;
  EXPECT_EQ(WEXITSTATUS(p.WaitStatus), 0);
}

}  // namespace
}  // namespace ehi
