#include <map>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "ZarvikEngine/StrLess.h"

namespace ZarvikEngine {
namespace {

TEST(StrLess, OrdersBytewiseAndLooksUpByView) {
    const StrLess less;
    EXPECT_TRUE(less("ab", "abc"));
    EXPECT_FALSE(less("abc", "abc"));
    /* Bytes compare unsigned: UTF-8 sequences sort after ASCII */
    EXPECT_TRUE(less("z", "\xc3\xa9"));

    std::map<std::string, int, StrLess> symbols{{"MAX_LIGHTS", 8}, {"USE_SHADOWS", 1}};
    const std::string_view source = "#if USE_SHADOWS && MAX_LIGHTS";
    EXPECT_EQ(symbols.find(source.substr(4, 11))->second, 1);
    EXPECT_EQ(symbols.find(source.substr(4, 3)), symbols.end());
}

} // namespace
} // namespace ZarvikEngine
