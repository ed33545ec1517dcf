#include "viewer/surface/surface_renderer.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLVersionFunctionsFactory>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace korvo::surface {

namespace {

constexpr int kSphereDivisions = 9;
constexpr float kSphereRadius = 3;
constexpr float kSurfaceAlpha = 0.95f;

// Mesa's software renderer takes some 10 to 30 MB for each frame of the full surface and gives it
// back at the frame's end; with glibc's default thresholds those blocks go to and come from the
// kernel every frame, and clearing the fresh pages took half of the frame time (a frame of the
// 256 x 256 grid: 57 ms before, 30 ms after, on two cores). Blocks up to 64 MiB now stay in the heap.
void keepLargeBlocksInTheHeap() {
#ifdef __GLIBC__
    static const bool done = [] {
        constexpr int kBytes = 64 << 20;
        mallopt(M_MMAP_THRESHOLD, kBytes);
        mallopt(M_TRIM_THRESHOLD, kBytes);
        return true;
    }();
    (void)done;
#endif
}

} // namespace

bool SurfaceRenderer::initialize() {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context) return false;
    gl_ = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(context);
    if (!gl_) return false;
    gl_->initializeOpenGLFunctions();
    keepLargeBlocksInTheHeap();
    built_ = false;

    gl_->glClearColor(0, 0, 0, 1);
    gl_->glEnable(GL_DEPTH_TEST);
    gl_->glShadeModel(GL_SMOOTH);
    // The model-view matrix scales, and unevenly: normals are renormalised after it.
    gl_->glEnable(GL_NORMALIZE);
    const std::array<float, 4> white{1, 1, 1, 1}, black{0, 0, 0, 1};
    gl_->glMaterialfv(GL_FRONT, GL_AMBIENT, white.data());
    gl_->glMaterialfv(GL_FRONT, GL_DIFFUSE, white.data());
    gl_->glMaterialfv(GL_FRONT, GL_SPECULAR, white.data());
    gl_->glMaterialfv(GL_FRONT, GL_EMISSION, black.data());
    gl_->glMaterialf(GL_FRONT, GL_SHININESS, 16);
    // The per-vertex colour of the table is the surface's ambient and diffuse colour; the white
    // specular highlight stays.
    gl_->glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    gl_->glEnable(GL_COLOR_MATERIAL);
    // One directional light from above and behind the viewer, fixed to the camera.
    const std::array<float, 4> ambient{0.25f, 0.25f, 0.25f, 1}, diffuse{0.8f, 0.8f, 0.8f, 1},
        specular{0.4f, 0.4f, 0.4f, 1}, position{0.3f, 1, 1, 0};
    gl_->glMatrixMode(GL_MODELVIEW);
    gl_->glLoadIdentity();
    gl_->glLightfv(GL_LIGHT0, GL_AMBIENT, ambient.data());
    gl_->glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse.data());
    gl_->glLightfv(GL_LIGHT0, GL_SPECULAR, specular.data());
    gl_->glLightfv(GL_LIGHT0, GL_POSITION, position.data());
    gl_->glEnable(GL_LIGHTING);
    gl_->glEnable(GL_LIGHT0);

    // The marker sphere: rings of latitude (stacks) times meridians (slices); on a unit sphere the
    // normal is the position.
    sphere_.clear();
    sphereIndices_.clear();
    const float pi = std::numbers::pi_v<float>;
    for (int stack = 0; stack <= kSphereDivisions; ++stack) {
        const float theta = pi * float(stack) / kSphereDivisions;
        for (int slice = 0; slice <= kSphereDivisions; ++slice) {
            const float phi = 2 * pi * float(slice) / kSphereDivisions;
            sphere_.insert(sphere_.end(), {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)});
        }
    }
    const auto at = [](int stack, int slice) { return std::uint32_t(stack * (kSphereDivisions + 1) + slice); };
    for (int stack = 0; stack < kSphereDivisions; ++stack)
        for (int slice = 0; slice < kSphereDivisions; ++slice)
            sphereIndices_.insert(sphereIndices_.end(), {at(stack, slice), at(stack, slice + 1), at(stack + 1, slice + 1),
                                                         at(stack + 1, slice)});
    return true;
}

void SurfaceRenderer::resize(int width, int height) {
    projection_ = projectionFor(width, height);
    if (gl_) gl_->glViewport(0, 0, std::max(width, 1), std::max(height, 1));
}

std::string SurfaceRenderer::description() const {
    if (!gl_) return "no OpenGL";
    auto text = [this](GLenum name) {
        const auto* s = reinterpret_cast<const char*>(gl_->glGetString(name));
        return std::string(s ? s : "?");
    };
    return text(GL_RENDERER) + ", OpenGL " + text(GL_VERSION);
}

