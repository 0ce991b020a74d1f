#ifndef ZarvikEngine_Trade_StbResizeImageConverter_h
#define ZarvikEngine_Trade_StbResizeImageConverter_h

#include "ZarvikEngine/Trade/AbstractImageConverter.h"

namespace ZarvikEngine::Trade {

/* Resizes an image to the "size" configuration value, "<width> <height>" with both at least
   1, using stb_image_resize with clamped edges and its default filters. Takes 8-bit
   normalized formats (sRGB ones decoded to linear for filtering), 16-bit normalized and 32-bit
   float ones of 1 to 4 channels; the last channel of two- and four-channel formats is alpha,
   weighting the others. The result has the source's format and the default pixel storage. */
class StbResizeImageConverter final : public AbstractImageConverter {
private:
    std::optional<Image2D> doConvert(const ImageView2D& image) override;
};

} // namespace ZarvikEngine::Trade

#endif
