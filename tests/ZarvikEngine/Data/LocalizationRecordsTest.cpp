#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/LocalizationRecords.h"

namespace ZarvikEngine::Data {
namespace {

using Test::Bytes;
using Test::expectValidationGuardsReaders;
using Test::touch;

StringArray terms(std::vector<std::string_view> keysAndTexts) {
    return fromStrings(keysAndTexts);
}

TEST(LocalizationRecords, LanguageHoldsNameCodeAndTerms) {
    const std::vector<char> payload =
        createLanguageData("English", "en-US", 2, terms({"hello", "Hello", "bye", ""}));
    Bytes expected;
    expected.field("English", 64).field("en-US", 32).u32(2);
    EXPECT_EQ(payload,
              std::vector<char>(expected.string("hello").string("Hello").string("bye").string("")));

    const LanguageData language{payload};
    EXPECT_EQ(language.name(), "English");
    EXPECT_EQ(language.code(), "en-US");
    EXPECT_EQ(language.key(1), "bye");
    EXPECT_EQ(language.text(1), "");
    EXPECT_EQ(language.text(0), "Hello");
    /* Copies and moves keep their own string index */
    LanguageData copy = language;
    const LanguageData moved = std::move(copy);
    EXPECT_EQ(moved.key(1), "bye");
    expectValidationGuardsReaders<LanguageData>(payload, [](std::span<const char> bytes) {
        const LanguageData read{bytes};
        touch(std::span{read.name()});
        touch(std::span{read.code()});
        for (std::size_t i = 0; i != read.termCount(); ++i) {
            touch(std::span{read.key(i)});
            touch(std::span{read.text(i)});
        }
    });

    /* The longest name and code fill their fields but for the zero byte; the unused capacity
       of an empty term array isn't stored */
    const std::string name(LanguageData::MaxNameLength, 'n');
    const std::string code(LanguageData::MaxCodeLength, 'c');
    const std::vector<char> empty = createLanguageData(name, code, 0, StringArray{});
    EXPECT_EQ(empty, std::vector<char>(Bytes{}.field(name, 64).field(code, 32).u32(0)));
    EXPECT_EQ(LanguageData{empty}.name(), name);
    EXPECT_EQ(LanguageData{empty}.code(), code);
}

TEST(LocalizationRecordsDeathTest, LanguageRejectsWhatItCannotStore) {
    ZE_EXPECT_ABORT(createLanguageData(std::string(64, 'n'), "en", 0, {}),
                    "createLanguageData(): Language name too long.");
    ZE_EXPECT_ABORT(createLanguageData("English", std::string(32, 'c'), 0, {}),
                    "createLanguageData(): Language code too long.");
    ZE_EXPECT_ABORT(createLanguageData("English", "en", 2, terms({"a", "b", "c"})),
                    "createLanguageData(): expected 4 strings for 2 terms but got 3");

    /* Two terms announced, but only three strings stored */
    const std::vector<char> truncated =
        Bytes{}.field("English", 64).field("en", 32).u32(2).string("a").string("b").chars("c");
    ZE_EXPECT_ABORT(LanguageData{truncated},
                    "StringArrayView(): data did not contain 4 existing elements values");
    const LanguageData language{createLanguageData("English", "en", 1, terms({"a", "b"}))};
    ZE_EXPECT_ABORT(language.key(1), "StringArrayView::get(): invalid index 2 for size 2");
}

TEST(LocalizationRecords, LocaleIndexesLanguagesAndTermLinks) {
    const std::pair<std::string, std::string> codesAndFiles[]{{"en", "en.bin"}, {"de", "de.bin"}};
    const std::string_view names[]{"English", "Deutsch"};
    const std::string_view linkedTerms[]{"title"};
    const LocaleLinkHeader links[]{{5, 2, 0, 9}};
    const std::vector<char> payload = createLocaleData(codesAndFiles, names, linkedTerms, links);
    Bytes expected;
    expected.u32(2).u32(1).u16(5).u16(2).u16(0).u16(9).string("en").string("en.bin");
    expected.string("English").string("de").string("de.bin").string("Deutsch");
    EXPECT_EQ(payload, std::vector<char>(expected.string("title")));

    const LocaleData locale{payload};
    EXPECT_EQ(locale.code(1), "de");
    EXPECT_EQ(locale.file(0), "en.bin");
    EXPECT_EQ(locale.name(1), "Deutsch");
    EXPECT_EQ(locale.linkedTerm(0), "title");
    EXPECT_EQ(locale.linkHeader(0), links[0]);
    EXPECT_EQ(locale.linkHeadersData().data(), payload.data() + 8);
    EXPECT_EQ(locale.stringsData().data(), payload.data() + 16);
    expectValidationGuardsReaders<LocaleData>(payload, [](std::span<const char> bytes) {
        const LocaleData read{bytes};
        for (std::size_t i = 0; i != read.header().localeCount; ++i)
            for (const std::string_view text : {read.code(i), read.file(i), read.name(i)})
                touch(std::span{text});
        for (std::size_t j = 0; j != read.header().linkCount; ++j) {
            touch(std::span{read.linkedTerm(j)});
            touch(std::span{&read.linkHeader(j), 1});
        }
    });

    const std::vector<char> empty = createLocaleData({}, {}, {}, {});
    EXPECT_EQ(empty, std::vector<char>(Bytes{}.u32(0).u32(0)));
    EXPECT_TRUE(LocaleData{empty}.stringsData().empty());
    /* Links without languages: the terms are the first strings */
    EXPECT_EQ(LocaleData{createLocaleData({}, {}, linkedTerms, links)}.linkedTerm(0), "title");

    ZE_EXPECT_ABORT(locale.linkedTerm(1), "StringArrayView::get(): invalid index 7 for size 7");
    ZE_EXPECT_ABORT(locale.linkHeader(1), "LocaleData::linkHeader(): invalid index 1 for size 1");
    ZE_EXPECT_ABORT(createLocaleData(codesAndFiles, std::span{names}.first(1), {}, {}),
                    "createLocaleData(): got 1 names for 2 languages");
    ZE_EXPECT_ABORT(createLocaleData({}, {}, {}, links),
                    "createLocaleData(): got 0 linked terms for 1 links");
}

} // namespace
} // namespace ZarvikEngine::Data
