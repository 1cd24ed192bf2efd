// The POSIX side of the test helpers: child processes, pseudo-terminals.
#include "testutil.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace ehi::test {

std::string Captured(const std::string& expected) { return expected; }

void EmptyStandardInput() {
  int devnull = ::open("/dev/null", O_RDONLY);
  ::dup2(devnull, 0);
  ::close(devnull);
}

std::string ReachableCopy(const std::string& exe) {
  static TempDir home;  // removed when the test binary ends
  std::error_code ec;
  std::filesystem::permissions(home.Path(), std::filesystem::perms(0755), ec);
  const std::string copy = home / std::filesystem::path(exe).filename().string();
  if (!std::filesystem::exists(copy))
    std::filesystem::copy_file(exe, copy, ec);
  return ec || !ReachableByOthers(home.Path()) ? "" : copy;
}

bool ReachableByOthers(const std::string& dir) {
  for (std::filesystem::path p = dir; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    struct stat st;
    if (stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

std::string NoLeakCheckAtExit() {
  const char* before = std::getenv("ASAN_OPTIONS");
  const std::string was = before ? before : "";
  setenv("ASAN_OPTIONS", (was.empty() ? "" : was + ":").append("detect_leaks=0").c_str(), 1);
  return was;
}

int AsOrdinaryUser(const std::function<int()>& fn) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 ||
                           setuid(kNobody) != 0))
      _exit(255);
    _exit(fn() & 0xFF);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
    return -1;
  return WEXITSTATUS(status);
}

namespace {

// In a forked child: becomes `exe` with `args`, or ends with 127.
[[noreturn]] void Exec(const std::string& exe, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(exe.c_str(), argv.data());
  _exit(127);
}

}  // namespace

RunResult RunProgram(const std::string& exe, const std::string& dir,
                     const std::vector<std::string>& args,
                     const std::function<void()>& inChild) {
  // Close-on-exec everywhere: the program gets standard input, output and
  // error and no other descriptor of ours.
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setsid();
    int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    dup2(devnull, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(devnull);
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (inChild) inChild();
    alarm(60);
    Exec(exe, args);
  }
  close(out[1]);
  close(err[1]);
  RunResult r;
  struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.Out, &r.Err};
  int open_ = 2;
  while (open_ > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[65536];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, size_t(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

PtyProgram::PtyProgram(const std::string& exe, const std::vector<std::string>& args,
                       const std::string& dir, int cols, int rows) {
  struct winsize ws = {static_cast<unsigned short>(rows), static_cast<unsigned short>(cols), 0, 0};
  Pid = forkpty(&Master, nullptr, nullptr, &ws);
  if (Pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    Exec(exe, args);
  }
}

PtyProgram::~PtyProgram() {
  if (Pid > 0 && WaitStatus < 0) {
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
  }
  if (Master >= 0) close(Master);
}

bool PtyProgram::ReadUntil(const std::string& needle, int ms, size_t from) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (Out.find(needle, from) == std::string::npos) {
    int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                       end - std::chrono::steady_clock::now())
                       .count());
    if (left <= 0) return false;
    struct pollfd p = {Master, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    char buf[4096];
    ssize_t n = read(Master, buf, sizeof buf);
    if (n <= 0) return Out.find(needle, from) != std::string::npos;
    Out.append(buf, size_t(n));
    // A request split across reads is found once its last byte is in.
    const std::string request = "\x1b[5n";
    for (size_t at; (at = Out.find(request, answered_)) != std::string::npos;) {
      answered_ = at + request.size();
      Type("\x1b[0n");
    }
    if (Out.size() >= request.size()) {
      answered_ = std::max(answered_, Out.size() - (request.size() - 1));
    }
  }
  return true;
}

void PtyProgram::Finish() {
  // Everything the program writes, to the end of its output (the terminal
  // reads as ended once the program has closed it), then its status.
  ReadUntil("\x01never\x01", 30000);
  if (!WaitForEnd(30000)) {
    kill(Pid, SIGKILL);
    waitpid(Pid, &WaitStatus, 0);
  }
}

void PtyProgram::Type(const std::string& bytes) {
  if (write(Master, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
    throw std::runtime_error("writing to the terminal failed");
}

void PtyProgram::Resize(int cols, int rows) {
  struct winsize ws = {static_cast<unsigned short>(rows), static_cast<unsigned short>(cols), 0, 0};
  ioctl(Master, TIOCSWINSZ, &ws);
}

bool PtyProgram::WaitForEnd(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(Pid, &WaitStatus, WNOHANG) == Pid) return true;
    usleep(10000);
  }
  WaitStatus = -1;
  return false;
}

std::string SourceLineOf(const std::string& exe, const std::string& hexOffset) {
  RunResult r = RunProgram("/usr/bin/addr2line", ".", {"-e", exe, "0x" + hexOffset});
  return r.Status == 0 ? r.Out : "";
}

bool HasDefaultModes(int master) {
  int m, s;
  struct termios want = {}, now = {};
  if (openpty(&m, &s, nullptr, nullptr, nullptr) != 0) return false;
  tcgetattr(s, &want);
  close(m);
  close(s);
  if (tcgetattr(master, &now) != 0) return false;
  return now.c_lflag == want.c_lflag && now.c_iflag == want.c_iflag &&
         now.c_oflag == want.c_oflag;
}

}  // namespace ehi::test
