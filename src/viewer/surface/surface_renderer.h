#pragma once
// Draws a SurfaceScene with fixed-function OpenGL (a compatibility context of version 1.1 or later):
// eight marker spheres at the corners of the model's box and the height surface as lit, coloured
// quadrilaterals. The vertex, normal and colour arrays are built from the scene only when its
// arrays, scales or the resolution step change; a frame issues them with one glDrawElements.
#include "viewer/surface/surface_scene.h"

#include <cstdint>
#include <string>
#include <vector>

class QOpenGLFunctions_1_1;

namespace korvo::surface {

class SurfaceRenderer {
public:
    // With the context to draw in current. false when it offers no fixed-function OpenGL.
    bool initialize();
    void resize(int width, int height);
    // One frame into the current framebuffer (the caller swaps or reads it).
    void draw(const SurfaceScene& scene);
    // GL_RENDERER and GL_VERSION of the context, for the benchmark's report.
    std::string description() const;
    // Quadrilaterals issued by the last frame.
    std::size_t quadCount() const { return indices_.size() / 6; }

private:
    void rebuild(const SurfaceScene& scene);
    void drawSpheres(const SurfaceScene& scene);

    QOpenGLFunctions_1_1* gl_ = nullptr;
    Mat4 projection_ = projectionFor(1, 1);
    std::vector<float> vertices_, normals_, colours_;
    std::vector<std::uint32_t> indices_;
    std::uint64_t builtRevision_ = 0;
    int builtStep_ = 0;
    bool built_ = false;
    // Unit sphere, 9 x 9 subdivisions.
    std::vector<float> sphere_;
    std::vector<std::uint32_t> sphereIndices_;
};

} // namespace korvo::surface
