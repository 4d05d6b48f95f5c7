#include "platform/image_codec.h"

#include <gif_lib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr int kJpegQuality = 75;
constexpr int kMaxJpegScans = 1000;  // a progressive JPEG with more scans is hostile

bool FitsLimits(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxImagePixels;
}

bool StartsWith(const std::string& bytes, const char* magic, size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), magic, length) == 0;
}

// ---- PNG ---------------------------------------------------------------------------------

struct PngSource {
  const std::string* bytes;
  size_t offset;
};

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->bytes->size() - source->offset) png_error(png, "truncated");
  std::memcpy(out, source->bytes->data() + source->offset, length);
  source->offset += length;
}

void PngFail(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void PngWarn(png_structp, png_const_charp) {}

// Reads into `rgba` (four bytes a pixel). Only plain data lives in this frame, since a
// failure inside libpng jumps back to the setjmp below.
bool ReadPng(png_structp png, png_infop info, PngSource* source, std::vector<uint8_t>* rgba,
             std::vector<png_bytep>* rows, int* width, int* height) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, source, PngRead);
  png_set_user_limits(png, 1u << 16, 1u << 16);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  if (!FitsLimits(w, h)) return false;
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4) return false;
  rgba->resize(static_cast<size_t>(w) * h * 4);
  rows->resize(h);
  for (png_uint_32 y = 0; y < h; ++y) (*rows)[y] = rgba->data() + static_cast<size_t>(y) * w * 4;
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

// Puts each pixel on a white background.
RgbImage FromRgba(const std::vector<uint8_t>& rgba, int width, int height) {
  RgbImage image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0, o = 0; i < rgba.size(); i += 4, o += 3) {
    const unsigned alpha = rgba[i + 3];
    for (int c = 0; c < 3; ++c) {
      image.pixels[o + c] = static_cast<uint8_t>((rgba[i + c] * alpha + 255 * (255 - alpha)) / 255);
    }
  }
  return image;
}

RgbImage DecodePng(const std::string& bytes) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn);
  if (!png) return {};
  png_infop info = png_create_info_struct(png);
  PngSource source{&bytes, 0};
  std::vector<uint8_t> rgba;
  std::vector<png_bytep> rows;
  int width = 0;
  int height = 0;
  const bool ok = info && ReadPng(png, info, &source, &rgba, &rows, &width, &height);
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  return ok ? FromRgba(rgba, width, height) : RgbImage{};
}

// ---- JPEG --------------------------------------------------------------------------------

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  bool cutShort;
};

void JpegFail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// Warnings are silent, but data that ends early makes the image unreadable.
void JpegMessage(j_common_ptr cinfo, int level) {
  auto* error = reinterpret_cast<JpegError*>(cinfo->err);
  if (level < 0 && error->manager.msg_code == JWRN_JPEG_EOF) error->cutShort = true;
}

void JpegProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    JpegFail(cinfo);
  }
}

void SetUpJpegErrors(JpegError* error) {
  jpeg_std_error(&error->manager);
  error->manager.error_exit = JpegFail;
  error->manager.emit_message = JpegMessage;
  error->cutShort = false;
}

bool ReadJpeg(jpeg_decompress_struct* cinfo, JpegError* error, jpeg_progress_mgr* progress,
              const std::string* bytes, RgbImage* image) {
  if (setjmp(error->jump)) return false;
  jpeg_create_decompress(cinfo);
  cinfo->progress = progress;
  jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(bytes->data()),
               static_cast<unsigned long>(bytes->size()));
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (!FitsLimits(cinfo->image_width, cinfo->image_height)) return false;
  cinfo->out_color_space = JCS_RGB;
  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 3) return false;
  image->width = static_cast<int>(cinfo->output_width);
  image->height = static_cast<int>(cinfo->output_height);
  image->pixels.resize(static_cast<size_t>(image->width) * image->height * 3);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row =
        image->pixels.data() + static_cast<size_t>(cinfo->output_scanline) * image->width * 3;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  return !error->cutShort;
}

