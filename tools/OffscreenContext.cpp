#include "OffscreenContext.h"

#include <algorithm>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "ZarvikEngine/Resource.h"
#include "ZarvikEngine/Shaders/InternalShaders.h"
#include "ZarvikEngine/Utils/Preprocessor.h"

namespace ZarvikEngine::Tool {

namespace {

/* The shader object, or nothing with the compiler's log in error */
GLuint compile(GLenum stage, std::string_view source, std::string& error) {
    const GLuint shader = glCreateShader(stage);
    const char* text = source.data();
    const GLint size = GLint(source.size());
    glShaderSource(shader, 1, &text, &size);
    glCompileShader(shader);
    GLint status, length;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status)
        return shader;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    error.resize(std::size_t(std::max(length, 1)));
    glGetShaderInfoLog(shader, length, nullptr, error.data());
    return 0;
}

} // namespace

OffscreenContext::OffscreenContext(std::uint32_t width, std::uint32_t height, int majorVersion,
                                   int minorVersion)
    : _pixels(std::size_t{width} * height * 4) {
#ifdef __SANITIZE_ADDRESS__
    /* Mesa never frees the framebuffer it makes for the context */
    __lsan::ScopedDisabler mesaLeaks;
#endif
    const int attributes[]{OSMESA_FORMAT,
                           OSMESA_RGBA,
                           OSMESA_DEPTH_BITS,
                           24,
                           OSMESA_PROFILE,
                           OSMESA_CORE_PROFILE,
                           OSMESA_CONTEXT_MAJOR_VERSION,
                           majorVersion,
                           OSMESA_CONTEXT_MINOR_VERSION,
                           minorVersion,
                           0};
    OSMesaContext context = OSMesaCreateContextAttribs(attributes, nullptr);
    if (context &&
        !OSMesaMakeCurrent(context, _pixels.data(), GL_UNSIGNED_BYTE, int(width), int(height))) {
        OSMesaDestroyContext(context);
        context = nullptr;
    }
    _context = context;
}

OffscreenContext::~OffscreenContext() {
    if (_context)
        OSMesaDestroyContext(static_cast<OSMesaContext>(_context));
}

std::uint32_t useProgram(std::string_view vertexStage, std::string_view fragmentStage,
                         std::string& error) {
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexStage, error);
    const GLuint fragment = vertex ? compile(GL_FRAGMENT_SHADER, fragmentStage, error) : 0;
    if (!fragment)
        return 0;
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    GLint linked;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        error = "the shaders don't link";
        return 0;
    }
    glUseProgram(program);
    return program;
}

std::string internalShader(std::string_view name, std::string_view version) {
    Utils::Preprocessor preprocessor{true};
    preprocessor << Resource{Shaders::InternalShadersGroup}.getString(name);
    return std::string{version} + "\n" + std::string{preprocessor.output()};
}

void bindViewAndIdentityObject(std::uint32_t program, const ViewData& view) {
    /* The identity dual quaternion and a scaling of one */
    const float transformation[]{0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 0};
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 3, 1, 0, GL_RGBA, GL_FLOAT, transformation);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glUniform1i(glGetUniformLocation(program, "transformations"), 0);

    GLuint uniforms;
    glGenBuffers(1, &uniforms);
    glBindBuffer(GL_UNIFORM_BUFFER, uniforms);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(view), &view, GL_STATIC_DRAW);
    glUniformBlockBinding(program, glGetUniformBlockIndex(program, "ViewData"), 0);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, uniforms);
}

} // namespace ZarvikEngine::Tool
