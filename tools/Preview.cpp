#include "Preview.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <fmt/format.h>
#include <stb_image_write.h>

#include "Commands.h"
#include "OffscreenContext.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Tools/MeshTools.h"
#include "ZarvikEngine/Tools/Normals.h"

namespace ZarvikEngine::Tool {

namespace Preview {

Camera frame(const BoundingSphere& sphere, float aspectRatio) {
    const float radius = (sphere.isEmpty() ? 1.0f : sphere.radius()) * 1.1f;
    /* The narrower of the two fields of view decides */
    const float halfAngle = std::min(VerticalFieldOfView * 0.5f,
                                     std::atan(std::tan(VerticalFieldOfView * 0.5f) * aspectRatio));
    const float distance = radius / std::sin(halfAngle);
    Camera camera;
    camera.position = sphere.center() + viewDirection() * distance;
    camera.worldToView = glm::lookAt(camera.position, sphere.center(), Vector3{0.0f, 1.0f, 0.0f});
    camera.projection = glm::perspective(VerticalFieldOfView, aspectRatio,
                                         distance - radius * 1.01f, distance + radius * 1.01f);
    return camera;
}

} // namespace Preview

namespace {

using Data::MeshData;
using Trade::MeshAttribute;

/* Triangles without indices, as drawn */
struct Triangles {
    std::vector<Vector3> positions, normals;
};

template<class T>
float component(const char* data, bool normalized) {
    T value;
    std::memcpy(&value, data, sizeof(T));
    if constexpr (std::is_integral_v<T>)
        return normalized ? unpack<float>(value) : float(value);
    else
        return value;
}

/* Up to three components of an attribute of floats or 8- and 16-bit integers as a Vector3,
   the missing ones zero; nothing for other formats */
std::optional<std::vector<Vector3>> vectors(const Trade::MeshData& mesh, MeshAttribute name) {
    const std::optional<std::uint32_t> id = mesh.findAttributeId(name);
    if (!id)
        return {};
    const VertexFormat format = mesh.attributeFormat(*id);
    const VertexFormat componentFormat = vertexFormatComponentFormat(format);
    const bool normalized = isVertexFormatNormalized(format);
    const std::uint32_t components = std::min(vertexFormatComponentCount(format), 3u);
    float (*read)(const char*, bool);
    switch (vertexFormat(componentFormat, 1, false)) {
    case VertexFormat::Float:
        read = component<float>;
        break;
    case VertexFormat::UnsignedByte:
        read = component<std::uint8_t>;
        break;
    case VertexFormat::Byte:
        read = component<std::int8_t>;
        break;
    case VertexFormat::UnsignedShort:
        read = component<std::uint16_t>;
        break;
    case VertexFormat::Short:
        read = component<std::int16_t>;
        break;
    default:
        return {};
    }
    const std::size_t size = vertexFormatSize(componentFormat);
    const StridedArrayView2D<const char> rows = mesh.attribute(*id);
    std::vector<Vector3> out(mesh.vertexCount());
    for (std::size_t i = 0; i != out.size(); ++i) {
        const char* row = rows.data() + std::ptrdiff_t(i) * rows.stride()[0];
        for (std::uint32_t j = 0; j != components; ++j)
            out[i][j] = read(row + j * size, normalized);
    }
    return out;
}

/* The record's triangles, with flat normals where it has none; nothing, after a warning, when
   there are no positions it can read */
std::optional<Triangles> triangles(const MeshData& record, std::size_t index) {
    const auto leftOut = [&](std::string_view why) {
        Warning{} << fmt::format("zarvik preview: mesh {} is left out, {}", index, why);
        return std::nullopt;
    };
    if (record.header().compression)
        return leftOut("its data is compressed");
    Trade::MeshData mesh = record.meshCopy();
    if (mesh.isIndexed())
        mesh = MeshTools::duplicate(mesh);
    std::optional<std::vector<Vector3>> positions = vectors(mesh, MeshAttribute::Position);
    if (!positions)
        return leftOut("it has no positions in a format the preview reads");
    positions->resize(positions->size() / 3 * 3);
    if (positions->empty())
        return leftOut("it has no triangles");
    Triangles out{std::move(*positions), {}};
    if (std::optional<std::vector<Vector3>> normals = vectors(mesh, MeshAttribute::Normal)) {
        out.normals = std::move(*normals);
        out.normals.resize(out.positions.size());
    } else {
        out.normals.resize(out.positions.size());
        MeshTools::generateFlatNormalsInto(StridedArrayView1D<const Vector3>{out.positions},
                                           StridedArrayView1D<Vector3>{out.normals});
    }
    return out;
}

constexpr std::string_view FragmentStage = R"(#version 300 es
precision highp float;
in vec3 fragmentPosition;
in vec3 fragmentNormal;
uniform vec3 cameraPosition;
uniform vec3 baseColor;
uniform vec3 lightDirection;
uniform float ambient;
layout(location = 0) out vec4 color;

void main() {
    /* Lit on the side the camera sees, so that open surfaces show either side alike */
    vec3 normal = fragmentNormal;
    if (dot(normal, cameraPosition - fragmentPosition) < 0.0)
        normal = -normal;
    float light = ambient + (1.0 - ambient)*max(dot(normal, lightDirection), 0.0);
    color = vec4(baseColor*light, 1.0);
}
)";

/* Draws the triangles with the camera into the current context; a message when the shaders
   don't build */
std::optional<std::string> draw(const std::vector<Triangles>& meshes, const Preview::Camera& camera,
                                std::uint32_t width, std::uint32_t height) {
    std::string error;
    const GLuint program =
        useProgram(internalShader("Dynamic.vert", "#version 300 es"), FragmentStage, error);
    if (!program)
        return "the preview shaders don't build: " + error;
    glVertexAttribI4ui(5, 0, 0, 0, 0);

    const Matrix4 projection = camera.projection;
    bindViewAndIdentityObject(
        program, {{0.0f, 0.0f, Preview::VerticalFieldOfView, float(width) / float(height)},
                  {0.0f, 0.0f, float(width), float(height)},
                  camera.worldToView,
                  glm::inverse(camera.worldToView),
                  {camera.position, 0.0f},
                  projection,
                  glm::inverse(projection),
                  {}});
    glUniform3fv(glGetUniformLocation(program, "cameraPosition"), 1, &camera.position[0]);
    const Vector3 baseColor = Preview::baseColor(), light = Preview::lightDirection();
    glUniform3fv(glGetUniformLocation(program, "baseColor"), 1, &baseColor[0]);
    glUniform3fv(glGetUniformLocation(program, "lightDirection"), 1, &light[0]);
    glUniform1f(glGetUniformLocation(program, "ambient"), Preview::Ambient);

    glViewport(0, 0, GLsizei(width), GLsizei(height));
    glEnable(GL_DEPTH_TEST);
    const auto& background = Preview::Background;
    glClearColor(background[0] / 255.0f, background[1] / 255.0f, background[2] / 255.0f,
                 background[3] / 255.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    GLuint vertexArray;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    for (const Triangles& mesh : meshes) {
        std::vector<Vector3> vertices;
        for (std::size_t i = 0; i != mesh.positions.size(); ++i) {
            vertices.push_back(mesh.positions[i]);
            vertices.push_back(mesh.normals[i]);
        }
        GLuint buffer;
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(Vector3)),
                     vertices.data(), GL_STATIC_DRAW);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 2 * sizeof(Vector3), nullptr);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(3, 3, GL_FLOAT, GL_FALSE, 2 * sizeof(Vector3),
                              reinterpret_cast<const void*>(sizeof(Vector3)));
        glEnableVertexAttribArray(3);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(mesh.positions.size()));
        glDeleteBuffers(1, &buffer);
    }
    glFinish();
    return {};
}

} // namespace

