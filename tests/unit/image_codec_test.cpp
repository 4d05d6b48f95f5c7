#include "platform/image_codec.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

struct Rgba {
  uint8_t r, g, b, a;
};
using Painter = std::function<Rgba(int x, int y)>;

// Left half red, right half blue, opaque.
Rgba RedBlue(int x, int, int width) {
  return x < width / 2 ? Rgba{220, 20, 20, 255} : Rgba{20, 20, 220, 255};
}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
void PngFlush(png_structp) {}

// A PNG made with libpng: colour type RGBA, RGB or grey, optionally interlaced.
std::string MakePng(int width, int height, int colorType, bool interlaced, const Painter& paint) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return std::string();
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, width, height, 8, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const int channels = colorType == PNG_COLOR_TYPE_RGBA  ? 4
                       : colorType == PNG_COLOR_TYPE_RGB ? 3
                                                         : 1;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * channels);
  std::vector<png_bytep> rows(height);
  for (int y = 0; y < height; ++y) {
    rows[y] = pixels.data() + static_cast<size_t>(y) * width * channels;
    for (int x = 0; x < width; ++x) {
      const Rgba p = paint(x, y);
      const uint8_t all[4] = {p.r, p.g, p.b, p.a};
      for (int c = 0; c < channels; ++c) rows[y][x * channels + c] = channels == 1 ? p.r : all[c];
    }
  }
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
  return length;
}

// A two-colour GIF made with giflib (index 0 red, 1 blue, 2 transparent when asked), the
// frame placed at its own offset on the screen.
std::string MakeGif(int screenW, int screenH, int frameW, int frameH, bool interlaced,
                    bool transparentTop) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifWrite, &error);
  GifColorType colours[4] = {{220, 20, 20}, {20, 20, 220}, {0, 0, 0}, {0, 0, 0}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, screenW, screenH, 2, 0, map);
  if (transparentTop) {
    const GifByteType control[4] = {1, 0, 0, 2};  // transparent index 2
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
  }
  EGifPutImageDesc(gif, 0, 0, frameW, frameH, interlaced, nullptr);
  std::vector<GifPixelType> line(frameW);
  // Interlaced frames are written in pass order; rows are painted by their canvas row.
  std::vector<int> order;
  if (interlaced) {
    const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = starts[pass]; y < frameH; y += steps[pass]) order.push_back(y);
  } else {
    for (int y = 0; y < frameH; ++y) order.push_back(y);
  }
  for (int y : order) {
    for (int x = 0; x < frameW; ++x) {
      line[x] = (transparentTop && y < frameH / 4) ? 2 : (x < frameW / 2 ? 0 : 1);
    }
    EGifPutLine(gif, line.data(), frameW);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// A greyscale (one component) JPEG made with libjpeg.
std::string MakeGreyJpeg(int width, int height) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(width);
  for (int x = 0; x < width; ++x) row[x] = x < width / 2 ? 40 : 200;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return out;
}

int JpegComponents(const std::string& jpeg) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
  jpeg_read_header(&cinfo, TRUE);
  const int components = cinfo.num_components;
  jpeg_destroy_decompress(&cinfo);
  return components;
}

std::array<int, 3> PixelAt(const RgbImage& image, int x, int y) {
  const uint8_t* p = image.pixels.data() + (static_cast<size_t>(y) * image.width + x) * 3;
  return {p[0], p[1], p[2]};
}

void ExpectNear(std::array<int, 3> actual, std::array<int, 3> expected) {
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(actual[c], expected[c], 40) << "channel " << c;
}

// Sets the 32-bit big-endian fields of a PNG's IHDR and mends its CRC.
std::string WithPngSize(std::string png, uint32_t width, uint32_t height) {
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<char>(v >> (24 - 8 * i));
  };
  put(16, width);
  put(20, height);
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
  put(29, static_cast<uint32_t>(crc));
  return png;
}

// Sets the frame size in the first start-of-frame marker of a JPEG.
std::string WithJpegSize(std::string jpeg, uint16_t width, uint16_t height) {
  const size_t sof = jpeg.find("\xFF\xC0");
  if (sof == std::string::npos) return std::string();
  jpeg[sof + 5] = static_cast<char>(height >> 8);
  jpeg[sof + 6] = static_cast<char>(height & 0xFF);
  jpeg[sof + 7] = static_cast<char>(width >> 8);
  jpeg[sof + 8] = static_cast<char>(width & 0xFF);
  return jpeg;
}

// Sets the size in the descriptor of the first frame of a GIF made by MakeGif without
// a control extension (the descriptor follows the screen and its four-colour table).
std::string WithGifFrameSize(std::string gif, uint16_t width, uint16_t height) {
  const size_t descriptor = 13 + 12;
  if (gif.size() < descriptor + 9 || gif[descriptor] != ',') return std::string();
  gif[descriptor + 5] = static_cast<char>(width & 0xFF);
  gif[descriptor + 6] = static_cast<char>(width >> 8);
  gif[descriptor + 7] = static_cast<char>(height & 0xFF);
  gif[descriptor + 8] = static_cast<char>(height >> 8);
  return gif;
}

RgbImage RedBlueImage(int width, int height) {
  RgbImage image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgba p = RedBlue(x, y, width);
      image.pixels.insert(image.pixels.end(), {p.r, p.g, p.b});
    }
  return image;
}

}  // namespace

