// The bytes of every demo file, computed from the file's ID and the offset, so
// that neither the service nor a test has to store a file. Shared by the demo
// service and the tests that check a download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace demo_content_detail {

constexpr uint64_t kBlockSize = 64 * 1024;
constexpr uint64_t kWordsPerBlock = kBlockSize / 8;

inline uint64_t Mix64(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Fills a whole 64 KiB block from four xorshift generators seeded by the
// block's own seed, so every block is independent of the others; four lanes
// keep the processor busy, which makes a block far cheaper than a network write.
inline void FillBlock(uint32_t fileId, uint64_t blockIndex, unsigned char* block) {
  const uint64_t seed = Mix64((static_cast<uint64_t>(fileId) << 40) ^ blockIndex);
  uint64_t lanes[4];
  for (int lane = 0; lane < 4; ++lane) {
    lanes[lane] = Mix64(seed + (lane + 1) * 0x9E3779B97F4A7C15ULL) | 1;
  }
  for (uint64_t i = 0; i < kWordsPerBlock; i += 4) {
    for (int lane = 0; lane < 4; ++lane) {
      uint64_t x = lanes[lane];
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      lanes[lane] = x;
      std::memcpy(block + (i + lane) * 8, &x, 8);
    }
  }
}

}  // namespace demo_content_detail

// Writes the n bytes of file fileId that start at offset into out.
inline void DemoContent(uint32_t fileId, uint64_t offset, char* out, size_t n) {
  using namespace demo_content_detail;
  unsigned char scratch[kBlockSize];
  auto* dest = reinterpret_cast<unsigned char*>(out);
  while (n > 0) {
    const uint64_t blockIndex = offset / kBlockSize;
    const uint64_t within = offset % kBlockSize;
    const size_t take =
        static_cast<size_t>(kBlockSize - within) < n ? static_cast<size_t>(kBlockSize - within) : n;
    if (within == 0 && take == kBlockSize) {
      FillBlock(fileId, blockIndex, dest);
    } else {
      FillBlock(fileId, blockIndex, scratch);
      std::memcpy(dest, scratch + within, take);
    }
    dest += take;
    offset += take;
    n -= take;
  }
}
