#define i8 i32
#define i16 i32
#define u8 u32
#define u16 u32
#define f8 f32
#define f16 f32
#include "Common.wgsl"

// The vertex stage of every mesh, as Dynamic.vert. An object's transformation is three texels
// of the transformations texture, in rows of any width: the real and dual parts of its dual
// quaternion, then its scaling (w holds the material index).

struct ViewData {
    // Near plane, far plane, vertical field of view in radians, aspect ratio
    cameraParameters: vec4<f32>,
    // Offset and size in pixels
    viewport: vec4<f32>,
    worldToView: mat4x4<f32>,
    viewToWorld: mat4x4<f32>,
    // w is unused
    viewPosition: vec4<f32>,
    projectionMatrix: mat4x4<f32>,
    inverseProjectionMatrix: mat4x4<f32>,
    // Point, spot and directional lights
    lightCounts: vec4<u32>,
}

@group(0) @binding(0) var<uniform> view: ViewData;
@group(0) @binding(1) var transformations: texture_2d<f32>;

struct VertexInput {
    @location(0) position: vec3<f32>,
    @location(1) textureCoordinates: vec2<f16>,
    @location(2) color: vec4<f32>,
    @location(3) normal: vec3<f32>,
    @location(5) objectId: u16,
}

struct VertexOutput {
    @builtin(position) clipPosition: vec4<f32>,
    @location(0) position: vec3<f32>,
    @location(1) normal: vec3<f32>,
    @location(2) textureCoordinates: vec2<f32>,
    @location(3) color: vec4<f32>,
    @location(4) @interpolate(flat) objectId: u32,
}

fn transformationTexel(index: i32) -> vec4<f32> {
    let rowWidth = i32(textureDimensions(transformations, 0).x);
    return textureLoad(transformations, vec2<i32>(index % rowWidth, index/rowWidth), 0);
}

@vertex
fn main(input: VertexInput) -> VertexOutput {
    let first = i32(input.objectId)*3;
    let real = transformationTexel(first);
    let dual = transformationTexel(first + 1);
    let scaling = transformationTexel(first + 2).xyz;

    var output: VertexOutput;
    output.position = transformPoint(real, dual, input.position*scaling);
    // Normals scale inversely, so that they stay perpendicular to scaled surfaces
    output.normal = normalize(rotateVector(real, input.normal/scaling));
    output.textureCoordinates = vec2<f32>(input.textureCoordinates);
    output.color = input.color;
    output.objectId = input.objectId;
    output.clipPosition = view.projectionMatrix*(view.worldToView*vec4<f32>(output.position, 1.0));
    return output;
}
