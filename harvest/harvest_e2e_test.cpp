// End-to-end tests: the real program in temporary trees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#ifdef __linux__
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "testutil.h"

namespace ehi {
namespace {

using test::MakeDirs;
using test::ReadFile;
using test::RunProgram;
using test::RunResult;
using test::TempDir;
using test::WriteFile;

const std::string kFound = "Found ";
const std::string kTail = " distinct sets of EHI questionnaire results.\r\n";

// A result record: `first` and 19 more fields.
std::string Rec(const std::string& first, const std::string& tag = "x") {
  std::string r = first;
  for (int i = 2; i <= 20; ++i) r += "\t" + tag + std::to_string(i);
  return r;
}

std::string Table(const std::vector<std::string>& records) {
  std::string t;
  for (const std::string& r : records) t += r + "\r\n";
  return t;
}

// Runs `exe` in `dir` as an ordinary user: as itself, or as nobody when the
// tests run as root (root may write in any folder). `asUser` runs in the
// child once it is that user. False when the program cannot be put where
// that user reaches it.
bool RunAsOrdinaryUser(const std::string& exe, const std::string& dir, RunResult& r,
                       const std::vector<std::string>& args = {},
                       const std::function<void()>& asUser = {}) {
  const bool root = geteuid() == 0;
  const std::string program = root ? test::ReachableCopy(exe) : exe;
  if (program.empty()) return false;
  r = RunProgram(program, dir, args, [root, &asUser] {
    if (root && (setgid(test::kNobody) != 0 || setuid(test::kNobody) != 0)) _exit(120);
    if (asUser) asUser();
  });
  return true;
}

class HarvestRun : public ::testing::Test {
 protected:
  RunResult Run(const std::function<void()>& inChild = {}) {
    RunResult r = RunProgram(EHIHARVEST_PATH, dir_.Path(), {}, inChild);
    EXPECT_EQ(r.Err, "");  // nothing ever goes to standard error
    return r;
  }
  std::string TableText() { return ReadFile(dir_ / "Orvitan.Tab"); }
  bool HasTable() { return std::filesystem::exists(dir_ / "Orvitan.Tab"); }
  // No temporary table file may ever be left behind.
  void ExpectNoTemporaryFiles() {
    for (auto& e : std::filesystem::recursive_directory_iterator(dir_.Path()))
      EXPECT_EQ(e.path().filename().string().rfind(".tablewrite", 0), std::string::npos)
          << e.path();
  }
  TempDir dir_;
};

// --help and --version answer on standard output and walk nothing; other
// arguments are ignored.
TEST_F(HarvestRun, HelpAndVersionWalkNothing) {
  WriteFile(dir_ / "EHI.x", Rec("r") + "\n");
  RunResult help = RunProgram(EHIHARVEST_PATH, dir_.Path(), {"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.rfind("Usage: ehiharvest", 0), 0u) << help.Out;
  EXPECT_NE(help.Out.find("man ehiharvest"), std::string::npos);
  // Every status the program can end with is named.
  for (const char* status : {"0    done", "1    stopped", "2 file not found", "3 path not found",
                             "4 too many open files", "5 access denied", "100 disk read error",
                             "101 disk write error", "150 write-protected disk",
                             "203 out of memory", "128+N"})
    EXPECT_NE(help.Out.find(status), std::string::npos) << status;
  RunResult version = RunProgram(EHIHARVEST_PATH, dir_.Path(), {"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, std::string("ehiharvest ") + EHI_VERSION + "\n");
  EXPECT_FALSE(HasTable());
  RunResult other = RunProgram(EHIHARVEST_PATH, dir_.Path(), {"--verbose", "x"});
  EXPECT_EQ(other.Out, kFound + "1" + kTail);
  EXPECT_TRUE(HasTable());
}

TEST_F(HarvestRun, EmptyTreeReportsZeroAndWritesNoTable) {
  WriteFile(dir_ / "results.txt", Rec("A") + "\n");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, kFound + "0" + kTail);
  EXPECT_FALSE(HasTable());
}

TEST_F(HarvestRun, WhichFilesAreRead) {
  WriteFile(dir_ / "results.txt", Rec("no1") + "\n");
  WriteFile(dir_ / "ehi.txt", Rec("no2") + "\n");
  WriteFile(dir_ / "Ehi.txt", Rec("no3") + "\n");
  WriteFile(dir_ / ".EHI1.txt", Rec("no4") + "\n");  // hidden
  WriteFile(dir_ / "EHI", Rec("yes1") + "\n");
  WriteFile(dir_ / "xEHIy.dat", Rec("yes2") + "\n");
  WriteFile(dir_ / "data.EHI", Rec("yes3") + "\n");
  MakeDirs(dir_ / ".hidden/sub1/sub2");
  WriteFile(dir_ / ".hidden/EHI.a", Rec("yes4") + "\n");
  WriteFile(dir_ / ".hidden/sub1/sub2/EHI.b", Rec("yes5") + "\n");
  mkfifo((dir_ / "EHI.fifo").c_str(), 0644);  // never opened: nothing hangs
  symlink("nowhere", (dir_ / "EHI.dangling").c_str());
  symlink("xEHIy.dat", (dir_ / "EHI.link").c_str());  // a link to a file is the file
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, kFound + "5" + kTail);
  EXPECT_EQ(TableText(),
            Table({Rec("yes1"), Rec("yes2"), Rec("yes3"), Rec("yes4"), Rec("yes5")}));
}

TEST_F(HarvestRun, RecordRulesAndLineEnds) {
  std::string long300 = Rec("L") + std::string(300, 'z');
  std::string cut = long300.substr(0, 255);
  // 20 tabs, the last after position 255: judged by the first 255 only.
  std::string tabsLate = Rec("T");
  tabsLate += std::string(260 - tabsLate.size(), 'q') + "\t";
  // 19 tabs, the last after position 255: not a record.
  std::string tooLate = std::string(18, '\t') + std::string(250, 'q') + "\t";
  WriteFile(dir_ / "EHI.txt",
            Rec("crlf") + "\r\n" + Rec("lf") + "\n" + Rec("cr") + "\r" +
                std::string(18, '\t') + "\r\n" + std::string(20, '\t') + "\r\n" + long300 +
                "\r\n" + tabsLate + "\n" + tooLate + "\n" + Rec("last"));
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  std::vector<std::string> want = {tabsLate.substr(0, 255), Rec("cr"), Rec("crlf"),
                                   Rec("last"), Rec("lf"), cut};
  std::sort(want.begin(), want.end());
  EXPECT_EQ(r.Out, kFound + "6" + kTail);
  EXPECT_EQ(TableText(), Table(want));
}

TEST_F(HarvestRun, ExtensionNumberSubstitution) {
  WriteFile(dir_ / "EHI.017",
            Rec("A 000") + "\n" + Rec("A B 000") + "\n" + Rec("123") + "\n" + "x\ty 000" +
                std::string(18, '\t') + "\n");
  WriteFile(dir_ / "EHI.+12", Rec("B 000") + "\n");
  WriteFile(dir_ / "EHI.1234", Rec("C 000") + "\n");
  WriteFile(dir_ / "EHI.01", Rec("D 000") + "\n");
  WriteFile(dir_ / "EHI.txt", Rec("E 000") + "\n");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  std::string table = TableText();
  for (const std::string& want : {Rec("A 017"), Rec("A B 000"), Rec("017"), Rec("B +12"),
                                  Rec("C 000"), Rec("D 000"), Rec("E 000"),
                                  "x\ty 000" + std::string(18, '\t')})
    EXPECT_NE(table.find(want + "\r\n"), std::string::npos) << want;
  EXPECT_EQ(r.Out, kFound + "8" + kTail);
}

TEST_F(HarvestRun, CtrlZEndsAFileOnlyAfterALineEnd) {
  WriteFile(dir_ / "EHI.a", Rec("first") + "\r\n\x1a" + Rec("after") + "\r\n");
  WriteFile(dir_ / "EHI.b", "\x1a" + Rec("z") + "\r\n");
  RunResult r = Run();
  EXPECT_EQ(TableText(), Table({"\x1a" + Rec("z"), Rec("first")}));
}

TEST_F(HarvestRun, OrderAndDistinctRecords) {
  MakeDirs(dir_ / "a");
  MakeDirs(dir_ / "b");
  for (const char* f : {"EHI.1", "a/EHI.2", "b/EHI.3"}) WriteFile(dir_ / f, Rec("same") + "\n");
  WriteFile(dir_ / "EHI.mix", Rec("Case") + "\n" + Rec("case") + "\n" + Rec("pad") + "\n" +
                                  Rec("pad", "x") + " \n" + Rec("1") + "\n" + Rec(" sp") +
                                  "\n" + Rec("") + "\n" + Rec("pre") + "\n" +
                                  Rec("prefix") + "\n");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  std::vector<std::string> want = {Rec(""), Rec(" sp"), Rec("1"), Rec("Case"),
                                   Rec("case"), Rec("pad"), Rec("pad") + " ", Rec("pre"),
                                   Rec("prefix"), Rec("same")};
  // "pre\tx2..." vs "prefix\tx2...": the tab (9) orders before "f".
  std::sort(want.begin(), want.end());
  EXPECT_EQ(TableText(), Table(want));
  EXPECT_EQ(r.Out, kFound + "10" + kTail);
}

TEST_F(HarvestRun, RunningTwiceGivesTheSameTable) {
  WriteFile(dir_ / "EHI.x", Rec("b") + "\n" + Rec("a") + "\n");
  EXPECT_EQ(Run().Status, 0);
  std::string first = TableText();
  RunResult second = Run();
  EXPECT_EQ(second.Out, kFound + "2" + kTail);
  EXPECT_EQ(TableText(), first);
  ExpectNoTemporaryFiles();
}

TEST_F(HarvestRun, EarlierTableIsReadBackAndKeptWhenNothingIsFound) {
  WriteFile(dir_ / "Orvitan.Tab", Rec("old") + "\r\n");
  WriteFile(dir_ / "EHI.new", Rec("new") + "\n");
  EXPECT_EQ(Run().Out, kFound + "2" + kTail);
  EXPECT_EQ(TableText(), Table({Rec("new"), Rec("old")}));

  TempDir other;
  WriteFile(other / "Orvitan.Tab", "not a record\r\n");
  RunResult r = RunProgram(EHIHARVEST_PATH, other.Path());
  EXPECT_EQ(r.Out, kFound + "0" + kTail);
  EXPECT_EQ(ReadFile(other / "Orvitan.Tab"), "not a record\r\n");
}

TEST_F(HarvestRun, TwoThousandFilesPassAndOneMoreStops) {
  MakeDirs(dir_ / "full");
  for (int i = 0; i < 2000; ++i) WriteFile(dir_ / ("full/f" + std::to_string(i)), "");
  WriteFile(dir_ / "EHI.r", Rec("r") + "\n");
  EXPECT_EQ(Run().Status, 0);
  std::filesystem::remove(dir_ / "Orvitan.Tab");
  WriteFile(dir_ / "full/one-more", "");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out,
            "Halting with error-code 1, because:\r\nAddString tried to store too many strings "
            "in list.\r\n");
  EXPECT_FALSE(HasTable());
}

TEST_F(HarvestRun, LongNamesAreReadWhole) {
  std::string longFile = "EHI" + std::string(97, 'f');
  std::string longDir(100, 'd');
  WriteFile(dir_ / longFile, Rec("file") + "\n");
  MakeDirs(dir_ / longDir);
  WriteFile(dir_ / (longDir + "/EHI.x"), Rec("dir") + "\n");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(TableText(), Table({Rec("dir"), Rec("file")}));
}

// "\\" is a character of a POSIX name: a folder and a file that hold one
// are read under their names.
TEST_F(HarvestRun, BackslashesInNamesAreNameCharacters) {
  MakeDirs(dir_ / "a\\b");
  WriteFile(dir_ / "a\\b/EHI.x", Rec("folder") + "\n");
  WriteFile(dir_ / "EHI\\x.txt", Rec("file") + "\n");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(TableText(), Table({Rec("file"), Rec("folder")}));
}

TEST_F(HarvestRun, OverLongPathStops) {
  std::string path = dir_.Path();
  std::string rel;
  for (int i = 0; i < 3; ++i) {
    rel += (rel.empty() ? "" : "/") + std::string(90, char('a' + i));
    MakeDirs(dir_ / rel);
  }
  RunResult r = Run();
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out.rfind("Halting with error-code 1, because:\r\nPath too long: " +
                            std::string(90, 'a') + "/",
                        0),
            0u)
      << r.Out;
  EXPECT_FALSE(HasTable());
}

// Folders whose paths are 252 to 255 characters long are listed (only the
// listing's "*.*" would pass the limit); nothing in them needs a longer path.
TEST_F(HarvestRun, EmptyFoldersJustUnderThePathLimitPass) {
  const std::string base = std::string(100, 'a') + "/" + std::string(100, 'b') + "/";
  for (size_t len = 252; len <= 255; ++len) MakeDirs(dir_ / (base + std::string(len - 202, 'c')));
  WriteFile(dir_ / "EHI.x", Rec("r") + "\n");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(r.Out, kFound + "1" + kTail);
}

TEST_F(HarvestRun, LinkCyclesEndAndEachDirectoryIsWalkedOnce) {
  MakeDirs(dir_ / "sub");
  WriteFile(dir_ / "sub/EHI.x", Rec("once") + "\n" + Rec("twice") + "\n" + Rec("twice") + "\n");
  symlink("..", (dir_ / "sub/up").c_str());
  symlink("sub", (dir_ / "again").c_str());
  RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, kFound + "2" + kTail);
  EXPECT_EQ(TableText(), Table({Rec("once"), Rec("twice")}));
}

TEST_F(HarvestRun, FailedTableWriteKeepsTheEarlierTable) {
  std::string earlier;
  for (int i = 0; i < 50; ++i) earlier += Rec("old" + std::to_string(i)) + "\r\n";
  WriteFile(dir_ / "Orvitan.Tab", earlier);
  std::string big;
  for (int i = 0; i < 2000; ++i) big += Rec("new" + std::to_string(i)) + "\n";
  WriteFile(dir_ / "EHI.big", big);
  // The program itself turns the file-size signal into a failed write.
  RunResult r = Run([] {
    signal(SIGXFSZ, SIG_DFL);
    struct rlimit lim = {20000, 20000};
    setrlimit(RLIMIT_FSIZE, &lim);
  });
  EXPECT_EQ(r.Status, 101);
  EXPECT_EQ(r.Out.rfind(kFound + "2050" + kTail + "Runtime error 101 at $", 0), 0u) << r.Out;
  EXPECT_EQ(TableText(), earlier);
  ExpectNoTemporaryFiles();
}

TEST_F(HarvestRun, ReadOnlyOrSpecialTableIsRefusedAndUntouched) {
  WriteFile(dir_ / "Orvitan.Tab", Rec("old") + "\r\n");
  chmod((dir_ / "Orvitan.Tab").c_str(), 0444);
  RunResult r = Run();
  EXPECT_EQ(r.Status, 5);
  EXPECT_EQ(r.Out.rfind(kFound + "1" + kTail + "Runtime error 5 at $", 0), 0u) << r.Out;
  EXPECT_EQ(TableText(), Rec("old") + "\r\n");
  ExpectNoTemporaryFiles();
}

TEST_F(HarvestRun, TableBehindALinkIsReplacedAndTheLinkStays) {
  MakeDirs(dir_ / "store");
  WriteFile(dir_ / "store/real.tab", "");
  symlink("store/real.tab", (dir_ / "Orvitan.Tab").c_str());
  WriteFile(dir_ / "EHI.x", Rec("r") + "\n");
  EXPECT_EQ(Run().Status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "Orvitan.Tab"));
  EXPECT_EQ(ReadFile(dir_ / "store/real.tab"), Table({Rec("r")}));
}

