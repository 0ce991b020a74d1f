#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ZarvikEngine/Data/JavaScriptManager.h"
#include "ZarvikEngine/Data/LocalizationRecords.h"
#include "ZarvikEngine/Data/TextManager.h"
#include "ZarvikEngine/Data/TranslationManager.h"

namespace ZarvikEngine::Data {
namespace {

/* A language record of key/text pairs */
std::vector<char> language(const std::vector<std::pair<std::string, std::string>>& terms) {
    std::vector<std::string_view> strings;
    for (const auto& [key, text] : terms)
        strings.insert(strings.end(), {key, text});
    return createLanguageData("Deutsch", "de", std::uint32_t(terms.size()), fromStrings(strings));
}

/* A locale record of one language and the links with their terms */
std::vector<char> locale(std::span<const LocaleLinkHeader> links,
                         std::span<const std::string_view> terms) {
    const std::pair<std::string, std::string> codesAndFiles[]{{"de", "de.bin"}};
    const std::string_view names[]{"Deutsch"};
    return createLocaleData(codesAndFiles, names, terms, links);
}

TEST(TranslationManager, DictionaryLookUpAndGrowth) {
    TranslationManager translations;
    EXPECT_EQ(translations.dictionaryCapacity(), 1);
    EXPECT_EQ(translations.translate("hello").data(), nullptr);

    ASSERT_TRUE(translations.loadLanguageData(
        language({{"hello", "Hallo"}, {"world", "Welt"}, {"empty", ""}})));
    EXPECT_EQ(translations.translate("hello"), "Hallo");
    EXPECT_EQ(translations.translate("world"), "Welt");
    EXPECT_EQ(translations.translate("empty"), "");
    EXPECT_NE(translations.translate("empty").data(), nullptr);
    const std::string_view missing = translations.translate("hell");
    EXPECT_EQ(missing.data(), nullptr);
    EXPECT_EQ(missing.size(), 0);
    EXPECT_EQ(translations.translationCount(), 3);
    EXPECT_EQ(translations.dictionaryCapacity(), 16);

    /* Twelve terms fill three quarters of 16 slots, the thirteenth doubles them; a thousand
       probe across the wrap-around of many collisions */
    std::vector<std::pair<std::string, std::string>> terms;
    for (int i = 0; i != 12; ++i)
        terms.emplace_back(fmt::format("term{}", i), fmt::format("Begriff {}", i));
    ASSERT_TRUE(translations.loadLanguageData(language(terms)));
    EXPECT_EQ(translations.dictionaryCapacity(), 16);
    terms.emplace_back("term12", "Begriff 12");
    ASSERT_TRUE(translations.loadLanguageData(language(terms)));
    EXPECT_EQ(translations.dictionaryCapacity(), 32);
    for (int i = 13; i != 1000; ++i)
        terms.emplace_back(fmt::format("term{}", i), fmt::format("Begriff {}", i));
    ASSERT_TRUE(translations.loadLanguageData(language(terms)));
    EXPECT_EQ(translations.dictionaryCapacity(), 2048);
    EXPECT_EQ(translations.translationCount(), 1000);
    for (const auto& [key, text] : terms)
        ASSERT_EQ(translations.translate(key), text) << key;
    /* The old language is gone */
    EXPECT_EQ(translations.translate("hello").data(), nullptr);

    /* A moved manager keeps its strings where they are */
    TranslationManager moved{std::move(translations)};
    EXPECT_EQ(moved.translate("term999"), "Begriff 999");
    EXPECT_EQ(translations.translate("term999").data(), nullptr);

    /* Bytes that aren't a language record leave the current one */
    std::ostringstream errors;
    {
        Error redirect{&errors};
        std::vector<char> broken = language({{"a", "b"}});
        broken.pop_back();
        EXPECT_FALSE(moved.loadLanguageData(std::move(broken)));
        EXPECT_FALSE(moved.loadTermLinks(std::vector<char>(4)));
    }
    EXPECT_EQ(errors.str().find("TranslationManager::loadLanguageData(): "), 0);
    EXPECT_NE(errors.str().find("\nTranslationManager::loadTermLinks(): "), std::string::npos);
    EXPECT_EQ(moved.translate("term1"), "Begriff 1");
}

TEST(TranslationManager, AppliesTranslationsToLinkedComponents) {
    TextManager texts{4, 1, 0};
    JavaScriptManager scripts{3, 1, 8};
    const Id first = texts.add(), second = texts.add(), deleted = texts.add();
    texts.remove(deleted);
    scripts.add();
    const Id script = scripts.add();

    const LocaleLinkHeader links[]{
        {std::uint16_t(second), TranslationManager::TextComponentLink, 0, 7},
        {std::uint16_t(first), TranslationManager::TextComponentLink, 0, 0},
        {std::uint16_t(script), TranslationManager::ScriptParameterLink, 4, 0},
        /* Not applied: other kinds, Ids beyond the capacity, a deleted component */
        {std::uint16_t(first), 5, 0, 0},
        {4, TranslationManager::TextComponentLink, 0, 0},
        {std::uint16_t(deleted), TranslationManager::TextComponentLink, 0, 0},
        {3, TranslationManager::ScriptParameterLink, 0, 0}};
    const std::string_view linkedTerms[]{"greeting", "title", "greeting", "title",
                                         "title",    "title", "title"};
    const std::vector<char> localeData = locale(links, linkedTerms);
    TranslationManager translations;
    ASSERT_TRUE(translations.loadTermLinks(localeData));
    ASSERT_EQ(translations.termLinks().size(), 7);
    EXPECT_EQ(translations.termLinks()[0].term, "greeting");
    EXPECT_EQ(translations.termLinks()[0].reserved, 7);
    EXPECT_EQ(translations.termLinks()[2].parameter, 4);

    const auto apply = [&] {
        std::ostringstream out;
        {
            Debug redirect{&out};
            translations.applyTranslations(texts, scripts);
        }
        return out.str();
    };

    ASSERT_TRUE(
        translations.loadLanguageData(language({{"greeting", "Hallo"}, {"title", "Titel"}})));
    EXPECT_EQ(apply(), "js_setComponentParamTranslation(Id(1), 4 , Hallo)\n");
    EXPECT_EQ(texts.text(second), "Hallo");
    EXPECT_EQ(texts.text(first), "Titel");
    EXPECT_EQ(texts.text(deleted), "");

    /* Another language replaces every string; a term it lacks shows empty and is kept */
    ASSERT_TRUE(translations.loadLanguageData(language({{"greeting", "Bonjour"}})));
    EXPECT_EQ(apply(), "js_setComponentParamTranslation(Id(1), 4 , Bonjour)\n");
    EXPECT_EQ(texts.text(second), "Bonjour");
    EXPECT_EQ(texts.text(first), "");
    EXPECT_EQ(translations.translationCount(), 2);
    EXPECT_EQ(translations.translate("title").data(), nullptr);

    /* A term the language lacks stays in the dictionary after its locale record is gone */
    {
        const LocaleLinkHeader farewell[]{
            {std::uint16_t(first), TranslationManager::TextComponentLink, 0, 0}};
        const std::string_view terms[]{"farewell"};
        const std::vector<char> passing = locale(farewell, terms);
        ASSERT_TRUE(translations.loadTermLinks(passing));
        apply();
    }
    ASSERT_TRUE(translations.loadTermLinks(localeData));
    EXPECT_EQ(translations.translate("farewell"), "");
    EXPECT_EQ(translations.translationCount(), 3);

    /* Links are replaced as a whole */
    ASSERT_TRUE(translations.loadTermLinks(locale({}, {})));
    EXPECT_TRUE(translations.termLinks().empty());
}

} // namespace
} // namespace ZarvikEngine::Data