void SurfaceRenderer::rebuild(const SurfaceScene& scene) {
    const ViewParameters& p = scene.params();
    const int step = std::clamp(p.step, 1, 4);
    const int last = kGridPoints - 1;
    const int m = last / step + 1; // grid points per axis at this step
    vertices_.resize(std::size_t(m) * m * 3);
    normals_.resize(std::size_t(m) * m * 3);
    colours_.resize(std::size_t(m) * m * 4);
    const HeightGrid& grid = scene.grid();
    const ColourTable3d& table = scene.colours();
    std::size_t v = 0;
    for (int a = 0; a < m; ++a)
        for (int b = 0; b < m; ++b, ++v) {
            const int c = std::min(a * step, last), r = std::min(b * step, last);
            const double h = grid.at(c, r);
            const auto entry = std::size_t(std::clamp<long>(std::lround(h), 0, kColourEntries - 1));
            const Normal& n = scene.normals().atGrid(c, r);
            vertices_[v * 3] = float((c - 128) * p.energyScale);
            vertices_[v * 3 + 1] = float(h * p.heightScale);
            vertices_[v * 3 + 2] = float(r - 128);
            normals_[v * 3] = n.x, normals_[v * 3 + 1] = n.y, normals_[v * 3 + 2] = n.z;
            colours_[v * 4] = float(table.R[entry]);
            colours_[v * 4 + 1] = float(table.G[entry]);
            colours_[v * 4 + 2] = float(table.B[entry]);
            colours_[v * 4 + 3] = kSurfaceAlpha;
        }
    indices_.clear();
    indices_.reserve(std::size_t(m - 1) * (m - 1) * 6);
    const auto at = [m](int a, int b) { return std::uint32_t(a * m + b); };
    // Each cell as two triangles: drivers split quadrilaterals anyway, and would do it every frame.
    for (int a = 0; a + 1 < m; ++a)
        for (int b = 0; b + 1 < m; ++b)
            indices_.insert(indices_.end(), {at(a, b), at(a + 1, b), at(a + 1, b + 1), at(a, b), at(a + 1, b + 1), at(a, b + 1)});
    builtRevision_ = scene.revision();
    builtStep_ = step;
    built_ = true;
}

void SurfaceRenderer::drawSpheres(const SurfaceScene& scene) {
    const ViewParameters& p = scene.params();
    gl_->glColor4f(1, 0.1f, 0.1f, 1);
    gl_->glVertexPointer(3, GL_FLOAT, 0, sphere_.data());
    gl_->glNormalPointer(GL_FLOAT, 0, sphere_.data());
    const float x = float(128 * p.energyScale), top = float(255 * p.heightScale);
    for (float cx : {-x, x})
        for (float cy : {0.0f, top})
            for (float cz : {-128.0f, 128.0f}) {
                gl_->glPushMatrix();
                gl_->glTranslatef(cx, cy, cz);
                gl_->glScalef(kSphereRadius, kSphereRadius, kSphereRadius);
                gl_->glDrawElements(GL_QUADS, GLsizei(sphereIndices_.size()), GL_UNSIGNED_INT, sphereIndices_.data());
                gl_->glPopMatrix();
            }
}

void SurfaceRenderer::draw(const SurfaceScene& scene) {
    if (!gl_) return;
    if (!built_ || builtRevision_ != scene.revision() || builtStep_ != std::clamp(scene.params().step, 1, 4))
        rebuild(scene);
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl_->glMatrixMode(GL_PROJECTION);
    gl_->glLoadMatrixf(projection_.m.data());
    gl_->glMatrixMode(GL_MODELVIEW);
    gl_->glLoadMatrixf(scene.modelView().m.data());
    gl_->glPolygonMode(GL_FRONT_AND_BACK, scene.params().wireFrame ? GL_LINE : GL_FILL);

    gl_->glEnableClientState(GL_VERTEX_ARRAY);
    gl_->glEnableClientState(GL_NORMAL_ARRAY);
    drawSpheres(scene);

    gl_->glEnableClientState(GL_COLOR_ARRAY);
    gl_->glVertexPointer(3, GL_FLOAT, 0, vertices_.data());
    gl_->glNormalPointer(GL_FLOAT, 0, normals_.data());
    gl_->glColorPointer(4, GL_FLOAT, 0, colours_.data());
    gl_->glDrawElements(GL_TRIANGLES, GLsizei(indices_.size()), GL_UNSIGNED_INT, indices_.data());
    gl_->glDisableClientState(GL_COLOR_ARRAY);
    gl_->glDisableClientState(GL_NORMAL_ARRAY);
    gl_->glDisableClientState(GL_VERTEX_ARRAY);
}

} // namespace korvo::surface
