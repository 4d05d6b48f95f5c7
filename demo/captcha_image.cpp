#include "captcha_image.h"

#include <png.h>

#include <array>
#include <random>
#include <vector>

namespace {

constexpr int kGlyphColumns = 5;
constexpr int kGlyphRows = 7;
constexpr int kScale = 4;

struct Glyph {
  char character;
  const char* rows[kGlyphRows];
};

// A 5×7 font for the characters a code may hold ('#' is ink).
const Glyph kFont[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
};

const Glyph* FindGlyph(char c) {
  for (const Glyph& glyph : kFont) {
    if (glyph.character == c) return &glyph;
  }
  return nullptr;
}

using Rgb = std::array<unsigned char, 3>;

class Canvas {
 public:
  Canvas() : pixels_(kCaptchaWidth * kCaptchaHeight * 3) {}

  void Put(int x, int y, const Rgb& colour) {
    if (x < 0 || y < 0 || x >= kCaptchaWidth || y >= kCaptchaHeight) return;
    unsigned char* p = &pixels_[(y * kCaptchaWidth + x) * 3];
    p[0] = colour[0];
    p[1] = colour[1];
    p[2] = colour[2];
  }
  const unsigned char* Row(int y) const { return &pixels_[y * kCaptchaWidth * 3]; }

 private:
  std::vector<unsigned char> pixels_;
};

void DrawGlyph(Canvas& canvas, const Glyph& glyph, int left, int top, int slant, const Rgb& ink) {
  for (int row = 0; row < kGlyphRows; ++row) {
    // A slight slant: rows above the middle move one way, rows below the other.
    const int shift = slant * (kGlyphRows / 2 - row);
    for (int column = 0; column < kGlyphColumns; ++column) {
      if (glyph.rows[row][column] != '#') continue;
      for (int dy = 0; dy < kScale; ++dy) {
        for (int dx = 0; dx < kScale; ++dx) {
          canvas.Put(left + column * kScale + dx + shift, top + row * kScale + dy, ink);
        }
      }
    }
  }
}

void DrawNoise(Canvas& canvas, std::mt19937_64& random) {
  std::uniform_int_distribution<int> light(170, 225);
  std::uniform_int_distribution<int> anyX(0, kCaptchaWidth - 1);
  std::uniform_int_distribution<int> anyY(0, kCaptchaHeight - 1);
  for (int i = 0; i < 220; ++i) {
    const Rgb dot{static_cast<unsigned char>(light(random)),
                  static_cast<unsigned char>(light(random)),
                  static_cast<unsigned char>(light(random))};
    canvas.Put(anyX(random), anyY(random), dot);
  }
  for (int line = 0; line < 3; ++line) {
    const Rgb colour{static_cast<unsigned char>(light(random)),
                     static_cast<unsigned char>(light(random)),
                     static_cast<unsigned char>(light(random))};
    const int y0 = anyY(random);
    const int y1 = anyY(random);
    for (int x = 0; x < kCaptchaWidth; ++x) {
      canvas.Put(x, y0 + (y1 - y0) * x / kCaptchaWidth, colour);
    }
  }
}

void AppendToString(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

std::string EncodePng(const Canvas& canvas) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return {};
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendToString, nullptr);
  png_set_IHDR(png, info, kCaptchaWidth, kCaptchaHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kCaptchaHeight; ++y) {
    png_write_row(png, const_cast<png_bytep>(canvas.Row(y)));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace

std::string RenderCaptchaPng(const std::string& code, uint64_t seed) {
  std::mt19937_64 random(seed);
  Canvas canvas;
  std::uniform_int_distribution<int> paper(238, 252);
  for (int y = 0; y < kCaptchaHeight; ++y) {
    for (int x = 0; x < kCaptchaWidth; ++x) {
      const unsigned char shade = static_cast<unsigned char>(paper(random));
      canvas.Put(x, y, {shade, shade, static_cast<unsigned char>(shade - 6)});
    }
  }
  DrawNoise(canvas, random);

  std::uniform_int_distribution<int> dark(20, 110);
  std::uniform_int_distribution<int> jitterX(0, 4);
  std::uniform_int_distribution<int> jitterY(-7, 7);
  std::uniform_int_distribution<int> slant(-1, 1);
  const int cell = 30;
  const int glyphHeight = kGlyphRows * kScale;
  for (size_t i = 0; i < code.size(); ++i) {
    const Glyph* glyph = FindGlyph(code[i]);
    if (glyph == nullptr) continue;
    const Rgb ink{static_cast<unsigned char>(dark(random)),
                  static_cast<unsigned char>(dark(random)),
                  static_cast<unsigned char>(dark(random))};
    const int left = 10 + static_cast<int>(i) * cell + jitterX(random);
    const int top = (kCaptchaHeight - glyphHeight) / 2 + jitterY(random);
    DrawGlyph(canvas, *glyph, left, top, slant(random), ink);
  }
  return EncodePng(canvas);
}
