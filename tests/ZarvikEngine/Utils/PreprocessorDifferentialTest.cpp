#include <array>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandHelpers.h"
#include "ZarvikEngine/Utils/Preprocessor.h"

/* The preprocessor against GCC's own, on random text within the grammar both share: decimal
   numbers, names defined as numbers, aliases or nothing, defined, ! and unary -, parentheses,
   comparisons and && and || (parenthesized where the equal precedence of this preprocessor
   would group differently). */
namespace ZarvikEngine::Utils {
namespace {

using ZarvikEngine::Test::CommandOutput;
using ZarvikEngine::Test::runOnTemporaryFile;

constexpr int NameCount = 8;

/* What a case defines each name as; Empty names appear in defined() only */
enum class Definition { Undefined, Number, Alias, Empty };

struct Case {
    std::array<Definition, NameCount> definitions;
    std::string defines;
    std::string undefines;
};

class Generator {
public:
    explicit Generator(unsigned seed) : _random{seed} {}

    Case definitions() {
        Case c;
        for (int i = 0; i != NameCount; ++i) {
            const std::string name = "N" + std::to_string(i);
            Definition& definition = c.definitions[i];
            definition = Definition(pick(4));
            /* Aliases name an earlier name that evaluates to a number */
            if (definition == Definition::Alias &&
                (i == 0 || c.definitions[i - 1] == Definition::Empty))
                definition = Definition::Number;
            if (definition == Definition::Undefined)
                continue;
            c.defines += "#define " + name;
            if (definition == Definition::Number)
                c.defines += " " + number();
            else if (definition == Definition::Alias)
                c.defines += " N" + std::to_string(i - 1);
            c.defines += "\n";
            c.undefines += "#undef " + name + "\n";
        }
        return c;
    }

    /* An expression whose truth both preprocessors agree on */
    std::string condition(const Case& c, int depth) {
        if (depth == 0)
            return value(c, 0);
        switch (pick(5)) {
        case 0:
            return value(c, depth);
        case 1:
            return comparison(c, depth);
        case 2:
            return "!(" + condition(c, depth - 1) + ")";
        case 3:
            return "(" + condition(c, depth - 1) + ")";
        }
        const bool isAnd = pick(2);
        const std::string left = condition(c, depth - 1);
        std::string right = condition(c, depth - 1);
        /* a && b || c groups as a && (b || c) here, as (a && b) || c there */
        if (isAnd && right.find("||") != std::string::npos)
            right = "(" + right + ")";
        return wrapLogical(left) + (isAnd ? " && " : " || ") + right;
    }

private:
    int pick(int count) { return std::uniform_int_distribution{0, count - 1}(_random); }

    std::string number() {
        const int value = pick(41) - 20;
        if (value < 0 && pick(2))
            return "(" + std::to_string(value) + ")";
        return std::to_string(value);
    }

    std::string usableName(const Case& c) {
        for (;;) {
            const int i = pick(NameCount);
            if (c.definitions[i] != Definition::Empty)
                return "N" + std::to_string(i);
        }
    }

    /* A value that is a number in both: || of this preprocessor may give a truth other
       than 1, so values don't contain unparenthesized logical operators under - or a
       comparison */
    std::string value(const Case& c, int depth) {
        switch (depth ? pick(7) : pick(4)) {
        case 0:
            return number();
        case 1:
            return usableName(c);
        case 2:
            return usableName(c);
        case 3: {
            const std::string name = "N" + std::to_string(pick(NameCount));
            return pick(2) ? "defined(" + name + ")" : "defined " + name;
        }
        case 4:
            return "!" + value(c, depth - 1);
        case 5:
            return "- " + value(c, depth - 1);
        }
        return "(" + comparison(c, depth - 1) + ")";
    }

    std::string comparison(const Case& c, int depth) {
        static constexpr const char* Operators[]{"==", "!=", "<", ">", "<=", ">="};
        return value(c, depth) + " " + Operators[pick(6)] + " " + value(c, depth);
    }

    static std::string wrapLogical(const std::string& text) {
        if (text.find("&&") != std::string::npos || text.find("||") != std::string::npos)
            return "(" + text + ")";
        return text;
    }

