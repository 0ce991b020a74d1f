#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Utils/Preprocessor.h"

namespace ZarvikEngine::Utils {
namespace {

/* Everything a run of sources leaves behind, with errors and warnings as printed */
struct Processed {
    std::string output;
    bool valid;
    std::string errors;
    std::string warnings;
};

Processed preprocess(std::initializer_list<std::string_view> sources, bool substitute = false) {
    std::ostringstream errors, warnings;
    Error redirectErrors{&errors};
    Warning redirectWarnings{&warnings};
    Preprocessor preprocessor{substitute};
    for (std::string_view source : sources)
        preprocessor << source;
    return {std::string{preprocessor.output()}, preprocessor.isValid(), errors.str(),
            warnings.str()};
}

Result<int> evaluate(const Preprocessor& preprocessor, std::string_view expression) {
    Token token = scanToken(expression);
    return preprocessor.evalExpression(token);
}

TEST(Preprocessor, ResolvesConditionalsAndKeepsOtherDirectives) {
    const Processed run = preprocess({"#version 300 es\n"
                                      "#define N 4\n"
                                      "#define SIZE 2u\n"
                                      "#define F(x) (x * 2)\n"
                                      "#extension GL_EXT_foo : enable\n"
                                      "#if N > 2\n"
                                      "big // stays\n"
                                      "#else\n"
                                      "small // goes\n"
                                      "#endif\n"
                                      "#if UNDEFINED\n"
                                      "undefined\n"
                                      "#elif defined(N) && !defined B\n"
                                      "/* kept */ elif\n"
                                      "#else\n"
                                      "else\n"
                                      "#endif\n"
                                      "#ifndef N\n"
                                      "#define HIDDEN 1\n"
                                      "#endif\n"
                                      "#undef N\n"
                                      "end\r\n"});
    EXPECT_EQ(run.output, "#version 300 es\n"
                          "#define F(x) (x * 2)\n"
                          "#extension GL_EXT_foo : enable\n"
                          "big // stays\n"
                          "/* kept */ elif\n"
                          "#undef N\n"
                          "end\r\n");
    EXPECT_TRUE(run.valid);
    EXPECT_EQ(run.errors + run.warnings, "");
}

TEST(Preprocessor, StoresIntegersOfNumericDefinitions) {
    Preprocessor preprocessor;
    preprocessor << "#define N 4\n"
                    "#define SIZE 2u\n"
                    "#define NEGATIVE -3\n"
                    "#define EXPRESSION (N < 5) // small\n"
                    "#define ALIAS SIZE\n"
                    "#define EMPTY\n"
                    "#define WRAPS 4294967297\n";
    const Preprocessor::SymbolTable& symbols = preprocessor.symbols();
    ASSERT_EQ(symbols.size(), 7u);
    EXPECT_EQ(symbols.at("N").value, 4);
    EXPECT_TRUE(symbols.at("N").hasInteger);
    EXPECT_EQ(symbols.at("SIZE").value, 2);
    EXPECT_TRUE(symbols.at("SIZE").hasInteger);
    /* Two tokens, so evaluated from the text */
    EXPECT_FALSE(symbols.at("NEGATIVE").hasInteger);
    EXPECT_EQ(symbols.at("EXPRESSION").text, "(N < 5) // small");
    EXPECT_EQ(symbols.at("EMPTY").text, "");
    EXPECT_EQ(symbols.at("WRAPS").value, 1);

    EXPECT_EQ(preprocessor.resolveValue("N"), 4);
    EXPECT_EQ(preprocessor.resolveValue("NEGATIVE"), -3);
    EXPECT_EQ(preprocessor.resolveValue("EXPRESSION"), 1);
    EXPECT_EQ(preprocessor.resolveValue("ALIAS"), 2);
    EXPECT_EQ(preprocessor.resolveValue("17"), 17);
    EXPECT_EQ(preprocessor.resolveValue("UNDEFINED"), std::nullopt);
    EXPECT_EQ(preprocessor.resolveValue("EMPTY"), std::nullopt);
    EXPECT_EQ(preprocessor.expandIdentifier("EXPRESSION"), "(N < 5) // small");
    EXPECT_EQ(preprocessor.expandIdentifier("other"), "other");
}

TEST(Preprocessor, EvaluatesExpressions) {
    Preprocessor preprocessor;
    preprocessor << "#define A 3\n#define Z 0\n";
    struct Case {
        std::string_view expression;
        int value;
    } cases[]{
        {"0 || 3", 1},
        /* The short circuit keeps the value and skips what can't be evaluated */
        {"3 || 0", 3},
        {"3 || (x y", 3},
        {"Z && )", 0},
        {"A", 3},
        {"-A", -3},
        {"!A", 0},
        {"!!A", 1},
        {"- -A", 3},
        {"A >= 3", 1},
        {"A != 3", 0},
        {"-1 < 0", 1},
        /* Equal precedence, grouped to the right */
        {"A && Z || 1", 1},
        {"Z && Z || 1", 0},
        {"(Z && Z) || 1", 1},
        {"defined(A) && !defined B", 1},
        {"defined A == 1", 1},
        {"(((A)))", 3},
        {"A /* three */ == 3 // yes", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const Result<int> value = evaluate(preprocessor, c.expression);
        ASSERT_TRUE(value) << value.error();
        EXPECT_EQ(*value, c.value);
    }
    EXPECT_EQ(*Preprocessor::evalComparator("<=", 2, 2), 1);
    EXPECT_EQ(Preprocessor::evalComparator("=>", 2, 2).error(), "Unsupported operator =>");
}

TEST(Preprocessor, ReportsExpressionErrors) {
    Preprocessor preprocessor;
    preprocessor << "#define A 1 + 1\n#define B B\n#define C D\n#define D !C\n";
    const std::string deep = std::string(300, '(') + "1";
    struct Case {
        std::string_view expression;
        std::string_view error;
    } cases[]{
        {"defined", "Expected an identifier in defined"},
        {"defined(A", "Expected closing parenthesis in defined(id)"},
        {"(1 == 1", "Expected closing parenthesis in expression"},
        {"+1", "Unexpected token +"},
        {"1 ==\n", "Unexpected token \\n"},
        {"!", "Unexpected token \\0"},
        {"--1", "Unexpected token --"},
        /* Definitions that refer to themselves run into the nesting limit */
        {"B", "Expression nested deeper than 256 levels"},
        {"C", "Expression nested deeper than 256 levels"},
        {deep, "Expression nested deeper than 256 levels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const Result<int> value = evaluate(preprocessor, c.expression);
        ASSERT_FALSE(value);
        EXPECT_EQ(value.error(), c.error);
    }
    Token undefined = scanToken("U");
    EXPECT_EQ(preprocessor.evalIdentifier(undefined, false).error(),
              "Identifier doesn't evaluate to a value U");

    /* In a directive an expression error is a warning and the branch is skipped */
    const Processed run = preprocess({"#define A 1 + 1\n"
                                      "#if 1 + 1\nskipped\n#else\nelse\n#endif\n"
                                      "#if 1\n#elif\n#else\n#endif\n"
                                      "#if 0\n#elif A == 1 + 1\nskipped\n#endif\n"});
    EXPECT_EQ(run.output, "else\n");
    EXPECT_TRUE(run.valid);
    EXPECT_EQ(run.warnings,
              "Preprocessor: failed to parse #if. Unexpected token +. Skipping evaluation.\n"
              "Preprocessor: failed to parse #elif. Unexpected token +. Skipping evaluation.\n");
}

TEST(Preprocessor, LimitsExpansionOfHostileDefinitions) {
    /* Each level doubles the work of the one below it */
    std::string source = "#define A0 0\n";
    for (int i = 1; i != 40; ++i)
        source += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " || A" +
                  std::to_string(i - 1) + "\n";
    Preprocessor preprocessor;
    preprocessor << source;
    Token token = scanToken("A39");
    EXPECT_EQ(preprocessor.evalExpression(token).error(),
              "Expression expands more than 65536 identifiers");

    std::ostringstream warnings;
    Warning redirect{&warnings};
    Preprocessor substituting{true};
    substituting << source;
    EXPECT_LE(substituting.expandIdentifier("A39").size(), 2 * Preprocessor::MaxExpansionSize);
    /* In a source the limit holds for the whole output */
    const std::string uses = "A39 A39 A39 A39 A39 A39\n";
    substituting << uses;
    EXPECT_LT(substituting.output().size(), 3 * Preprocessor::MaxExpansionSize);
    EXPECT_TRUE(substituting.output().ends_with(" A39\n"));
    EXPECT_EQ(warnings.str(), "Preprocessor: expansion of A39 cut short at 1048576 bytes\n"
                              "Preprocessor: expansion of A39 cut short at 1048600 bytes\n");
}

TEST(Preprocessor, ReportsStructuralErrorsAndKeepsTheLastOutput) {
    struct Case {
        std::string_view source;
        std::string_view error;
    } cases[]{
        {"a /* b", "Preprocess: found unclosed multiline comment"},
        {"#if 0\n/*", "Preprocess: found unclosed multiline comment"},
        {"a #\n", "Preprocessor: no identifier found after #"},
        {"# (", "Preprocessor: no identifier found after #"},
        {"#else\n", "Preprocessor: found #else without #if or #ifdef"},
        {"#elif 1\n", "Preprocessor: found #elif without #if or #ifdef"},
        {"#if 1\n#endif\n#endif\n", "Preprocessor: found #endif without #if or #ifdef"},
        {"#ifdef\n", "Preprocessor: expected an identifier after #ifdef"},
        {"#ifndef (A)\n", "Preprocessor: expected an identifier after #ifndef"},
        {"#define \"A\"\n", "Preprocessor: expected an identifier after #define"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        std::ostringstream errors;
        Error redirect{&errors};
        Preprocessor preprocessor;
        preprocessor << "kept\n" << c.source;
        EXPECT_EQ(preprocessor.output(), "kept\n");
        EXPECT_FALSE(preprocessor.isValid());
        EXPECT_EQ(errors.str(), std::string{c.error} + "\n");
        /* Later inputs still run, but the preprocessor stays invalid */
        preprocessor << "#define LATER\nlater\n";
        EXPECT_EQ(preprocessor.output(), "later\n");
        EXPECT_FALSE(preprocessor.isValid());
    }

    std::string nested;
    for (int i = 0; i != 31; ++i)
        nested += "#ifdef A" + std::to_string(i) + "\n";
    const std::string closing = "#endif\n";
    std::string closed = nested + "deep\n";
    for (int i = 0; i != 31; ++i)
        closed += closing;
    const Processed accepted = preprocess({"#define A30\n", closed});
    EXPECT_TRUE(accepted.valid);
    EXPECT_EQ(accepted.output, "");
    const Processed tooDeep = preprocess({nested + "#ifdef A31\n"});
    EXPECT_FALSE(tooDeep.valid);
    EXPECT_EQ(tooDeep.errors, "Preprocessor: exceeding max branch depth of 32\n");
}

TEST(Preprocessor, ChoosesOneBranchPerLevel) {
    const Processed run =
        preprocess({"#if 1\n1\n#elif 1\nno\n#else\nno\n#endif\n"
                    "#if 0\nno\n#elif 1\n2\n#elif 1\nno\n#else\nno\n#endif\n"
                    "#if 0\nno\n#elif 0\nno\n#else\n3\n#endif\n"
                    /* Nothing nested in a branch after the active one shows */
                    "#if 1\n4\n#elif 1\n#if 1\nno\n#endif\n#endif\n"
                    "#ifdef U\n#if 1\nno\n#else\nno\n#endif\n#else\n5\n#endif\n"});
    EXPECT_EQ(run.output, "1\n2\n3\n4\n5\n");
}

TEST(Preprocessor, DefinitionsPersistAcrossInputs) {
    Preprocessor preprocessor;
    {
        std::string prelude = "#define QUALITY 2\n#define FEATURE\n";
        preprocessor << std::move(prelude);
    }
    for (int i = 0; i != 100; ++i)
        preprocessor << std::string{"#define SHORT" + std::to_string(i) + " x\n"};
    preprocessor << "#if QUALITY >= 2 && defined FEATURE\nhigh\n#endif\n";
    EXPECT_EQ(preprocessor.output(), "high\n");
    /* Definitions point into the kept copies */
    EXPECT_EQ(preprocessor.expandIdentifier("SHORT0"), "x");
    EXPECT_EQ(preprocessor.expandIdentifier("SHORT99"), "x");
    Preprocessor moved = std::move(preprocessor);
    EXPECT_EQ(moved.resolveValue("QUALITY"), 2);
}

TEST(Preprocessor, SubstitutesIdentifiersInActiveCode) {
    const Processed run = preprocess({"#define u8 u32\n"
                                      "#define PAIR vec2<u8>(ONE, TWO)\n"
                                      "#define ONE 1\n"
                                      "#define TWO ONE+ONE\n"
                                      "#define HALF 0.5/* half */+  0.0\n"
                                      "#define SELF SELF + 1\n"
                                      "let a: u8 = 3u; // u8 stays in comments\n"
                                      "let p = PAIR; let s = SELF; let h = HALF;\n"
                                      "#if TWO\nlet t = TWO;\n#endif\n"},
                                     true);
    EXPECT_EQ(run.output, "let a: u32 = 3u; // u8 stays in comments\n"
                          "let p = vec2<u32>(1, 1+1); let s = SELF + 1; let h = 0.5 + 0.0;\n"
                          "let t = 1+1;\n");
    EXPECT_EQ(run.errors + run.warnings, "");
}

TEST(Preprocessor, SubstitutionLeavesEverythingButSymbolsAsItIs) {
    /* Only whole names are symbols: not a name that merely starts or ends like one, nor a
       symbol's name inside another token (a lone carriage return belongs to the name before
       it); line breaks of either kind and strings stay */
    const Processed run = preprocess({"#define ON 1\n"
                                      "#define N2 2\n"
                                      "x=ON;yON=ONE+N2\r\nNO(ON)/ON\r\"ON\"\t1ON N2.ON\n"
                                      "/* ON */ON#version 300 es\n"},
                                     true);
    EXPECT_EQ(run.output, "x=1;yON=ONE+2\r\nNO(1)/ON\r\"1\"\t1ON 2.1\n"
                          "/* ON */1#version 300 es\n");
    EXPECT_EQ(run.errors + run.warnings, "");
}

TEST(ResultDeathTest, ReadingTheMissingSideAborts) {
    const Result<int> valid = 3;
    const Result<int> invalid = Result<int>::failure("no");
    EXPECT_EQ(*valid, 3);
    EXPECT_EQ(invalid.error(), "no");
    ZE_EXPECT_ABORT(*invalid, "Result::*(): Accessed value of invalid result");
    ZE_EXPECT_ABORT(valid.error(), "Result::error(): Accessed error of valid result");
}

} // namespace
} // namespace ZarvikEngine::Utils