// As an ordinary user (root reads every file): a qualifying file closed to
// the user stops the run, before any report line.
TEST_F(HarvestRun, UnreadableQualifyingFileStopsWithError5) {
  WriteFile(dir_ / "EHI.ok", Rec("ok") + "\n");
  WriteFile(dir_ / "EHI.locked", Rec("r") + "\n");
  chmod((dir_ / "EHI.locked").c_str(), 0);
  chmod(dir_.Path().c_str(), 0755);  // the folder itself is open to the user
  RunResult r;
  if (!RunAsOrdinaryUser(EHIHARVEST_PATH, dir_.Path(), r))
    GTEST_SKIP() << "no folder that the unprivileged user can reach";
  EXPECT_EQ(r.Status, 5) << r.Out;
  EXPECT_EQ(r.Out.rfind("Runtime error 5 at $", 0), 0u) << r.Out;
  EXPECT_EQ(r.Err, "");
  EXPECT_FALSE(HasTable());
}

// The store counts distinct records: a table of more than half the limit
// is read back and merged with the same records found again, and only the
// first distinct record past the limit stops the run.
TEST_F(HarvestRun, StoreLimitCountsDistinctRecords) {
  const std::string tail(19, '\t');
  std::string many;
  for (int i = 0; i < 60000; ++i) many += std::to_string(i) + tail + "\n";
  WriteFile(dir_ / "EHI.many", many);
  RunResult first = Run();
  EXPECT_EQ(first.Out, kFound + "60000" + kTail);
  const std::string table = TableText();
  RunResult second = Run();
  EXPECT_EQ(second.Out, kFound + "60000" + kTail);
  EXPECT_EQ(TableText(), table);

  for (int i = 60000; i < 100000; ++i) many += std::to_string(i) + tail + "\n";
  WriteFile(dir_ / "EHI.many", many);
  EXPECT_EQ(Run().Out, kFound + "100000" + kTail);
  WriteFile(dir_ / "EHI.one-more", "100000" + tail + "\n");
  RunResult r = Run();
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out,
            "Halting with error-code 1, because:\r\nAddHarvested tried to store too many "
            "records.\r\n");
}

}  // namespace
}  // namespace ehi