// Every captcha format comes out as a colour JPEG of the same size with its colours kept;
// transparent parts land on white.
TEST(ImageCodec, CaptchaFormatsConvertToColourJpeg) {
  const int w = 136, h = 64;
  const Painter redBlue = [&](int x, int y) { return RedBlue(x, y, w); };
  const Painter fadedTop = [&](int x, int y) {
    return y < h / 4 ? Rgba{0, 0, 0, 0} : RedBlue(x, y, w);
  };
  struct Case {
    const char* name;
    std::string bytes;
    std::array<int, 3> left, right, top;
  };
  const std::array<int, 3> red{220, 20, 20}, blue{20, 20, 220}, white{255, 255, 255};
  const Case cases[] = {
      {"png rgb", MakePng(w, h, PNG_COLOR_TYPE_RGB, false, redBlue), red, blue, red},
      {"png rgba, transparent top", MakePng(w, h, PNG_COLOR_TYPE_RGBA, false, fadedTop), red, blue,
       white},
      {"png interlaced", MakePng(w, h, PNG_COLOR_TYPE_RGB, true, redBlue), red, blue, red},
      {"png grey",
       MakePng(w, h, PNG_COLOR_TYPE_GRAY, false, redBlue),
       {220, 220, 220},
       {20, 20, 20},
       {220, 220, 220}},
      {"gif", MakeGif(w, h, w, h, false, false), red, blue, red},
      {"gif interlaced, transparent top", MakeGif(w, h, w, h, true, true), red, blue, white},
      {"gif with a screen of no size", MakeGif(0, 0, w, h, false, false), red, blue, red},
      {"jpeg colour", EncodeJpeg(RedBlueImage(w, h)), red, blue, red},
      {"jpeg grey", MakeGreyJpeg(w, h), {40, 40, 40}, {200, 200, 200}, {40, 40, 40}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    const std::string jpeg = ConvertToJpeg(c.bytes);
    ASSERT_FALSE(jpeg.empty());
    EXPECT_EQ(JpegComponents(jpeg), 3);
    const RgbImage shown = DecodeJpeg(jpeg);
    ASSERT_EQ(shown.width, w);
    ASSERT_EQ(shown.height, h);
    ASSERT_EQ(shown.pixels.size(), static_cast<size_t>(w) * h * 3);
    ExpectNear(PixelAt(shown, w / 4, h * 3 / 4), c.left);
    ExpectNear(PixelAt(shown, w * 3 / 4, h * 3 / 4), c.right);
    ExpectNear(PixelAt(shown, w / 4, h / 8), c.top);
  }
}

// The encoder's settings: a reference made here with libjpeg at quality 75, optimised
// Huffman tables and no smoothing gives the very same bytes.
TEST(ImageCodec, JpegIsQuality75WithOptimisedTables) {
  const RgbImage image = RedBlueImage(48, 32);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = 48;
  cinfo.image_height = 32;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 75, TRUE);
  cinfo.optimize_coding = TRUE;
  cinfo.smoothing_factor = 0;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto row = const_cast<JSAMPROW>(image.pixels.data() + cinfo.next_scanline * 48 * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const std::string reference(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  EXPECT_EQ(EncodeJpeg(image), reference);
  EXPECT_EQ(EncodeJpeg(RgbImage{}), "");
}

// Unreadable, cut-short and oversized images give no picture, and never a crash or a
// giant allocation.
TEST(ImageCodec, HostileImagesGiveNothing) {
  const Painter grey = [](int, int) { return Rgba{128, 128, 128, 255}; };
  const std::string png = MakePng(136, 64, PNG_COLOR_TYPE_RGB, false, grey);
  const std::string jpeg = EncodeJpeg(RedBlueImage(136, 64));
  const std::string gif = MakeGif(136, 64, 136, 64, false, false);
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"an error page", "<html><body>404 Not Found</body></html>"},
      {"png signature only", png.substr(0, 8)},
      {"png cut in its data", png.substr(0, png.size() / 2)},
      {"png without its end", png.substr(0, png.size() - 12)},
      {"png with a corrupted chunk", std::string(png).replace(40, 4, "\xDE\xAD\xBE\xEF")},
      {"png claiming 30000x30000", WithPngSize(png, 30000, 30000)},
      {"png claiming 2^31 wide", WithPngSize(png, 0x7FFFFFFF, 1)},
      {"jpeg cut in its scan data", jpeg.substr(0, (jpeg.find("\xFF\xDA") + jpeg.size()) / 2)},
      {"jpeg without its end marker", jpeg.substr(0, jpeg.size() - 2)},
      {"jpeg header only", jpeg.substr(0, 20)},
      {"jpeg claiming 60000x60000", WithJpegSize(jpeg, 60000, 60000)},
      {"gif cut in half", gif.substr(0, gif.size() / 2)},
      {"gif without any frame", gif.substr(0, 13 + 12) + ";"},
      {"gif screen 65535x65535", MakeGif(65535, 65535, 4, 4, false, false)},
      {"gif frame 65535x65535", WithGifFrameSize(gif, 65535, 65535)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(DecodeImage(c.bytes).Empty());
    EXPECT_EQ(ConvertToJpeg(c.bytes), "");
  }
  EXPECT_TRUE(DecodeJpeg(WithJpegSize(jpeg, 60000, 60000)).Empty());
  EXPECT_TRUE(DecodeJpeg(png).Empty());
}