int preview(const PreviewOptions& options) {
    const std::optional<std::vector<char>> file = readFile(options.path);
    if (!file)
        return Failure;
    const Data::AssetFileValidation validation = Data::validateAssetFile(*file);
    if (!validation.valid()) {
        reportError(options.path, *validation.error);
        return Failure;
    }

    std::vector<Triangles> meshes;
    std::vector<Vector3> allPositions;
    std::size_t meshIndex = 0;
    for (Data::AssetChunkView chunk{*file};; chunk = chunk.next()) {
        if (chunk.header().magic == MeshData::magic) {
            if (!options.mesh || *options.mesh == meshIndex) {
                if (std::optional<Triangles> mesh = triangles(chunk.as<MeshData>(), meshIndex)) {
                    allPositions.insert(allPositions.end(), mesh->positions.begin(),
                                        mesh->positions.end());
                    meshes.push_back(std::move(*mesh));
                }
            }
            ++meshIndex;
        }
        if (!chunk.hasNext())
            break;
    }
    if (options.mesh && *options.mesh >= meshIndex) {
        reportError(options.path,
                    fmt::format("there is no mesh {}, the file has {}", *options.mesh, meshIndex));
        return Failure;
    }
    if (meshes.empty()) {
        reportError(options.path, "there are no meshes to preview");
        return Failure;
    }

    const OffscreenContext context{options.width, options.height};
    if (!context) {
        reportError(options.path, "can't create an off-screen OpenGL context");
        return Failure;
    }
    const Preview::Camera camera =
        Preview::frame(boundingSphere(StridedArrayView1D<const Vector3>{allPositions}),
                       float(options.width) / float(options.height));
    if (const std::optional<std::string> error =
            draw(meshes, camera, options.width, options.height)) {
        reportError(options.path, *error);
        return Failure;
    }

    /* Rows come bottom first */
    stbi_flip_vertically_on_write(1);
    if (!stbi_write_png(options.output.c_str(), int(options.width), int(options.height), 4,
                        context.pixels().data(), int(options.width * 4))) {
        reportError(options.output, "can't write the PNG file");
        return Failure;
    }
    Debug{} << "zarvik: previewed" << meshes.size() << "of" << meshIndex << "meshes of"
            << options.path << "into" << options.output << Debug::nospace
            << fmt::format(", {}x{} pixels", options.width, options.height);
    return Success;
}

} // namespace ZarvikEngine::Tool
