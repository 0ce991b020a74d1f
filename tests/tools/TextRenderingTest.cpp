#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "OffscreenContext.h"
#include "ZarvikEngine/Text/FontTestHelpers.h"
#include "ZarvikEngine/Text/GlyphCoverage.h"
#include "ZarvikEngine/Text/Layout.h"
#include "ZarvikEngine/Text/Shaper.h"

namespace ZarvikEngine::Tool {
namespace {

using Text::FontView;
using Text::TextVertex;

constexpr int Width = 160, Height = 128;

struct Geometry {
    std::vector<TextVertex> vertices;
    std::vector<std::uint16_t> indices;
};

/* The layout's geometry of a line of text, a scene unit a pixel and y up, the glyphs set
   0.25 em apart beyond their outlines so that no two glyphs' pixels meet: white, over a black
   outline layer if asked for */
Geometry laidOut(const FontView& font, std::string_view text, float pixelsPerEm, bool outline) {
    Text::Shaper shaper{font};
    Text::LayoutSettings settings;
    settings.scale = {pixelsPerEm, -pixelsPerEm};
    settings.tracking = 0.25f + (outline ? 2.0f * Text::OutlineWidth : 0.0f);
    settings.effect = outline ? Text::Effect::Outline : Text::Effect::None;
    Text::TextLayout layout{font, shaper, settings};
    Text::LineRecord line;
    EXPECT_EQ(layout.breakLines(text, {&line, 1}), 1u);
    Geometry geometry{std::vector<TextVertex>(layout.vertexCount()),
                      std::vector<std::uint16_t>(3 * layout.triangleCount())};
    EXPECT_EQ(layout.writeGeometry(geometry.vertices, geometry.indices).vertices,
              geometry.vertices.size());
    return geometry;
}

/* RGBA of each pixel from 0 to 1, rows from the bottom */
using Picture = std::vector<Vector4>;

struct Camera {
    Matrix4 worldToView, projection;
};

/* A pixel for a scene unit, the point middle of the scene at the picture's centre, turned by
   angle about it */
Camera turned(Vector2 middle, float angle) {
    const Vector3 centre{Width / 2.0f, Height / 2.0f, 0.0f};
    return {glm::translate(glm::rotate(glm::translate(Matrix4{1.0f}, centre), angle,
                                       Vector3{0.0f, 0.0f, 1.0f}),
                           -Vector3{middle, 0.0f}),
            glm::ortho(0.0f, float(Width), 0.0f, float(Height), -1.0f, 1.0f)};
}

/* Looking at the point middle of the scene in perspective from below, at angle from straight
   on, so that the text's bottom is nearer and larger */
Camera tilted(Vector2 middle, float angle) {
    const Vector3 centre{middle, 0.0f};
    const float distance = 1.2f * Height;
    const Vector3 eye = centre + distance * Vector3{0.0f, -std::sin(angle), std::cos(angle)};
    return {glm::lookAt(eye, centre, Vector3{0.0f, 1.0f, 0.0f}),
            glm::perspective(0.8f, float(Width) / float(Height), 1.0f, 4.0f * distance)};
}

/* Draws the quads with Text.vert and Text.frag, blended with premultiplied alpha onto
   transparent black, the font's sections in storage buffers as the file has them */
Picture render(const FontView& font, const Geometry& geometry, const Camera& camera) {
    const OffscreenContext context{Width, Height, 4, 3};
    EXPECT_TRUE(context);
    std::string error;
    const GLuint program = useProgram(internalShader("Text.vert", "#version 310 es"),
                                      internalShader("Text.frag", "#version 310 es"), error);
    EXPECT_NE(program, 0u) << error;

    bindViewAndIdentityObject(program, {{},
                                        {0.0f, 0.0f, float(Width), float(Height)},
                                        camera.worldToView,
                                        glm::inverse(camera.worldToView),
                                        {},
                                        camera.projection,
                                        glm::inverse(camera.projection),
                                        {}});
    glUniform1ui(glGetUniformLocation(program, "objectId"), 0);

    const auto bindStorage = [](GLuint binding, auto section) {
        GLuint buffer;
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_SHADER_STORAGE_BUFFER, buffer);
        glBufferData(GL_SHADER_STORAGE_BUFFER, GLsizeiptr(section.size_bytes()), section.data(),
                     GL_STATIC_DRAW);
        glBindBufferBase(GL_SHADER_STORAGE_BUFFER, binding, buffer);
    };
    bindStorage(0, font.curves());
    bindStorage(1, font.bands());
    bindStorage(2, font.bandCurves());

