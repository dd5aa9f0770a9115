// Decoding of the engine's PNG frames into Bitmaps.
//
// Handles what the engine produces: 8-bit RGB or RGBA, not interlaced, any
// of the five row filters. The colour values are taken as they are: the
// engine writes premultiplied alpha on transparent pages, which is what
// OnPaint delivers. One decoder per thread; it keeps its buffers between
// frames.
#ifndef CEF_ENGINE_PNG_DECODER_H_
#define CEF_ENGINE_PNG_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cef/engine/bitmap.h"

struct libdeflate_decompressor;

namespace cef_engine {

class PngDecoder {
 public:
  PngDecoder();
  ~PngDecoder();
  PngDecoder(const PngDecoder&) = delete;
  PngDecoder& operator=(const PngDecoder&) = delete;

  // Decodes png into *out, keeping at most max_width x max_height pixels
  // of the top-left corner (larger images are cropped). False on anything
  // malformed or unsupported, with the reason in error(); *out is then
  // unspecified.
  bool Decode(const uint8_t* png, size_t size, int max_width, int max_height, Bitmap* out);

  const std::string& error() const { return error_; }

 private:
  bool Fail(const char* why);

  libdeflate_decompressor* inflater_;
  std::vector<uint8_t> compressed_;
  std::vector<uint8_t> raw_;
  std::string error_;
};

// Decodes standard base64 (with or without padding) into *out; false on a
// character outside the alphabet.
bool DecodeBase64(const char* text, size_t size, std::vector<uint8_t>* out);

}  // namespace cef_engine

#endif  // CEF_ENGINE_PNG_DECODER_H_
