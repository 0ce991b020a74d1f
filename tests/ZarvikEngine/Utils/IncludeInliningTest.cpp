#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandHelpers.h"
#include "ZarvikEngine/Resource.h"
#include "ZarvikEngine/Utils/IncludeInlining.h"

namespace ZarvikEngine::Utils {
namespace {

using ZarvikEngine::Test::runOnTemporaryFile;

/* What a call printed on the error and warning outputs */
struct Messages {
    std::ostringstream errors, warnings;
    Error redirectErrors{&errors};
    Warning redirectWarnings{&warnings};
};

TEST(IncludeInlining, ListsIncludesOutsideComments) {
    const Result<std::vector<std::string>> paths =
        getIncludesList("#include \"a.glsl\"\n"
                        "// #include \"commented.glsl\"\n"
                        "/* #include \"commented.glsl\"\n*/\n"
                        "#if 0\n  #  include \"sub/b.glsl\" // inactive, still listed\n#endif\n"
                        "#include\"a.glsl\"\n");
    ASSERT_TRUE(paths);
    EXPECT_EQ(*paths, (std::vector<std::string>{"a.glsl", "sub/b.glsl", "a.glsl"}));
    EXPECT_EQ(getIncludesList("#include <a.glsl>\n").error(),
              "Missing opening double quote after #include");
    EXPECT_EQ(getIncludesList("#include \"a.glsl\n\"").error(),
              "Missing closing double quote after #include");
    EXPECT_EQ(getIncludesList("#include \"a.glsl").error(),
              "Missing closing double quote after #include");
}

TEST(IncludeInlining, InlinesOneLevelFromATable) {
    const IncludeTable table{{"a.glsl", "float a;\n"},
                             {"b.glsl", "float b; // no line break"},
                             {"self.glsl", "#include \"self.glsl\"\n"}};
    const std::string_view plain = "void main() {}\n";
    EXPECT_EQ(inlineIncludes(plain, table, true), plain);

    Messages messages;
    EXPECT_EQ(inlineIncludes("1\n2\n3\n4\n#include \"a.glsl\"\n6\n", table, true),
              "1\n2\n3\n4\n#line 1\nfloat a;\n#line 5\n\n6\n");
    EXPECT_EQ(inlineIncludes("  #include \"b.glsl\" // b\r\n", table, false),
              "float b; // no line break\n // b\r\n");
    /* One level only: what an included file includes stays */
    EXPECT_EQ(inlineIncludes("#include \"self.glsl\"", table, false), "#include \"self.glsl\"\n");
    EXPECT_EQ(messages.errors.str() + messages.warnings.str(), "");

    const std::string_view untouched = "/* start\n#include \"a.glsl\"\n*/\n"
                                       "  // #include \"a.glsl\"\n"
                                       "/* a */ #include \"a.glsl\"\n"
                                       "float x; #include \"a.glsl\"\n";
    EXPECT_EQ(inlineIncludes(untouched, table, true), untouched);
    EXPECT_EQ(messages.warnings.str(),
              "#include preceded by non whitespace character are ignored\n"
              "#include preceded by non whitespace character are ignored\n");
}

TEST(IncludeInlining, ReturnsTheSourceOnErrors) {
    const IncludeTable table{{"a.glsl", "float a;\n"}};
    struct Case {
        std::string_view include;
        std::string_view error;
    } cases[]{
        {"#include a.glsl", "Expected path string after #include"},
        {"#include \"a.glsl", "Unterminated string after #include"},
        {"#include \"/usr/a.glsl\"", "Absolute path in #include: /usr/a.glsl"},
        {"#include \"C:/a.glsl\"", "Absolute path in #include: C:/a.glsl"},
        {"#include \"b.glsl\"", "Could not find included file: b.glsl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.include);
        const std::string source = "#include \"a.glsl\"\n" + std::string{c.include} + "\nx\n";
        Messages messages;
        EXPECT_EQ(inlineIncludes(source, table, true), source);
        EXPECT_EQ(messages.errors.str(), std::string{c.error} + "\n");
    }
}

class IncludeLocations : public testing::Test {
protected:
    void SetUp() override {
        _directory = std::filesystem::temp_directory_path() /
                     ("zarvik-includes-" + std::to_string(::getpid()));
        std::filesystem::create_directories(_directory / "empty");
        std::filesystem::create_directories(_directory / "full");
        std::ofstream{_directory / "empty/lights.glsl"};
        std::ofstream{_directory / "full/lights.glsl"} << "int lights;\n";
        std::ofstream{_directory / "full/common.glsl"} << "int fromDisk;\n";
    }
    void TearDown() override { std::filesystem::remove_all(_directory); }

    std::filesystem::path _directory;
};

TEST_F(IncludeLocations, SearchesGroupsAndDirectoriesInOrder) {
    static constexpr Resource::File Files[]{{"common.glsl", "int fromGroup;\n"}};
    if (!Resource::hasGroup("IncludeInliningTest"))
        Resource::registerGroup("IncludeInliningTest", Files);

    const std::string empty = (_directory / "empty").string();
    const std::string full = (_directory / "full").string();
    const std::array<std::string_view, 4> locations{"resource:Missing", empty,
                                                    "resource:IncludeInliningTest", full};
    Messages messages;
    /* An empty file counts as missing, and the search goes on */
    EXPECT_EQ(
        inlineIncludes(locations, "#include \"common.glsl\"\n#include \"lights.glsl\"\n", false),
        "int fromGroup;\n\nint lights;\n\n");
    EXPECT_EQ(messages.warnings.str(), "Including from unknown resource group Missing\n");

    const std::string missing = "#include \"fog.glsl\"\n";
    EXPECT_EQ(inlineIncludes(locations, missing, false), missing);
    const std::string unquoted = "#include <fog.glsl>\n";
    EXPECT_EQ(inlineIncludes(locations, unquoted, false), unquoted);
    EXPECT_EQ(messages.errors.str(), "Could not find included file: fog.glsl\n"
                                     "Failed to inline includes: Missing opening double quote "
                                     "after #include\n");
}

TEST(IncludeInlining, LineDirectivesKeepCompilerMessagesOnTheSourceLines) {
    /* glslang reports the line of the undeclared name as written, past the inlined lines */
    const IncludeTable table{{"common.glsl", "precision highp float;\nout vec4 color;\n"}};
    const std::string shader = inlineIncludes("#version 300 es\n"
                                              "#include \"common.glsl\"\n"
                                              "void main() {\n"
                                              "    color = vec4(undeclared);\n"
                                              "}\n",
                                              table, true);
    const std::string output = runOnTemporaryFile("glslangValidator", "lines.frag", shader).output;
    EXPECT_NE(output.find("0:4: 'undeclared' : undeclared identifier"), std::string::npos)
        << output;
}

TEST(IncludeInlining, ReplacesTags) {
    EXPECT_EQ(replaceTagsShader("a\nb\n{{ NAME }} rest\n{{OTHER}}\n", {{"NAME", "x\n"}}, true),
              "a\nb\nx\n#line 3 rest\n{{OTHER}}\n");
    /* Numbering goes on from a directive already there; only the first tag of a line counts */
    EXPECT_EQ(replaceTagsShader("#line 20\n{{A}}{{B}}\n", {{"B", "b\n"}, {"A", "a\n"}}, true),
              "#line 20\na\n#line 20{{B}}\n");
    EXPECT_EQ(
        replaceTagsShader("#line 20\n  {{A}}\n", {{"A", "first\n"}, {"A", "second\n"}}, false),
        "#line 20\n  first\n\n");
    EXPECT_EQ(replaceTagsShader("{{A\n}}\n", {{"A", "a\n"}}, true), "{{A\n}}\n");
}

} // namespace
} // namespace ZarvikEngine::Utils
