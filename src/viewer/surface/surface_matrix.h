#pragma once
// A 4 x 4 matrix in OpenGL's layout (column-major, as glLoadMatrixf takes it) and the transforms the
// 3D view needs. Products multiply on the right, as the fixed-function calls glRotate, glTranslate
// and glScale do: a transform applied later acts in the model's own (already transformed) axes.
#include <array>

namespace korvo::surface {

struct Mat4 {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    float& at(int row, int col) { return m[std::size_t(col * 4 + row)]; }
    float at(int row, int col) const { return m[std::size_t(col * 4 + row)]; }
    bool operator==(const Mat4&) const = default;

    Mat4 operator*(const Mat4& b) const;
    // (x, y, z, w) transformed by the matrix.
    std::array<float, 4> apply(float x, float y, float z, float w = 1) const;

    static Mat4 rotation(float degrees, float x, float y, float z); // axis need not be unit length
    static Mat4 translation(float x, float y, float z);
    static Mat4 scaling(float x, float y, float z);
    // gluPerspective and gluLookAt, computed here so that no GLU library is needed.
    static Mat4 perspective(float fovyDegrees, float aspect, float zNear, float zFar);
    static Mat4 lookAt(float eyeX, float eyeY, float eyeZ, float centreX, float centreY, float centreZ, float upX,
                       float upY, float upZ);
};

} // namespace korvo::surface