    GLuint vertexArray, buffers[2];
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(geometry.vertices.size() * sizeof(TextVertex)),
                 geometry.vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 GLsizeiptr(geometry.indices.size() * sizeof(std::uint16_t)),
                 geometry.indices.data(), GL_STATIC_DRAW);
    const struct {
        GLint components;
        GLenum type;
        std::size_t offset;
    } attributes[]{{2, GL_FLOAT, offsetof(TextVertex, position)},
                   {2, GL_FLOAT, offsetof(TextVertex, emCoordinates)},
                   {4, GL_FLOAT, offsetof(TextVertex, bandBounds)},
                   {4, GL_FLOAT, offsetof(TextVertex, bands)},
                   {4, GL_FLOAT, offsetof(TextVertex, dilation)},
                   {4, GL_UNSIGNED_BYTE, offsetof(TextVertex, color)}};
    /* The custom attributes 4 to 9 of the layout */
    GLuint location = 4;
    for (const auto& attribute : attributes) {
        glVertexAttribPointer(location, attribute.components, attribute.type,
                              attribute.type == GL_UNSIGNED_BYTE, sizeof(TextVertex),
                              reinterpret_cast<const void*>(attribute.offset));
        glEnableVertexAttribArray(location++);
    }

    glViewport(0, 0, Width, Height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDrawElements(GL_TRIANGLES, GLsizei(geometry.indices.size()), GL_UNSIGNED_SHORT, nullptr);
    glFinish();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    Picture picture;
    const std::vector<std::uint8_t>& pixels = context.pixels();
    for (std::size_t i = 0; i != pixels.size(); i += 4)
        picture.push_back(Vector4{pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]} / 255.0f);
    return picture;
}

/* Where the ray through a point of the picture, in pixels, meets the scene's z = 0 plane */
Vector2 sceneAt(const Matrix4& pictureToScene, Vector2 pixel) {
    const Vector2 ndc = pixel / Vector2{Width, Height} * 2.0f - 1.0f;
    const Vector4 near = pictureToScene * Vector4{ndc, -1.0f, 1.0f};
    const Vector4 far = pictureToScene * Vector4{ndc, 1.0f, 1.0f};
    const Vector3 a = Vector3{near} / near.w, b = Vector3{far} / far.w;
    return Vector2{a + (b - a) * (a.z / (a.z - b.z))};
}

/* What the CPU computes for a quad's glyph at a point of the scene, em units per pixel
   across the picture along each em axis given: the glyph's coverage, or the outline layer's
   opacity */
float cpuValue(const FontView& font, std::span<const TextVertex, 4> quad, Vector2 point,
               Vector2 emPerPixel) {
    const TextVertex& corner = quad[0];
    Text::GlyphRecord glyph{};
    glyph.boundsMin = Vector2{corner.bandBounds};
    glyph.boundsMax = Vector2{corner.bandBounds.z, corner.bandBounds.w};
    glyph.firstBand = std::uint32_t(corner.bands.x);
    glyph.horizontalBandCount = std::uint16_t(corner.bands.y);
    glyph.verticalBandCount = std::uint16_t(corner.bands.z);
    const Vector2 emPerSceneUnit{corner.dilation.z, corner.dilation.w};
    const Vector2 em = corner.emCoordinates + (point - corner.position) * emPerSceneUnit;
    /* The scale the shader takes: that of the axis with the smaller pixels */
    const float pixelsPerEm = 1.0f / std::min(emPerPixel.x, emPerPixel.y);
    const float outlineWidth = corner.bands.w;
    return outlineWidth != 0.0f ? Text::outlineCoverage(font, glyph, em, pixelsPerEm, outlineWidth)
                                : Text::coverage(font, glyph, em, pixelsPerEm);
}

/* Draws the geometry and compares each pixel with the CPU at the point of the scene its centre
   shows: red is the glyphs' coverage (they are white), alpha that over the outline layer
   (black, drawn first) */
