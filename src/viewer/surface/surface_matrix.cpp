#include "viewer/surface/surface_matrix.h"

#include <cmath>
#include <numbers>

namespace korvo::surface {

Mat4 Mat4::operator*(const Mat4& b) const {
    Mat4 r;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += at(row, k) * b.at(k, col);
            r.at(row, col) = s;
        }
    return r;
}

std::array<float, 4> Mat4::apply(float x, float y, float z, float w) const {
    const float v[4] = {x, y, z, w};
    std::array<float, 4> r{};
    for (int row = 0; row < 4; ++row)
        for (int k = 0; k < 4; ++k) r[std::size_t(row)] += at(row, k) * v[k];
    return r;
}

Mat4 Mat4::rotation(float degrees, float x, float y, float z) {
    Mat4 r;
    const float len = std::sqrt(x * x + y * y + z * z);
    if (len == 0) return r;
    x /= len, y /= len, z /= len;
    const float a = degrees * std::numbers::pi_v<float> / 180.0f;
    const float c = std::cos(a), s = std::sin(a), t = 1 - c;
    r.at(0, 0) = t * x * x + c, r.at(0, 1) = t * x * y - s * z, r.at(0, 2) = t * x * z + s * y;
    r.at(1, 0) = t * x * y + s * z, r.at(1, 1) = t * y * y + c, r.at(1, 2) = t * y * z - s * x;
    r.at(2, 0) = t * x * z - s * y, r.at(2, 1) = t * y * z + s * x, r.at(2, 2) = t * z * z + c;
    return r;
}

Mat4 Mat4::translation(float x, float y, float z) {
    Mat4 r;
    r.at(0, 3) = x, r.at(1, 3) = y, r.at(2, 3) = z;
    return r;
}

Mat4 Mat4::scaling(float x, float y, float z) {
    Mat4 r;
    r.at(0, 0) = x, r.at(1, 1) = y, r.at(2, 2) = z;
    return r;
}

Mat4 Mat4::perspective(float fovyDegrees, float aspect, float zNear, float zFar) {
    Mat4 r;
    const float f = 1.0f / std::tan(fovyDegrees * std::numbers::pi_v<float> / 360.0f);
    r.at(0, 0) = f / aspect;
    r.at(1, 1) = f;
    r.at(2, 2) = (zFar + zNear) / (zNear - zFar);
    r.at(2, 3) = 2 * zFar * zNear / (zNear - zFar);
    r.at(3, 2) = -1;
    r.at(3, 3) = 0;
    return r;
}

Mat4 Mat4::lookAt(float eyeX, float eyeY, float eyeZ, float centreX, float centreY, float centreZ, float upX,
                  float upY, float upZ) {
    auto normalise = [](float v[3]) {
        const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (len > 0)
            for (int i = 0; i < 3; ++i) v[i] /= len;
    };
    float f[3] = {centreX - eyeX, centreY - eyeY, centreZ - eyeZ};
    normalise(f);
    float up[3] = {upX, upY, upZ};
    float s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
    normalise(s);
    const float u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    Mat4 r;
    for (int i = 0; i < 3; ++i) {
        r.at(0, i) = s[i];
        r.at(1, i) = u[i];
        r.at(2, i) = -f[i];
    }
    return r * translation(-eyeX, -eyeY, -eyeZ);
}

} // namespace korvo::surface
