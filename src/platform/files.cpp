#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/codepage.h"

std::string NativePath(const std::string& path) {
  std::string slashed;
  slashed.reserve(path.size());
  // A 0x5C that trails a lead byte is part of a character, not a separator.
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c >= 0x80 && i + 1 < path.size()) {
      slashed.push_back(path[i]);
      slashed.push_back(path[++i]);
    } else {
      slashed.push_back(c == '\\' ? '/' : path[i]);
    }
  }
  return GbkToUtf8(slashed);
}

std::string FromNativePath(const std::string& nativePath) { return Utf8ToGbkText(nativePath); }

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0;
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool DeleteFileAt(const std::string& path) {
  return !path.empty() && ::unlink(NativePath(path).c_str()) == 0;
}

bool RenameFileNoReplace(const std::string& from, const std::string& to) {
  const std::string src = NativePath(from), dst = NativePath(to);
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing target.
  if (::link(src.c_str(), dst.c_str()) != 0) return false;
  ::unlink(src.c_str());
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *bytes = content.str();
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

void SetHiddenAttribute(const std::string&) {}

bool SetCurrentFolder(const std::string& path) { return ::chdir(NativePath(path).c_str()) == 0; }

std::string ProgramFolder() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string exe(buffer, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return FromNativePath(slash == 0 ? "/" : exe.substr(0, slash));
}

namespace {

// Reads XDG_DOCUMENTS_DIR="..." from user-dirs.dirs, expanding a leading $HOME.
std::string DocumentsFromUserDirs(const std::string& home) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config = configHome && *configHome ? configHome : home + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
    return value;
  }
  return {};
}

}  // namespace

std::string DocumentsFolder() {
  const char* homeEnv = std::getenv("HOME");
  if (!homeEnv || !*homeEnv) return {};
  const std::string home = homeEnv;
  std::string folder = DocumentsFromUserDirs(home);
  if (folder.empty()) folder = home + "/Documents";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return FromNativePath(folder);
}

AppendFile::~AppendFile() { Close(); }

bool AppendFile::Open(const std::string& path) {
  Close();
  fd_ = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool AppendFile::Append(const char* data, size_t size) {
  if (fd_ < 0) return false;
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void AppendFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}
