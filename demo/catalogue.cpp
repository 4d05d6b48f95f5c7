#include "catalogue.h"

#include <cstdio>
#include <iterator>

#include "demo_content.h"

namespace {

const DemoFile kFiles[] = {
    {10001, "青杉测试文档.zip", "12.5 MB", 13107200ULL, false, true},
    {10002, "demo-free.tar.gz", "3.2 MB", 3355443ULL, true, true},
    {10003, "大文件镜像.iso", "2.5 GB", 2684354560ULL, false, true},
    {10004, "notes.txt", "1 KB", 1024ULL, false, true},
    {10005, "无链接文件.rar", "8 MB", 8388608ULL, false, false},
    {10006, "bench-1g.bin", "1 GB", 1073741824ULL, true, true},
};

}  // namespace

const DemoFile* FindDemoFile(uint32_t id) {
  for (const DemoFile& file : kFiles) {
    if (file.id == id) return &file;
  }
  return nullptr;
}

const DemoFile* FindDemoFile(const std::string& idText) {
  if (idText.empty() || idText.size() > 9) return nullptr;
  uint32_t id = 0;
  for (char c : idText) {
    if (c < '0' || c > '9') return nullptr;
    id = id * 10 + static_cast<uint32_t>(c - '0');
  }
  return FindDemoFile(id);
}

const DemoFile* DemoFilesBegin() {
  return std::begin(kFiles);
}
const DemoFile* DemoFilesEnd() {
  return std::end(kFiles);
}

std::string HashKeyOf(const DemoFile& file) {
  // Stable across runs so that a page fetched before a restart still logs in.
  const uint64_t a = demo_content_detail::Mix64(0x71696E677368616EULL ^ file.id);
  const uint64_t b = demo_content_detail::Mix64(a ^ 0x6861736878ULL);
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  return text;
}