namespace ehi {
namespace {

// Faults injected from outside, each checked for its exact report, its
// exit status and an earlier table left as it was.
class HarvestFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "Orvitan.Tab", Rec("earlier") + "\r\n");
    earlier_ = ReadFile(dir_ / "Orvitan.Tab");
  }
  void ExpectEarlierTable() { EXPECT_EQ(ReadFile(dir_ / "Orvitan.Tab"), earlier_); }
  TempDir dir_;
  std::string earlier_;
};

TEST_F(HarvestFaults, TooFewFileDescriptorsIsRuntimeError4) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers' own checks need descriptors (a pipe to probe memory)
  // and report false errors without them; the plain build runs this test.
  GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
  std::string deep;
  for (int i = 0; i < 6; ++i) {
    deep += (deep.empty() ? "" : "/") + std::string("level") + std::to_string(i);
    MakeDirs(dir_ / deep);
    WriteFile(dir_ / (deep + "/EHI.x"), Rec("r" + std::to_string(i)) + "\n");
  }
  // Standard input, output and error are all the run may have open.
  RunResult r = RunProgram(EHIHARVEST_FAULT_PATH, dir_.Path(), {"--fd-limit=3"});
  EXPECT_EQ(r.Status, 4);
  EXPECT_EQ(r.Out.rfind("Runtime error 4 at $", 0), 0u) << r.Out;
  EXPECT_EQ(r.Err, "");
  ExpectEarlierTable();
}

