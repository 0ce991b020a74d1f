// Shared by the internal WGSL shaders: quaternion helpers

// v rotated by the unit quaternion q, stored x, y, z, w
fn rotateVector(q: vec4<f32>, v: vec3<f32>) -> vec3<f32> {
    return v + 2.0*cross(q.xyz, cross(q.xyz, v) + q.w*v);
}

// p transformed by the unit dual quaternion with real part real and dual part dual
fn transformPoint(real: vec4<f32>, dual: vec4<f32>, p: vec3<f32>) -> vec3<f32> {
    let translation = 2.0*(real.w*dual.xyz - dual.w*real.xyz + cross(real.xyz, dual.xyz));
    return rotateVector(real, p) + translation;
}
