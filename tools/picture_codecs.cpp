#include "tools/picture_codecs.h"

#include "tools/lbl_modules.h"

namespace lbl {

namespace {

bool Decode(const char* file, const char* entry, const uint8_t* data, size_t size, lblview::RgbImage* out,
            std::string* error, uint64_t maxPixels) {
  auto codec = LoadLblModule<PictureCodec>(file, entry, error);
  return codec && codec->decode(data, size, out, error, maxPixels);
}

}  // namespace

bool DecodePngPicture(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
                      uint64_t maxPixels) {
  return Decode("lblpng.so", "LblPngCodec", data, size, out, error, maxPixels);
}

bool DecodeJpegPicture(const uint8_t* data, size_t size, lblview::RgbImage* out, std::string* error,
                       uint64_t maxPixels) {
  return Decode("lbljpeg.so", "LblJpegCodec", data, size, out, error, maxPixels);
}

}  // namespace lbl