// A name that is gone by its opening, or that became a link leading
// nowhere, is a file that vanished.
TEST_F(HarvestFaults, FileThatVanishesBeforeItsOpenIsRuntimeError2) {
  WriteFile(dir_ / "EHI.ok", Rec("ok") + "\n");
  bool located = true;
  for (const char* name : {"EHI.vanish", "EHI.dangling-swap"}) {
    WriteFile(dir_ / name, Rec("gone") + "\n");
    RunResult r = RunProgram(EHIHARVEST_FAULT_PATH, dir_.Path());
    std::filesystem::remove(dir_ / name);
    EXPECT_EQ(r.Status, 2) << name;
    ASSERT_EQ(r.Out.rfind("Runtime error 2 at $", 0), 0u) << name << ": " << r.Out;
    ExpectEarlierTable();
    // The position reported is the statement whose open failed, in the
    // walk, not the checking routine.
    const std::string where = test::SourceLineOf(EHIHARVEST_FAULT_PATH, r.Out.substr(20, 8));
    located = located && !where.empty();
    if (!where.empty()) {
      EXPECT_NE(where.find("walk.cpp:"), std::string::npos) << name << ": " << where;
    }
  }
  if (!located) GTEST_SKIP() << "addr2line is not installed: the positions were not checked";
}

TEST_F(HarvestFaults, ReadOnlyStartDirectoryIsRuntimeError5AfterTheReport) {
  WriteFile(dir_ / "EHI.x", Rec("new") + "\n");
  chmod(dir_.Path().c_str(), 0555);
  RunResult r;
  bool ran = RunAsOrdinaryUser(EHIHARVEST_PATH, dir_.Path(), r);
  chmod(dir_.Path().c_str(), 0755);
  if (!ran) GTEST_SKIP() << "no folder that the unprivileged user can reach";
  // The earlier table belongs to someone else: it may not be written.
  EXPECT_EQ(r.Status, 5);
  EXPECT_EQ(r.Out.rfind(kFound + "2" + kTail + "Runtime error 5 at $", 0), 0u) << r.Out;
  ExpectEarlierTable();
  for (auto& e : std::filesystem::directory_iterator(dir_.Path()))
    EXPECT_EQ(e.path().filename().string().rfind(".tablewrite", 0), std::string::npos);
}

