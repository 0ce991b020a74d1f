#ifndef ZarvikEngine_Trade_ImageDecoding_h
#define ZarvikEngine_Trade_ImageDecoding_h

#include <optional>
#include <span>
#include <string_view>

#include "ZarvikEngine/Trade/ImageData.h"

namespace ZarvikEngine::Trade {

/* Decodes an image file held in memory (PNG, JPEG, BMP, TGA, GIF, PSD, HDR, PIC or PNM) into
   R8/RG8/RGB8/RGBA8 Unorm pixels, R16/…/RGBA16 Unorm for 16-bit files, R32F/…/RGBA32F for
   HDR, rows tightly packed with an alignment of 1 and the first row at the bottom. Prints an
   error naming what (a file name or a description) and the decoder's reason, and returns
   nothing, for bytes it can't decode. */
std::optional<ImageData2D> decodeImage(std::span<const char> data, std::string_view what);

} // namespace ZarvikEngine::Trade

#endif
