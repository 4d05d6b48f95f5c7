// Image decoding and JPEG encoding in memory (libpng, libjpeg-turbo, giflib). Images that
// cannot be read, are cut short, or claim more than kMaxImagePixels give no image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint64_t kMaxImagePixels = uint64_t{1} << 22;  // 2048 x 2048

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3 bytes, rows top to bottom
  bool Empty() const { return pixels.empty(); }
};

// A PNG, JPEG or GIF (the first frame), recognised by its content; transparent parts
// are put on white.
RgbImage DecodeImage(const std::string& bytes);

// A colour JPEG (three components) at quality 75 with optimised Huffman tables and no
// smoothing; empty for an empty image.
std::string EncodeJpeg(const RgbImage& image);

// DecodeImage, then EncodeJpeg; empty when the bytes hold no readable image.
std::string ConvertToJpeg(const std::string& bytes);

// Decodes a JPEG for display.
RgbImage DecodeJpeg(const std::string& bytes);
