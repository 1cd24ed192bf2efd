// Helpers shared by tests: temporary directories and whole-file access.
#pragma once

#include <string>

namespace ehi::test {

/// A fresh temporary directory, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  /// The directory's path, without a trailing "/".
  const std::string& Path() const { return path_; }
  /// Path of `name` inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Writes `content` to `path`, creating or replacing the file.
void WriteFile(const std::string& path, const std::string& content);
/// The whole content of `path` ("" when missing).
std::string ReadFile(const std::string& path);
/// Creates a directory (and its parents).
void MakeDirs(const std::string& path);

/// Changes the working directory for the lifetime of the object.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();

 private:
  std::string old_;
};

}  // namespace ehi::test
