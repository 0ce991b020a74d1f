#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "SampleAssetFile.h"
#include "ToolTestHelpers.h"
#include "ZarvikEngine/Data/AssetValidation.h"

namespace ZarvikEngine::Tool {
namespace {

TEST(ZarvikTool, SampleIsListedChunkByChunk) {
    const std::string path = temporaryPath("sample.zvk");
    const Output written = capture([&] { return sample(path); });
    EXPECT_EQ(written.status, Success);
    EXPECT_EQ(written.err, "");
    const std::vector<char> file = sampleAssetFile();
    EXPECT_EQ(written.out, "zarvik: wrote " + std::to_string(file.size()) +
                               " bytes of sample assets to " + path + "\n");

    const Output inspected = capture([&] { return inspect(path); });
    EXPECT_EQ(inspected.status, Success);
    EXPECT_EQ(inspected.err, "");
    const std::vector<std::string> listed = lines(inspected.out);
    const auto& header = Data::AssetChunkView{file}.as<Data::HeaderData>().header();
    const std::uint32_t chunkCount = header.chunkCount;
    ASSERT_EQ(listed.size(), chunkCount + 1);
    EXPECT_EQ(listed[0], path + ": valid asset file of " + std::to_string(file.size()) + " bytes");
    for (std::size_t i = 0; i != chunkCount; ++i)
        EXPECT_EQ(listed[i + 1].rfind("chunk " + std::to_string(i) + " Magic::", 0), 0u)
            << listed[i + 1];
    /* Chunk lines by what follows their index */
    const auto has = [&](const std::string& line) {
        return std::any_of(listed.begin() + 1, listed.end(), [&](const std::string& listedLine) {
            return listedLine.substr(listedLine.find(' ', 6) + 1) == line;
        });
    };
    EXPECT_EQ(listed[1], "chunk 0 Magic::Header, 16 bytes: " + std::to_string(chunkCount) +
                             " chunks, largest " + std::to_string(header.maxChunkSize) + " bytes");
    EXPECT_TRUE(has("Magic::Shader, 581 bytes: stage 1, type 0, flags 0x0000, \"Flat.vert\", "
                    "GLSL of 129 characters, WGSL \"main\" of 186 characters"));
    EXPECT_TRUE(has("Magic::Pipeline, 165 bytes: \"Flat\", indices 0 and 0, 2 enabled features: "
                    "DEPTH_TEST, CULL_BACK"));
    EXPECT_TRUE(
        has("Magic::Mesh, 588 bytes: 25 vertices, 96 indices of MeshIndexType::UnsignedByte, "
            "attributes Trade::MeshAttribute::Position VertexFormat::Vector3, "
            "Trade::MeshAttribute::Color VertexFormat::Vector4ubNormalized, bounding "
            "sphere at Vector(0, 0, 0) radius 2.828427"));
    EXPECT_TRUE(has("Magic::Image, 41 bytes: 256x256x1, file \"textures/checker.png\""));
    EXPECT_TRUE(has("Magic::Image, 148 bytes: 512x512x1, 4 tiles"));
    EXPECT_TRUE(has("Magic::Locale, 75 bytes: 2 languages: en \"English\" in sample-en.zvk, de "
                    "\"Deutsch\" in sample-de.zvk, 1 term links"));
    std::filesystem::remove(path);
}

TEST(ZarvikTool, DamagedFilesFailWithAMessageAndPrintNothingElse) {
    const std::vector<char> file = sampleAssetFile();
    for (std::size_t size = 0; size != file.size(); ++size) {
        const std::vector<char> truncated{file.begin(), file.begin() + std::ptrdiff_t(size)};
        const Output run = capture([&] { return inspectAssetFile("cut.zvk", truncated); });
        EXPECT_EQ(run.status, Failure) << size;
        EXPECT_EQ(run.out, "") << size;
        EXPECT_EQ(lines(run.err).size(), 1u) << size;
        EXPECT_EQ(run.err.rfind("zarvik: cut.zvk: ", 0), 0u) << run.err;
    }

    /* Flips in sizes, counts and terminators are caught; a flip inside a text or vertex data
       leaves a valid file, which is then listed in full */
    std::size_t rejected = 0;
    for (std::size_t byte = 0; byte != file.size(); ++byte) {
        std::vector<char> flipped = file;
        flipped[byte] = char(flipped[byte] ^ (1 << byte % 8));
        const Output run = capture([&] { return inspectAssetFile("flipped.zvk", flipped); });
        if (run.status == Failure) {
            ++rejected;
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err.rfind("zarvik: flipped.zvk: ", 0), 0u) << run.err;
        } else {
            EXPECT_EQ(run.status, Success);
            EXPECT_EQ(run.out.rfind("flipped.zvk: valid asset file", 0), 0u);
        }
    }
    EXPECT_GT(rejected, 0u);
}

TEST(ZarvikTool, ExecutableReportsThroughItsExitStatus) {
    const std::string path = temporaryPath("run.zvk");
    std::vector<char> file = sampleAssetFile();
    for (const std::string arguments : {"", "inspect", "convert x.zvk"})
        EXPECT_EQ(runExecutable(arguments), Usage) << arguments;
    EXPECT_EQ(runExecutable("sample " + path), Success);
    EXPECT_EQ(runExecutable("inspect " + path), Success);
    for (const std::string& arguments :
         {"inspect " + path + ".missing", std::string{"inspect /dev/null"},
          "inspect " + testing::TempDir(), "sample " + testing::TempDir()})
        EXPECT_EQ(runExecutable(arguments), Failure) << arguments;

    write(path, std::span{file}.first(file.size() - 1));
    EXPECT_EQ(runExecutable("inspect " + path), Failure);
    /* The top bit of the second chunk's payload size */
    file[24 + 7] = char(file[24 + 7] ^ 0x80);
    write(path, file);
    EXPECT_EQ(runExecutable("inspect " + path), Failure);
    std::filesystem::remove(path);
}

TEST(ZarvikTool, HelpVersionAndWrongUsage) {
    /* Help goes to standard output with success, from every way of asking */
    for (const std::string arguments : {"--help", "-h", "help"}) {
        const Output run = runExecutableOutput(arguments);
        EXPECT_EQ(run.status, Success) << arguments;
        EXPECT_EQ(run.out.rfind("usage: zarvik COMMAND", 0), 0u) << arguments;
        for (const char* command : {"inspect", "sample", "play", "import"})
            EXPECT_NE(run.out.find(std::string{"\n  "} + command + " "), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    for (const std::string arguments :
         {"help import", "import --help", "import a.gltf b.zvk --tile-size 0 --help"}) {
        const Output run = runExecutableOutput(arguments);
        EXPECT_EQ(run.status, Success) << arguments;
        EXPECT_EQ(run.out.rfind("usage: zarvik import SOURCE OUTPUT [options]\n", 0), 0u);
        EXPECT_NE(run.out.find("  --tile-border N "), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    const Output version = runExecutableOutput("--version");
    EXPECT_EQ(version.status, Success);
    EXPECT_EQ(version.out, "zarvik " ZARVIK_VERSION "\n");

    /* Wrong usage names what was wrong and where help is, on standard error */
    const std::pair<std::string, std::string> wrong[]{
        {"", "zarvik: expects a COMMAND; see zarvik --help\n"},
        {"frob x", "zarvik: unknown command 'frob'; see zarvik --help\n"},
        {"--frob", "zarvik: unknown option '--frob'; see zarvik --help\n"},
        {"help frob", "zarvik: unknown command 'frob'; see zarvik --help\n"},
        {"inspect", "zarvik inspect: expects an asset FILE; see zarvik inspect --help\n"},
        {"inspect a.zvk --all",
         "zarvik inspect: unknown option '--all'; see zarvik inspect --help\n"},
        {"inspect a.zvk b.zvk",
         "zarvik inspect: unexpected argument 'b.zvk'; see zarvik inspect --help\n"},
        {"play a.zvk --speed 2", "zarvik play: unknown option '--speed'; see zarvik play --help\n"},
        {"import a.gltf",
         "zarvik import: expects a SOURCE scene file and an OUTPUT asset file; see zarvik "
         "import --help\n"},
    };
    for (const auto& [arguments, message] : wrong) {
        const Output run = runExecutableOutput(arguments);
        EXPECT_EQ(run.status, Usage) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_EQ(run.err, message) << arguments;
    }
}

TEST(ZarvikTool, JsonListingParsesAndMatchesTheText) {
    const std::string path = temporaryPath("listed.zvk");
    const std::vector<char> file = sampleAssetFile();
    write(path, file);
    const nlohmann::json document = jsonListingOf(path);
    EXPECT_EQ(document["bytes"], file.size());
    EXPECT_TRUE(document["warnings"].empty());
    /* Decoded fields, by record */
    const auto chunkOf = [&](const std::string& magic) {
        for (const nlohmann::json& chunk : document["chunks"])
            if (chunk["magic"] == magic)
                return chunk["fields"];
        return nlohmann::json{};
    };
    EXPECT_EQ(chunkOf("Magic::Header")["chunkCount"], document["chunks"].size());
    EXPECT_EQ(chunkOf("Magic::Mesh")["vertexCount"], 24);
    EXPECT_EQ(chunkOf("Magic::Mesh")["attributes"][0]["name"], "Trade::MeshAttribute::Position");
    EXPECT_EQ(chunkOf("Magic::Pipeline")["enabledFeatures"],
              (nlohmann::json{"DEPTH_TEST", "CULL_BACK"}));

    /* Failures are the text listing's */
    const Output missing = runExecutableOutput("inspect --json " + path + ".missing");
    EXPECT_EQ(missing.status, Failure);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.rfind("zarvik: " + path + ".missing: ", 0), 0u);
}

TEST(ZarvikTool, MessagesNameThePathAndTheChunk) {
    const std::string missing = temporaryPath("missing.zvk");
    const Output run = capture([&] { return inspect(missing); });
    EXPECT_EQ(run.status, Failure);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "zarvik: " + missing + ": No such file or directory\n");

    EXPECT_EQ(capture([&] { return inspect(testing::TempDir()); }).err,
              "zarvik: " + testing::TempDir() + ": not a regular file\n");

    std::vector<char> file = sampleAssetFile();
    /* The chunk count of the header */
    file[20] = char(file[20] + 1);
    const Output damaged = capture([&] { return inspectAssetFile("sample.zvk", file); });
    EXPECT_EQ(damaged.err.rfind("zarvik: sample.zvk: chunk 0 (Magic::Header): chunk count ", 0), 0u)
        << damaged.err;

    /* An unknown chunk is listed after a warning */
    std::vector<char> extended = sampleAssetFile();
    Data::AssetChunk::create(Data::Magic(0x44434241), std::string_view{"opaque"}, extended);
    Data::updateHeaderData(extended);
    const std::string last = std::to_string(
        Data::AssetChunkView{extended}.as<Data::HeaderData>().header().chunkCount - 1);
    const Output unknown = capture([&] { return inspectAssetFile("more.zvk", extended); });
    EXPECT_EQ(unknown.status, Success);
    EXPECT_EQ(unknown.err, "zarvik: more.zvk: chunk " + last +
                               " (Magic(ABCD)): no record type of this library has this magic, "
                               "payload not checked\n");
    EXPECT_EQ(lines(unknown.out).back(), "chunk " + last + " Magic(ABCD), 6 bytes: not checked");
}

TEST(ZarvikTool, FontIsCompiledIntoAFileOfOneFontRecord) {
    const std::string path = temporaryPath("font.zvk");
    const std::string source = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    const Output compiled = capture([&] { return font(source, path); });
    EXPECT_EQ(compiled.status, Success);
    EXPECT_EQ(compiled.err, "");
    const std::uintmax_t size = std::filesystem::file_size(path);
    EXPECT_EQ(compiled.out, "zarvik: compiled 6253 glyphs of " + source + " into " + path + ", " +
                                std::to_string(size) + " bytes\n");
    const std::vector<std::string> listed = lines(capture([&] { return inspect(path); }).out);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2].rfind("chunk 1 Magic::Font, ", 0), 0u) << listed[2];
    EXPECT_NE(listed[2].find(": compiled font of 6253 glyphs and "), std::string::npos);
    EXPECT_EQ(jsonListingOf(path)["chunks"][1]["fields"]["glyphCount"], 6253);

    /* Not a font: nothing written */
    std::filesystem::remove(path);
    const Output failed = capture([&] { return font(path + ".missing", path); });
    EXPECT_EQ(failed.status, Failure);
    EXPECT_EQ(capture([&] { return font(ZARVIK_EXECUTABLE, path); }).err,
              std::string{"zarvik: "} + ZARVIK_EXECUTABLE +
                  ": Text::compileFont(): FreeType can't read the font, error 2\n");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(runExecutable("font " + source), Usage);
}

TEST(ZarvikTool, PlaysTheGraphsOfAFile) {
    const std::string path = temporaryPath("play.zvk");
    write(path, sampleAssetFile());

    /* Ten frames a second: the clips' "left" at 0.5 s fires in frame 5, on the boundary of
       the next update again, once per clip of the blend */
    const Output text = capture([&] { return play({path, 12, 10.0, false}); });
    EXPECT_EQ(text.status, Success);
    EXPECT_EQ(text.err, "");
    const std::vector<std::string> frames = lines(text.out);
    ASSERT_EQ(frames.size(), 12u);
    EXPECT_EQ(frames[0], "frame 1 at 0.100 s: 1 moved: Id(2); no events");
    EXPECT_EQ(frames[4], "frame 5 at 0.500 s: 1 moved: Id(2); events: left from component "
                         "Id(0), left from component Id(0)");

    /* The same as one JSON document */
    const Output json = capture([&] { return play({path, 30, 20.0, true}); });
    EXPECT_EQ(json.status, Success);
    const nlohmann::json document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["file"], path);
    ASSERT_EQ(document["components"].size(), 1u);
    EXPECT_EQ(document["components"][0]["targets"], nlohmann::json({1, 2}));
    ASSERT_EQ(document["frames"].size(), 30u);
    const nlohmann::json& tenth = document["frames"][9];
    EXPECT_EQ(tenth["frame"], 10);
    EXPECT_DOUBLE_EQ(tenth["time"].get<double>(), 0.5);
    EXPECT_EQ(tenth["events"].size(), 2u);
    EXPECT_EQ(tenth["events"][0]["name"], "left");
    ASSERT_EQ(tenth["moved"].size(), 1u);
    EXPECT_EQ(tenth["moved"][0]["object"], 2);
    /* The joint sways around its parent's place half a unit up */
    EXPECT_NEAR(tenth["moved"][0]["translation"][1].get<double>(), 0.5, 1.0e-5);
    std::size_t rights = 0;
    for (const nlohmann::json& frame : document["frames"])
        for (const nlohmann::json& event : frame["events"])
            rights += event["name"] == "right";
    EXPECT_EQ(rights, 2u);

    /* Nothing to play, and wrong usage */
    std::vector<char> empty;
    Data::appendHeaderData(empty);
    Data::updateHeaderData(empty);
    write(path, empty);
    EXPECT_EQ(capture([&] {
                  return play({path, 1, 60.0, false});
              }).err,
              "zarvik: " + path + ": no animation graph to play\n");
    for (const std::string options : {"--frames 0", "--fps -1", "--frames", "--loop"})
        EXPECT_EQ(runExecutable("play " + path + " " + options), Usage) << options;
    std::filesystem::remove(path);
}

} // namespace
} // namespace ZarvikEngine::Tool