    std::mt19937 _random;
};

/* GCC's preprocessor on the text, without line markers */
std::string cpp(const std::string& text) {
    const CommandOutput result =
        runOnTemporaryFile("cpp -P -undef -nostdinc", "conditions.glsl", text);
    EXPECT_EQ(result.status, 0) << result.output.substr(0, 1000);
    return result.output;
}

/* The non-empty lines */
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in{text};
    for (std::string line; std::getline(in, line);)
        if (line.find_first_not_of(" \t") != std::string::npos)
            lines.push_back(line);
    return lines;
}

TEST(PreprocessorDifferential, ChoosesTheBranchGccChooses) {
    Generator generator{1234};
    std::string all;
    std::vector<std::string> ours;
    constexpr int CaseCount = 4000;
    for (int i = 0; i != CaseCount; ++i) {
        const Case c = generator.definitions();
        const std::string condition = generator.condition(c, 1 + i % 5);
        const std::string branches = "#if " + condition + "\ncase" + std::to_string(i) +
                                     "yes\n#else\ncase" + std::to_string(i) + "no\n#endif\n";
        std::ostringstream messages;
        Warning redirect{&messages};
        Preprocessor preprocessor;
        preprocessor << c.defines << branches;
        ASSERT_TRUE(preprocessor.isValid());
        ASSERT_EQ(messages.str(), "") << c.defines << branches;
        ours.push_back(
            std::string{preprocessor.output().substr(0, preprocessor.output().find('\n'))});
        all += c.defines + branches + c.undefines;
    }
    const std::vector<std::string> gcc = lines(cpp(all));
    ASSERT_EQ(gcc.size(), ours.size());
    int yes = 0;
    for (int i = 0; i != CaseCount; ++i) {
        EXPECT_EQ(ours[i], gcc[i]) << "case " << i;
        yes += ours[i].ends_with("yes");
    }
    /* Both branches are well represented */
    EXPECT_GT(yes, CaseCount / 5);
    EXPECT_LT(yes, CaseCount * 4 / 5);
}

/* Random nestings of every conditional directive, each line naming where it is */
std::string nestedConditionals(std::mt19937& random, int depth, int& line) {
    const auto pick = [&](int count) {
        return std::uniform_int_distribution{0, count - 1}(random);
    };
    const auto condition = [&] {
        switch (pick(3)) {
        case 0:
            return std::string{"#if "} + std::to_string(pick(2)) + "\n";
        case 1:
            return std::string{"#ifdef D"} + std::to_string(pick(4)) + "\n";
        }
        return std::string{"#ifndef D"} + std::to_string(pick(4)) + "\n";
    };
    std::string text;
    for (int block = pick(4); block >= 0; --block) {
        text += "line" + std::to_string(line++) + "\n";
        if (depth == 0 || pick(2))
            continue;
        text += condition();
        text += nestedConditionals(random, depth - 1, line);
        for (int elif = pick(3); elif; --elif) {
            text += "#elif " + std::string{pick(2) ? "defined D" : "!defined D"} +
                    std::to_string(pick(4)) + "\n";
            text += nestedConditionals(random, depth - 1, line);
        }
        if (pick(2)) {
            text += "#else\n";
            text += nestedConditionals(random, depth - 1, line);
        }
        text += "#endif\n";
    }
    return text;
}

TEST(PreprocessorDifferential, KeepsTheLinesGccKeeps) {
    std::mt19937 random{99};
    for (int i = 0; i != 20; ++i) {
        int line = 0;
        std::string text = "#define D" + std::to_string(i % 4) + "\n";
        if ((i / 4) % 4 != i % 4)
            text += "#define D" + std::to_string((i / 4) % 4) + " 1\n";
        text += nestedConditionals(random, 5, line);
        Preprocessor preprocessor;
        preprocessor << text;
        ASSERT_TRUE(preprocessor.isValid());
        EXPECT_EQ(lines(std::string{preprocessor.output()}), lines(cpp(text))) << text;
    }
}

} // namespace
} // namespace ZarvikEngine::Utils
