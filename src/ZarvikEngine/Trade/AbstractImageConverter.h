#ifndef ZarvikEngine_Trade_AbstractImageConverter_h
#define ZarvikEngine_Trade_AbstractImageConverter_h

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "ZarvikEngine/Trade/Image.h"

namespace ZarvikEngine::Trade {

/* Text values by name that tune a converter, such as "size" for a resizing one */
class ConverterConfiguration {
public:
    void setValue(std::string_view name, std::string_view value);
    /* Nothing when the value was never set */
    std::optional<std::string_view> value(std::string_view name) const;

private:
    std::map<std::string, std::string, std::less<>> _values;
};

/* Turns an image into another one, as its configuration says. A conversion that can't be
   done prints an error naming the converter and the problem, and returns nothing. */
class AbstractImageConverter {
public:
    virtual ~AbstractImageConverter();

    ConverterConfiguration& configuration() { return _configuration; }
    const ConverterConfiguration& configuration() const { return _configuration; }

    std::optional<Image2D> convert(const ImageView2D& image) { return doConvert(image); }

private:
    virtual std::optional<Image2D> doConvert(const ImageView2D& image) = 0;

    ConverterConfiguration _configuration;
};

} // namespace ZarvikEngine::Trade

#endif
