// Windows: replacing a file all or nothing, and the rule for following links
// that anybody else may have planted.
#include "platform_win32.h"
#include "testhooks.h"

#include <aclapi.h>

#include <memory>
#include <string>
#include <vector>

namespace ehi::sys {

struct Replacement {
  HANDLE File = INVALID_HANDLE_VALUE;
  std::wstring Target;   // the file replaced (verbatim), links resolved, spelt as on disk
  std::wstring Dir;      // its folder with a trailing separator
  std::wstring Temp;     // the temporary file's name
  bool Exists = false;   // the target was there when the job began
  DWORD Attributes = 0;  // the target's attributes then
  bool InPlace = false;  // the target itself is being rewritten
};

namespace {

bool namedOnly = false;
void (*whileNamed)() = nullptr;

// --- Ctrl-C and Ctrl-Break while the temporary file exists ----------------
// The handler runs on a thread of its own: it marks the temporary file for
// deletion (it goes when the process's handles close) and lets the process
// end as it would have.
CRITICAL_SECTION pendingLock;
std::wstring* pendingName = nullptr;

BOOL WINAPI OnBreak(DWORD) {
  ::EnterCriticalSection(&pendingLock);
  if (pendingName) ::DeleteFileW(pendingName->c_str());
  ::LeaveCriticalSection(&pendingLock);
  return FALSE;
}

void SetPending(const std::wstring* name) {
  static bool installed = false;
  if (!installed) {
    installed = true;
    ::InitializeCriticalSection(&pendingLock);
    ::SetConsoleCtrlHandler(OnBreak, TRUE);
  }
  ::EnterCriticalSection(&pendingLock);
  delete pendingName;
  pendingName = name ? new std::wstring(*name) : nullptr;
  ::LeaveCriticalSection(&pendingLock);
}

// Whether `sid` is this user's, the administrators' or the system's.
bool TrustedOwner(PSID sid) {
  if (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
      ::IsWellKnownSid(sid, WinLocalSystemSid))
    return true;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> buf(size ? size : 1);
  bool mine = false;
  if (::GetTokenInformation(token, TokenUser, buf.data(), size, &size)) {
    auto* user = reinterpret_cast<TOKEN_USER*>(buf.data());
    mine = ::EqualSid(user->User.Sid, sid) != 0;
  }
  ::CloseHandle(token);
  return mine;
}

// Follows a link at `target` (verbatim) to the file it names, as far as the
// rule of MayFollowLinks allows; false when it does not.
bool Resolve(std::wstring& target) {
  const DWORD attr = ::GetFileAttributesW(target.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return true;  // nothing there yet
  if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  HANDLE link = ::CreateFileW(target.c_str(), READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (link == INVALID_HANDLE_VALUE) return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const bool trusted = ::GetSecurityInfo(link, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                         &owner, nullptr, nullptr, nullptr, &sd) == ERROR_SUCCESS &&
                       owner && TrustedOwner(owner);
  if (sd) ::LocalFree(sd);
  ::CloseHandle(link);
  if (!trusted) return false;
  // The file the link leads to, which must exist (no dangling link).
  HANDLE file = ::CreateFileW(target.c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::wstring final(MAX_PATH, L'\0');
  auto finalPath = [&] {
    return ::GetFinalPathNameByHandleW(file, final.data(), DWORD(final.size()),
                                       FILE_NAME_NORMALIZED);
  };
  DWORD n = finalPath();
  if (n >= final.size()) {
    final.resize(n);
    n = finalPath();
  }
  ::CloseHandle(file);
  if (n == 0 || n >= final.size()) return false;
  final.resize(n);
  target = final;
  return true;
}

// The name of an existing file as the file system spells it (its letter
// case may differ from the name asked for): a replacement keeps it.
std::wstring AsSpeltOnDisk(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                   nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return path;
  ::FindClose(find);
  const size_t cut = path.rfind(L'\\');
  return path.substr(0, cut == std::wstring::npos ? 0 : cut + 1) + data.cFileName;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes of the table that a new table takes over: the archive bit
// is the system's to set on a changed file, read-only never comes here.
constexpr DWORD kKeptOnReplace =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// The attributes SetFileAttributes takes.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Creates the temporary file under a fresh hidden name beside the target.
// A name that is taken (a stale file of an earlier run, say) is never an
// error: the next one is tried. Returns 0 or the Windows error.
DWORD CreateTemporary(Replacement& r) {
  static unsigned counter = 0;
  const std::wstring stem =
      r.Dir + L".tablewrite-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
  for (int tries = 0; tries < 100000; ++tries) {
    std::wstring name = stem + std::to_wstring(++counter) + L".tmp";
    r.File = ::CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (r.File != INVALID_HANDLE_VALUE) {
      r.Temp = name;
      SetPending(&r.Temp);
      return 0;
    }
    const DWORD e = ::GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return e;
  }
  return ERROR_FILE_EXISTS;
}

void Discard(Replacement& r) {
  if (r.File != INVALID_HANDLE_VALUE) ::CloseHandle(r.File);
  r.File = INVALID_HANDLE_VALUE;
  if (!r.Temp.empty()) ::DeleteFileW(r.Temp.c_str());
  SetPending(nullptr);
}

// The replaced table's own attributes (hidden, system) on the new one, as
// much as the system lets them be set.
void KeepAttributes(const Replacement& r) {
  const DWORD now = ::GetFileAttributesW(r.Target.c_str());
  if (now == INVALID_FILE_ATTRIBUTES) return;
  const DWORD wanted = ((now & ~kKeptOnReplace) | (r.Attributes & kKeptOnReplace)) & kSettable;
  if (wanted != (now & kSettable))
    ::SetFileAttributesW(r.Target.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

bool MayFollowLinks(const std::string& path) {
  std::wstring target;
  DWORD e = 0;
  return WidePath(path, target, e) && Resolve(target);
}

void SetReplaceHooksForTesting(bool named, void (*hook)()) {
  namedOnly = named;  // every temporary file has a name here
  whileNamed = hook;
}

Handle BeginReplace(const std::string& name, Replacement*& job, int& error) {
  job = nullptr;
  auto r = std::make_unique<Replacement>();
  DWORD e = 0;
  if (!WidePath(name, r->Target, e)) {
    error = MapWinError(e, rte::kAccessDenied);
    return kNoHandle;
  }
  if (!Resolve(r->Target)) {
    error = rte::kAccessDenied;
    return kNoHandle;
  }
  r->Attributes = ::GetFileAttributesW(r->Target.c_str());
  r->Exists = r->Attributes != INVALID_FILE_ATTRIBUTES;
  if (r->Exists && (r->Attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    error = rte::kAccessDenied;
    return kNoHandle;
  }
  if (r->Exists) r->Target = AsSpeltOnDisk(r->Target);
  const size_t slash = r->Target.rfind(L'\\');
  if (slash != std::wstring::npos) r->Dir = r->Target.substr(0, slash + 1);

  e = CreateTemporary(*r);
  if (e == 0 && whileNamed) whileNamed();
  if (e == ERROR_ACCESS_DENIED && r->Exists) {
    // Nothing can be created beside the table, but the table itself may be
    // written: rewrite it in place (the one case that is not all or nothing).
    r->File = ::CreateFileW(r->Target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (r->File == INVALID_HANDLE_VALUE) e = ::GetLastError();
    else if (::GetFileType(r->File) != FILE_TYPE_DISK) e = ERROR_ACCESS_DENIED;
    else {
      e = 0;
      r->InPlace = true;
    }
  }
  if (e != 0) {
    if (r->File != INVALID_HANDLE_VALUE) ::CloseHandle(r->File);
    error = MapWinError(e, rte::kAccessDenied);
    return kNoHandle;
  }
  error = 0;
  job = r.release();
  return FromWin(job->File);
}

bool CommitReplace(Replacement* job, int& error) {
  std::unique_ptr<Replacement> r(job);
  bool ok = !r->InPlace || ::SetEndOfFile(r->File);
  ok = ok && ::FlushFileBuffers(r->File);
  const bool closed = ::CloseHandle(r->File) != 0;
  r->File = INVALID_HANDLE_VALUE;
  if (!ok || !closed) {
    error = rte::kDiskWrite;
    Discard(*r);
    return false;
  }
  if (r->InPlace) return true;
  // The table keeps its name as spelt on disk, its security and its
  // attributes when it is replaced; a new one is moved in place, both
  // written through to the disk.
  ::SetFileAttributesW(r->Temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  bool moved = r->Exists && ::ReplaceFileW(r->Target.c_str(), r->Temp.c_str(), nullptr,
                                           REPLACEFILE_WRITE_THROUGH, nullptr, nullptr);
  if (!moved)
    moved = ::MoveFileExW(r->Temp.c_str(), r->Target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!moved) {
    error = MapWinError(::GetLastError(), rte::kDiskWrite);
    Discard(*r);
    return false;
  }
  if (r->Exists) KeepAttributes(*r);
  SetPending(nullptr);
  return true;
}

void AbortReplace(Replacement* job) {
  std::unique_ptr<Replacement> r(job);
  if (r) Discard(*r);
}

}  // namespace ehi::sys