void expectDrawnLikeOnTheCpu(const FontView& font, const Geometry& geometry, const Camera& camera) {
    const Picture picture = render(font, geometry, camera);
    const Matrix4 pictureToScene = glm::inverse(camera.projection * camera.worldToView);
    const Vector2 emPerSceneUnit{geometry.vertices[0].dilation.z, geometry.vertices[0].dilation.w};
    float max = 0.0f;
    double mean = 0.0;
    for (int y = 0; y != Height; ++y)
        for (int x = 0; x != Width; ++x) {
            const Vector2 pixel{float(x) + 0.5f, float(y) + 0.5f};
            const Vector2 centre = sceneAt(pictureToScene, pixel);
            /* Each em axis's change across the picture, as the shader's derivatives */
            const Vector2 alongX = (sceneAt(pictureToScene, pixel + Vector2{0.5f, 0.0f}) -
                                    sceneAt(pictureToScene, pixel - Vector2{0.5f, 0.0f})) *
                                   emPerSceneUnit;
            const Vector2 alongY = (sceneAt(pictureToScene, pixel + Vector2{0.0f, 0.5f}) -
                                    sceneAt(pictureToScene, pixel - Vector2{0.0f, 0.5f})) *
                                   emPerSceneUnit;
            const Vector2 emPerPixel{glm::length(Vector2{alongX.x, alongY.x}),
                                     glm::length(Vector2{alongX.y, alongY.y})};
            float glyphs = 0.0f, outlines = 0.0f;
            /* The glyphs lie apart, so at most one quad of each layer is nonzero */
            for (std::size_t i = 0; i != geometry.vertices.size(); i += 4) {
                const std::span<const TextVertex, 4> quad{geometry.vertices.data() + i, 4};
                (quad[0].bands.w != 0.0f ? outlines : glyphs) +=
                    cpuValue(font, quad, centre, emPerPixel);
            }
            const Vector4& drawn = picture[std::size_t(y * Width + x)];
            for (const float d :
                 {drawn.r - glyphs, drawn.a - (glyphs + outlines * (1.0f - glyphs))}) {
                max = std::max(max, std::abs(d));
                mean += std::abs(d) / (2.0 * Width * Height);
            }
        }
    /* Rounding to eight bits, twice where the glyph is blended over its outline. Quads that
       don't reach far enough miss pixels by up to half. */
    EXPECT_LE(max, 1.5f / 255.0f);
    EXPECT_LE(mean, 1.0e-4);
    std::cout << "max difference " << max << ", mean " << mean << std::endl;
}

TEST(TextRendering, ShadersDrawGlyphsAsTheCpuReference) {
    const FontView font{ZarvikEngine::Test::compiledDejaVuSans()};
    const struct {
        const char* text;
        float pixelsPerEm;
        bool outline;
    } cases[]{{"Rg&", 40.0f, false}, {"Quartz 5%", 13.7f, false}, {"Ag", 30.0f, true}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        std::cout << test.text << " at " << test.pixelsPerEm << " px per em"
                  << (test.outline ? " with an outline" : "") << ": ";
        /* The line's pen starts at (3.3, 18.6) in the picture */
        expectDrawnLikeOnTheCpu(font, laidOut(font, test.text, test.pixelsPerEm, test.outline),
                                turned({Width / 2.0f - 3.3f, Height / 2.0f - 18.6f}, 0.0f));
    }
}

/* The quads grow by half a pixel on the screen, and the pixel size comes from the em
   coordinates' derivatives, however the text lies */
TEST(TextRendering, TurnedAndTiltedTextIsDrawnAsTheCpuReference) {
    const FontView font{ZarvikEngine::Test::compiledDejaVuSans()};
    const Geometry geometry = laidOut(font, "Rg&", 30.0f, true);
    /* The line's middle */
    const Vector2 middle{50.3f, 7.6f};
    for (const float angle : {0.3f, 0.785f, 2.0f}) {
        std::cout << "Turned by " << angle << ": ";
        expectDrawnLikeOnTheCpu(font, geometry, turned(middle, angle));
    }
    for (const float angle : {0.5f, 1.0f}) {
        std::cout << "Tilted by " << angle << ": ";
        expectDrawnLikeOnTheCpu(font, geometry, tilted(middle, angle));
    }
}

} // namespace
} // namespace ZarvikEngine::Tool
