// Files and folders. Paths are GBK texts in which both "\" and "/" separate pieces,
// as they do for the Windows file API; NativePath turns them into Linux paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

std::string NativePath(const std::string& path);  // "\" → "/", GBK → UTF-8
std::string FromNativePath(const std::string& nativePath);  // UTF-8 → GBK

bool FileExists(const std::string& path);
int64_t FileSize(const std::string& path);  // from the directory entry; -1 when there is none
bool DeleteFileAt(const std::string& path);
// Renames without ever replacing an existing target.
bool RenameFileNoReplace(const std::string& from, const std::string& to);
bool ReadWholeFile(const std::string& path, std::string* bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Linux has no hidden attribute; the call exists so callers read as they should.
void SetHiddenAttribute(const std::string& path);
bool SetCurrentFolder(const std::string& path);

// The folder of the running program file, without a trailing separator.
std::string ProgramFolder();
// The user's documents folder (XDG_DOCUMENTS_DIR, else $HOME/Documents), never
// created, without a trailing separator; empty when none can be named.
std::string DocumentsFolder();

// A file opened once for appending; every write goes to its end.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  bool Open(const std::string& path);  // creates it when missing, keeps its content
  bool IsOpen() const { return fd_ >= 0; }
  bool Append(const char* data, size_t size);
  void Close();

 private:
  int fd_ = -1;
};
