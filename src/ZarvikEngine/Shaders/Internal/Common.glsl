/* Shared by the internal shaders: precision, constants, quaternion and direction helpers, and
   the inputs and output of passes over the whole screen */
precision highp float;
precision highp int;
precision highp sampler2D;
precision highp usampler2D;
precision highp samplerCube;

const float PI = 3.14159265358979;

float luminance(vec3 color) {
    return dot(color, vec3(0.2126, 0.7152, 0.0722));
}

/* v rotated by the unit quaternion q, stored x, y, z, w */
vec3 rotateVector(vec4 q, vec3 v) {
    return v + 2.0*cross(q.xyz, cross(q.xyz, v) + q.w*v);
}

/* p transformed by the unit dual quaternion with real part real and dual part dual */
vec3 transformPoint(vec4 real, vec4 dual, vec3 p) {
    vec3 translation = 2.0*(real.w*dual.xyz - dual.w*real.xyz + cross(real.xyz, dual.xyz));
    return rotateVector(real, p) + translation;
}

/* The direction an equirectangular image shows at uv: u turns around +Y starting behind the
   viewer, v goes from straight down to straight up */
vec3 equirectangularDirection(vec2 uv) {
    float phi = (uv.x - 0.5)*2.0*PI;
    float theta = (uv.y - 0.5)*PI;
    return vec3(cos(theta)*sin(phi), sin(theta), -cos(theta)*cos(phi));
}

#ifdef SHADER_TYPE_SCREENSPACE_QUAD
in vec2 ndcCoordinates;
in vec2 textureCoordinates;
layout(location = 0) out vec4 outColor;
#endif