bool WriteJpeg(jpeg_compress_struct* cinfo, JpegError* error, const RgbImage* image,
               unsigned char** out, unsigned long* size) {
  if (setjmp(error->jump)) return false;
  jpeg_create_compress(cinfo);
  jpeg_mem_dest(cinfo, out, size);
  cinfo->image_width = static_cast<JDIMENSION>(image->width);
  cinfo->image_height = static_cast<JDIMENSION>(image->height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, kJpegQuality, TRUE);
  cinfo->optimize_coding = TRUE;
  cinfo->smoothing_factor = 0;
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    // libjpeg takes non-const rows but only reads them.
    auto row = const_cast<JSAMPROW>(image->pixels.data() +
                                    static_cast<size_t>(cinfo->next_scanline) * image->width * 3);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

// ---- GIF ---------------------------------------------------------------------------------

int GifRead(GifFileType* gif, GifByteType* out, int length) {
  auto* source = static_cast<PngSource*>(gif->UserData);
  const size_t left = source->bytes->size() - source->offset;
  const size_t n = length < 0 ? 0 : std::min(left, static_cast<size_t>(length));
  std::memcpy(out, source->bytes->data() + source->offset, n);
  source->offset += n;
  return static_cast<int>(n);
}

// The transparent colour index named by a graphic control extension, or -1.
int TransparentIndex(int code, const GifByteType* block, int current) {
  if (code != GRAPHICS_EXT_FUNC_CODE || !block || block[0] < 4) return current;
  return (block[1] & 1) ? block[4] : -1;
}

bool SkipExtension(GifFileType* gif, int* transparent) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  *transparent = TransparentIndex(code, block, *transparent);
  while (block) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Reads the frame whose descriptor was just read onto the white canvas in `image`.
bool ReadGifFrame(GifFileType* gif, int transparent, RgbImage* image) {
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map || !FitsLimits(frame.Width, frame.Height)) return false;
  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  std::vector<int> order;  // the canvas row of each line as it arrives
  if (frame.Interlace) {
    const int starts[] = {0, 4, 2, 1};
    const int steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = starts[pass]; y < frame.Height; y += steps[pass]) order.push_back(y);
    }
  } else {
    for (int y = 0; y < frame.Height; ++y) order.push_back(y);
  }
  for (int row : order) {
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return false;
    const int y = frame.Top + row;
    if (y < 0 || y >= image->height) continue;
    for (int x = 0; x < frame.Width; ++x) {
      const int cx = frame.Left + x;
      const int index = line[static_cast<size_t>(x)];
      if (cx < 0 || cx >= image->width || index == transparent || index >= map->ColorCount) {
        continue;
      }
      uint8_t* out = image->pixels.data() + (static_cast<size_t>(y) * image->width + cx) * 3;
      out[0] = map->Colors[index].Red;
      out[1] = map->Colors[index].Green;
      out[2] = map->Colors[index].Blue;
    }
  }
  return true;
}

bool ReadGif(GifFileType* gif, RgbImage* image) {
  int transparent = -1;
  for (;;) {
    GifRecordType type = TERMINATE_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == EXTENSION_RECORD_TYPE) {
      if (!SkipExtension(gif, &transparent)) return false;
    } else if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
      // A screen of no size takes the first frame's.
      const int width = gif->SWidth > 0 ? gif->SWidth : gif->Image.Left + gif->Image.Width;
      const int height = gif->SHeight > 0 ? gif->SHeight : gif->Image.Top + gif->Image.Height;
      if (!FitsLimits(width, height)) return false;
      image->width = width;
      image->height = height;
      image->pixels.assign(static_cast<size_t>(width) * height * 3, 0xFF);
      return ReadGifFrame(gif, transparent, image);
    } else if (type == TERMINATE_RECORD_TYPE) {
      return false;  // no frame at all
    }
  }
}

RgbImage DecodeGif(const std::string& bytes) {
  PngSource source{&bytes, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, GifRead, &error);
  if (!gif) return {};
  RgbImage image;
  const bool ok = ReadGif(gif, &image);
  DGifCloseFile(gif, &error);
  return ok ? image : RgbImage{};
}

}  // namespace

RgbImage DecodeJpeg(const std::string& bytes) {
  jpeg_decompress_struct cinfo{};
  JpegError error{};
  SetUpJpegErrors(&error);
  cinfo.err = &error.manager;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = JpegProgress;
  RgbImage image;
  const bool ok = ReadJpeg(&cinfo, &error, &progress, &bytes, &image);
  jpeg_destroy_decompress(&cinfo);
  return ok ? image : RgbImage{};
}

RgbImage DecodeImage(const std::string& bytes) {
  if (StartsWith(bytes, "\x89PNG\r\n\x1a\n", 8)) return DecodePng(bytes);
  if (StartsWith(bytes, "\xFF\xD8\xFF", 3)) return DecodeJpeg(bytes);
  if (StartsWith(bytes, "GIF87a", 6) || StartsWith(bytes, "GIF89a", 6)) return DecodeGif(bytes);
  return {};
}

std::string EncodeJpeg(const RgbImage& image) {
  if (image.Empty() || image.pixels.size() != static_cast<size_t>(image.width) * image.height * 3) {
    return {};
  }
  jpeg_compress_struct cinfo{};
  JpegError error{};
  SetUpJpegErrors(&error);
  cinfo.err = &error.manager;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const bool ok = WriteJpeg(&cinfo, &error, &image, &out, &size);
  jpeg_destroy_compress(&cinfo);
  std::string jpeg = ok && out ? std::string(reinterpret_cast<char*>(out), size) : std::string();
  std::free(out);
  return jpeg;
}

std::string ConvertToJpeg(const std::string& bytes) {
  return EncodeJpeg(DecodeImage(bytes));
}