// No file can be created in the start folder, but the table is the user's
// own: it is rewritten in place, the run succeeds.
TEST_F(HarvestFaults, UnwritableFolderRewritesAWritableTableInPlace) {
  WriteFile(dir_ / "EHI.x", Rec("new") + "\n");
  if (geteuid() == 0) chown((dir_ / "Orvitan.Tab").c_str(), test::kNobody, test::kNobody);
  chmod(dir_.Path().c_str(), 0555);
  RunResult r;
  bool ran = RunAsOrdinaryUser(EHIHARVEST_PATH, dir_.Path(), r);
  chmod(dir_.Path().c_str(), 0755);
  if (!ran) GTEST_SKIP() << "no folder that the unprivileged user can reach";
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(ReadFile(dir_ / "Orvitan.Tab"), Table({Rec("earlier"), Rec("new")}));
}

// A stop by any signal whose default ends the process, while the new
// table's temporary file has a name, removes that file; the process ends as
// the signal ends it.
TEST_F(HarvestFaults, TerminationSignalsLeaveNoTemporaryFile) {
  WriteFile(dir_ / "EHI.x", Rec("new") + "\n");
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGXCPU,
                  SIGVTALRM, SIGRTMIN, SIGRTMAX}) {
    for (bool named : {false, true}) {
      std::vector<std::string> args = {"--raise-while-named=" + std::to_string(sig)};
      if (named) args.push_back("--named-temp");
      RunResult r = RunProgram(EHIHARVEST_FAULT_PATH, dir_.Path(), args, [] {
        struct rlimit none = {0, 0};  // no core files in the test folder
        setrlimit(RLIMIT_CORE, &none);
        signal(SIGPIPE, SIG_DFL);  // whatever the test runner ignores
      });
      EXPECT_EQ(r.Status, 128 + sig) << sig << (named ? " named" : " unnamed");
      ExpectEarlierTable();
      for (auto& e : std::filesystem::directory_iterator(dir_.Path()))
        EXPECT_EQ(e.path().filename().string().rfind(".tablewrite", 0), std::string::npos)
            << sig << (named ? " named" : " unnamed");
    }
  }
}

// Stale temporary files with the names this run would choose first (every
// run in a container is process 1) are passed over, never reported.
TEST_F(HarvestFaults, StaleTemporaryNamesAreSkipped) {
  WriteFile(dir_ / "EHI.x", Rec("new") + "\n");
  RunResult r = RunProgram(EHIHARVEST_FAULT_PATH, dir_.Path(), {"--named-temp"}, [] {
    for (int i = 1; i <= 3; ++i)
      WriteFile(".tablewrite-" + std::to_string(getpid()) + "-" + std::to_string(i) + ".tmp",
                "stale");
  });
  EXPECT_EQ(r.Status, 0) << r.Out;
  EXPECT_EQ(ReadFile(dir_ / "Orvitan.Tab"), Table({Rec("earlier"), Rec("new")}));
  int stale = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_.Path()))
    stale += e.path().filename().string().rfind(".tablewrite", 0) == 0;
  EXPECT_EQ(stale, 3);  // someone else's files are left alone
}

TEST_F(HarvestFaults, ReplacementKeepsPermissionBitsAndGroup) {
  WriteFile(dir_ / "EHI.x", Rec("new") + "\n");
  const std::string table = dir_ / "Orvitan.Tab";
  struct stat before;
  if (geteuid() == 0) chown(table.c_str(), 0, 100);  // another group than root's
  chmod(table.c_str(), 0664);                        // wider than the umask gives
  stat(table.c_str(), &before);
  RunResult r = RunProgram(EHIHARVEST_PATH, dir_.Path(), {}, [] { umask(022); });
  EXPECT_EQ(r.Status, 0);
  struct stat after;
  ASSERT_EQ(stat(table.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file took the old one's place
  EXPECT_EQ(after.st_mode & 07777, 0664u);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

// A user at the process limit gets no thread, or only some: the read-ahead
// and its fetchers are aids, and the walk does without them, with the same
// report and table. Each limit lets a few more threads start.
TEST_F(HarvestFaults, ThreadsRefusedByTheProcessLimitLeaveTheRunAlone) {
  WriteFile(dir_ / "EHI.x", Rec("new") + "\n");
  chmod(dir_.Path().c_str(), 0755);
  for (rlim_t limit = 1; limit <= 12; ++limit) {
    WriteFile(dir_ / "Orvitan.Tab", earlier_);
    if (geteuid() == 0)  // the folder and the table are the user's
      for (const std::string& path : {dir_.Path(), dir_ / "Orvitan.Tab"})
        chown(path.c_str(), test::kNobody, test::kNobody);
    RunResult r;
    const bool ran = RunAsOrdinaryUser(EHIHARVEST_FAULT_PATH, dir_.Path(), r, {"--warm"}, [limit] {
      const struct rlimit processes = {limit, limit};
      if (setrlimit(RLIMIT_NPROC, &processes) != 0) _exit(121);
      test::NoLeakCheckAtExit();
    });
    if (!ran) GTEST_SKIP() << "no folder that the unprivileged user can reach";
    EXPECT_EQ(r.Status, 0) << limit << ": " << r.Out << r.Err;
    EXPECT_EQ(r.Out, kFound + "2" + kTail) << limit;
    EXPECT_EQ(r.Err, "") << limit;
    EXPECT_EQ(ReadFile(dir_ / "Orvitan.Tab"), Table({Rec("earlier"), Rec("new")})) << limit;
  }
}

// The table as a link: followed only when the link is the runner's own or
// root's, and never when it leads nowhere. A refused link is neither read
// nor written, and nothing it points at is created or changed. A link to a
// file stops the run where the walk meets it, before any report line, also
// when it is the only input; a dangling one is never listed (as no dangling
// link is) and is refused when the table is written.
TEST_F(HarvestFaults, TableLinksAreFollowedOnlyWhenTrusted) {
  struct Case {
    const char* name;
    bool plantedByOther;  // the link belongs to another user (needs root)
    bool dangling;
    bool otherInput;      // a qualifying file besides the table
    const char* out;      // how the output begins
  };
  const std::string refused = "Runtime error 5 at $";
  const Case cases[] = {
      {"planted", true, false, true, ""},
      {"planted, the only input", true, false, false, ""},
      {"dangling", false, true, true, "Found 1 distinct sets of EHI questionnaire results.\r\n"},
  };
  for (const Case& c : cases) {
    if (c.plantedByOther && geteuid() != 0) continue;  // cannot plant without root
    TempDir dir;
    const std::string victim = dir / "victim";
    if (!c.dangling) WriteFile(victim, Rec("planted") + "\r\n");
    symlink(victim.c_str(), (dir / "Orvitan.Tab").c_str());
    if (c.plantedByOther) lchown((dir / "Orvitan.Tab").c_str(), test::kNobody, test::kNobody);
    if (c.otherInput) WriteFile(dir / "EHI.x", Rec("new") + "\n");
    RunResult r = RunProgram(EHIHARVEST_PATH, dir.Path());
    EXPECT_EQ(r.Status, 5) << c.name;
    EXPECT_EQ(r.Out.rfind(c.out + refused, 0), 0u) << c.name << ": " << r.Out;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Orvitan.Tab")) << c.name;
    if (c.dangling) EXPECT_FALSE(std::filesystem::exists(victim)) << c.name;
    else EXPECT_EQ(ReadFile(victim), Rec("planted") + "\r\n") << c.name;
  }
}

// A qualifying name that became anything but a regular file after the
// listing is passed over: a FIFO (with a writer holding it open), a link to
// an endless device or to a terminal that is not the run's, a socket, a
// folder.
TEST_F(HarvestFaults, FilesSwappedAfterTheListingAreSkipped) {
  const char* swapped[] = {"EHI.fifo-swap", "EHI.zero-swap", "EHI.tty-swap", "EHI.socket-swap",
                           "EHI.folder-swap"};
  // The same with the fetchers, which must pass over them too.
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"--warm"}}) {
    WriteFile(dir_ / "Orvitan.Tab", earlier_);
    WriteFile(dir_ / "EHI.ok", Rec("ok") + "\n");
    for (const char* name : swapped) WriteFile(dir_ / name, Rec(name) + "\n");
    RunResult r = RunProgram(EHIHARVEST_FAULT_PATH, dir_.Path(), args);
    EXPECT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(r.Out, kFound + "2" + kTail);
    EXPECT_EQ(ReadFile(dir_ / "Orvitan.Tab"), Table({Rec("earlier"), Rec("ok")}));
    for (const char* name : swapped) std::filesystem::remove(dir_ / name);
  }
}

#ifdef __linux__
// For a child about to become the program: every call of the system calls
// `calls` fails with `error`, as a file system failing at that step would
// make it fail; all other calls run as usual. With `flags`, only the calls
// whose third argument (openat's flags) has all those bits fail, so that
// the loader's own opens go on. False when the system does not let a
// process filter its calls.
bool FailSystemCalls(const std::vector<long>& calls, int error, uint32_t flags = 0) {
#if defined(__x86_64__)
  const uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
  const uint32_t arch = AUDIT_ARCH_AARCH64;
#else
  return false;
#endif
  auto op = [](uint32_t code, uint32_t k, uint8_t yes = 0, uint8_t no = 0) {
    return sock_filter{uint16_t(code), yes, no, k};
  };
  std::vector<sock_filter> filter = {
      op(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      op(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
      op(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      op(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
  const sock_filter fail = op(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (uint32_t(error) & SECCOMP_RET_DATA));
  for (long call : calls) {
    if (flags == 0) {
      filter.push_back(op(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(call), 0, 1));
      filter.push_back(fail);
      continue;
    }
    // Skips the flag test (4 instructions) for any other call; reloads the
    // call number after it.
    filter.push_back(op(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(call), 0, 4));
    filter.push_back(op(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + 2 * sizeof(uint64_t)));
    filter.push_back(op(BPF_ALU | BPF_AND | BPF_K, flags));
    filter.push_back(op(BPF_JMP | BPF_JEQ | BPF_K, flags, 0, 1));
    filter.push_back(fail);
    filter.push_back(op(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
  }
  filter.push_back(op(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog program = {uint16_t(filter.size()), filter.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// The last steps that give the new table its name are writes: an error the
// system names no closer is a write error (101), a read-only file system is
// a write-protected disk (150); the earlier table stays, and no temporary
// file is left behind. An I/O error at an open is a device error too: 101
// creating the new table, 100 opening a file to read (before the report);
// the system out of memory is out of memory (203), wherever it strikes.
TEST_F(HarvestFaults, DeviceErrorsAtOpensAndWhileNamingTheNewTable) {
  const std::vector<long> renames = {
#ifdef __NR_rename
      __NR_rename,
#endif
      __NR_renameat, __NR_renameat2};
  const std::vector<long> links = {
#ifdef __NR_link
      __NR_link,
#endif
      __NR_linkat};
  const std::vector<long> opens = {__NR_openat};
  struct Case {
    const char* name;
    const std::vector<long>& calls;
    std::vector<uint32_t> flags;  // one filter for each; 0: every call
    int error;
    int status;
    const char* out;  // how the output begins
  };
  const std::string found = kFound + "2" + kTail;
  const Case cases[] = {
      {"rename, I/O error", renames, {0}, EIO, 101, found.c_str()},
#ifndef EHI_PORTABLE
      {"link of the unnamed file, I/O error", links, {0}, EIO, 101, found.c_str()},
#endif
      {"rename, read-only file system", renames, {0}, EROFS, 150, found.c_str()},
      {"creating the new table, I/O error", opens, {O_TMPFILE, O_CREAT | O_EXCL}, EIO, 101,
       found.c_str()},
      {"opening a file to read, I/O error", opens, {O_NOCTTY | O_NONBLOCK}, EIO, 100, ""},
      {"opening a file to read, no memory", opens, {O_NOCTTY | O_NONBLOCK}, ENOMEM, 203, ""},
  };
  WriteFile(dir_ / "EHI.x", Rec("new") + "\n");
  for (const Case& c : cases) {
    RunResult r = RunProgram(EHIHARVEST_PATH, dir_.Path(), {}, [&c] {
      for (uint32_t flags : c.flags)
        if (!FailSystemCalls(c.calls, c.error, flags)) _exit(121);
    });
    if (r.Status == 121) GTEST_SKIP() << "system calls cannot be filtered here";
    EXPECT_EQ(r.Status, c.status) << c.name;
    EXPECT_EQ(r.Out.rfind(c.out + ("Runtime error " + std::to_string(c.status) + " at $"), 0), 0u)
        << c.name << ": " << r.Out;
    ExpectEarlierTable();
    for (auto& e : std::filesystem::directory_iterator(dir_.Path()))
      EXPECT_EQ(e.path().filename().string().rfind(".tablewrite", 0), std::string::npos) << c.name;
  }
}
#endif

// However far the read-ahead got, a run that stops reports the same first
// failure in walk order, and a run that completes writes the same table.
TEST_F(HarvestFaults, ReadAheadNeverChangesWhatTheWalkReports) {
  // 20 folders of 20 files (22 entries with "." and ".."), one of 30 (32
  // entries): a listing fault after 24 entries strikes that one only.
  std::filesystem::remove(dir_ / "Orvitan.Tab");
  for (int d = 0; d < 20; ++d) {
    const std::string folder = "d" + std::to_string(d) + "/inner";
    MakeDirs(dir_ / folder);
    for (int f = 0; f < (d == 15 ? 30 : 20); ++f)
      // Numbered extensions put the file's own number into its records, so
      // a record read from the wrong file's bytes shows in the table.
      WriteFile(dir_ / (folder + "/EHI." + std::to_string(100 + f)),
                Rec("r" + std::to_string(d * 100 + f) + " 000") + "\n");
  }
  // A file larger than the read-ahead reads whole (it is left to the walk),
  // with a record at each end.
  std::string big = Rec("big first") + "\n";
  while (big.size() < (size_t(640) << 10)) big += std::string(99, 'x') + "\n";
  WriteFile(dir_ / "d3/inner/EHI.big", big + Rec("big last") + "\n");
  struct Case {
    const char* name;
    std::vector<std::string> faults;
    const char* vanishing;  // a file that vanishes before its opening
    int status;
  };
  const Case cases[] = {
      {"complete", {}, nullptr, 0},
      {"vanishing file", {}, "d1/inner/EHI.x.vanish", 2},
      {"listing fault", {"--listing-fault=24"}, nullptr, 100},
  };
  for (const Case& c : cases) {
    std::vector<RunResult> runs;
    // The last two: the heap runs out on a helper thread, early and late.
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"--no-read-ahead"}, {"--read-ahead-first"}, {"--warm"}, {},
          {"--helper-alloc-fault=40"}, {"--warm", "--helper-alloc-fault=2"}}) {
      std::vector<std::string> args = c.faults;
      args.insert(args.end(), mode.begin(), mode.end());
      std::filesystem::remove(dir_ / "Orvitan.Tab");
      if (c.vanishing) WriteFile(dir_ / c.vanishing, Rec("v") + "\n");
      runs.push_back(RunProgram(EHIHARVEST_FAULT_PATH, dir_.Path(), args));
      runs.back().Err = ReadFile(dir_ / "Orvitan.Tab");  // the table, to compare too
    }
    EXPECT_EQ(runs[0].Status, c.status) << c.name;
    if (c.status == 0) {
      EXPECT_EQ(runs[0].Out, kFound + "412" + kTail);
    }
    for (const RunResult& r : runs) {
      EXPECT_EQ(r.Status, runs[0].Status) << c.name;
      EXPECT_EQ(r.Out, runs[0].Out) << c.name;
      EXPECT_TRUE(r.Err == runs[0].Err) << c.name << ": the tables differ";
    }
  }
  EXPECT_EQ(ReadFile(dir_ / "Orvitan.Tab"), "");  // the last case stops before the table
}

// Whatever befalls the helper threads (no thread, no memory, a file that
// never answers beyond a stop, few descriptors, a crowded folder, reads
// that give little at a time), the run is the one the walk gives alone:
// the same status, standard output, standard error and table, however far
// ahead the worker is and with the fetchers running.
TEST(HarvestHelpers, NeverChangeTheRun) {
  // Folders of files enough to keep the worker and the fetchers busy.
  auto files = [](const TempDir& d) {
    for (int f = 0; f < 12; ++f) {
      const std::string folder = "f" + std::to_string(f) + "/inner";
      MakeDirs(d / folder);
      for (int k = 0; k < 8; ++k) {
        std::string text;
        for (int r = 0; r < 40; ++r)
          text += Rec(std::to_string(f * 1000 + k * 50 + r) + " 000") + "\n";
        WriteFile(d / (folder + "/EHI." + std::to_string(100 + k)), text);
      }
    }
  };
  auto plainFiles = [](const TempDir& d, const std::string& folder, int n, const char* stem) {
    MakeDirs(d / folder);
    for (int i = 0; i < n; ++i) WriteFile(d / (folder + "/" + stem + std::to_string(i)), "");
  };
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> tree;
    std::vector<std::string> args;
    int status;  // of the walk alone
    std::function<void()> inChild = {};
  };
  const Case cases[] = {
      {"no thread starts", files, {"--thread-limit=0"}, 0},
      {"only the worker starts", files, {"--thread-limit=1"}, 0},
      {"a helper's first allocation fails", files, {"--helper-alloc-fault=0"}, 0},
      {"a helper's allocation fails early", files, {"--helper-alloc-fault=4"}, 0},
      {"a helper's allocation fails later", files, {"--helper-alloc-fault=60"}, 0},
      {"a helper's allocation fails late", files, {"--helper-alloc-fault=400"}, 0},
      {"a folder of too many files before a file that never answers",
       [&](const TempDir& d) {
         plainFiles(d, ".", 2001, "p");
         MakeDirs(d / "sub/deeper");
         WriteFile(d / "sub/EHI.unreached", Rec("no") + "\n");
         WriteFile(d / "sub/deeper/EHI.block", Rec("no") + "\n");
       },
       {}, 1},
      {"a full store before a file that never answers",
       [](const TempDir& d) {
         std::string many;
         for (int i = 0; i <= 100000; ++i) many += std::to_string(i) + std::string(19, '\t') + "\n";
         WriteFile(d / "EHI.many", many);
         MakeDirs(d / "sub");
         WriteFile(d / "sub/EHI.block", Rec("no") + "\n");
       },
       {}, 1},
      {"descriptors nearly used up",
       [&](const TempDir& d) {
         for (int i = 0; i < 600; ++i)
           WriteFile(d / ("EHI." + std::to_string(i)), Rec(std::to_string(i)) + "\n");
       },
       {"--fd-limit=64"}, 0,
       [] {
         // 63 descriptors open, as a parent may pass them on: the walk
         // alone needs no more than the one left.
         const int null = open("/dev/null", O_RDONLY);
         for (int fd = 3; fd < 63; ++fd)
           if (fd != null) dup2(null, fd);
       }},
      {"a crowded folder the walk stops in, whose listing then stalls",
       [&](const TempDir& d) {
         files(d);
         plainFiles(d, "f5/crowded", 2500, "p");
       },
       {"--listing-stall=2200"}, 1},
      {"a crowded folder the walk goes through",
       [&](const TempDir& d) {
         files(d);
         plainFiles(d, "f5/crowded", 1790, "p");
         plainFiles(d, "f5/crowded", 2100, ".hidden");
         for (int i = 0; i < 200; ++i) {
           const std::string n = std::to_string(i);
           WriteFile(d / ("f5/crowded/EHI.in" + n), Rec("in" + n) + "\n");
         }
         MakeDirs(d / "f5/crowded/sub");
         WriteFile(d / "f5/crowded/sub/EHI.below", Rec("below") + "\n");
       },
       {}, 0},
      {"reads give a few bytes at a time", files, {"--short-reads=7"}, 0},
      {"a file that vanishes while the one fetcher is busy before it",
       [](const TempDir& d) {
         // In the walk's order: a's file, read a byte at a time; b's, which
         // vanishes as it is opened (the walk stops there); then c's.
         MakeDirs(d / "a/b/c");
         std::string slow;
         for (int i = 0; i < 200; ++i) slow += Rec(std::to_string(i)) + "\n";
         WriteFile(d / "a/EHI.slow", slow);
         WriteFile(d / "a/b/EHI.x.vanish", Rec("gone") + "\n");
         WriteFile(d / "a/b/c/EHI.unreached", Rec("no") + "\n");
       },
       {"--thread-limit=2", "--short-reads=1"}, 2},
  };
  for (const Case& c : cases) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers need descriptors of their own (see above).
    if (c.inChild) continue;
#endif
    auto run = [&](const char* mode) {
      // A tree of its own for each run: a run may change it.
      TempDir dir;
      c.tree(dir);
      std::vector<std::string> args = c.args;
      args.push_back(mode);
      RunResult r = RunProgram(EHIHARVEST_FAULT_PATH, dir.Path(), args, c.inChild);
      const std::string table = ReadFile(dir / "Orvitan.Tab");
      return std::pair(r, table);
    };
    const auto [alone, aloneTable] = run("--no-read-ahead");
    EXPECT_EQ(alone.Status, c.status) << c.name << ": " << alone.Out << alone.Err;
    for (const char* mode : {"", "--read-ahead-first", "--warm"}) {
      const auto [r, table] = run(mode);
      EXPECT_EQ(r.Status, alone.Status) << c.name << " " << mode;
      EXPECT_EQ(r.Out, alone.Out) << c.name << " " << mode;
      EXPECT_EQ(r.Err, alone.Err) << c.name << " " << mode;
      EXPECT_TRUE(table == aloneTable) << c.name << " " << mode << ": the tables differ";
    }
  }
}

// Reading a folder that fails part-way is the listing's error, not its end.
TEST_F(HarvestFaults, ListingErrorPartWayEndsTheRun) {
  MakeDirs(dir_ / "sub");
  WriteFile(dir_ / "sub/EHI.x", Rec("sub") + "\n");
  RunResult r = RunProgram(EHIHARVEST_FAULT_PATH, dir_.Path(), {"--listing-fault=3"});
  EXPECT_EQ(r.Status, 100);
  EXPECT_EQ(r.Out.rfind("Runtime error 100 at $", 0), 0u) << r.Out;
  ExpectEarlierTable();
}

}  // namespace
}  // namespace ehi
