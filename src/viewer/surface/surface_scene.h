#pragma once
// One viewer window's 3D view: the arrays a frame draws (height grid, normals, colour table), the
// view parameters, the model-view matrix and the key recorder. Plain C++; the window's OpenGL widget
// draws it and hands it the keys, the tests drive it directly.
#include "viewer/surface/surface_keys.h"
#include "viewer/surface/surface_matrix.h"
#include "viewer/surface/surface_model.h"
#include "viewer/workspace.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvo::surface {

// The model-view matrix of a new view: scale (0.45, 0.6, 0.45), the camera at (128, 15, 348.16)
// looking at (128, 0, 0) with y up, translation by 128 along x, 55 degrees about x, scale 0.5.
Mat4 initialModelView();
// The projection on every resize: perspective with near plane 0.1 and far plane 256.
Mat4 projectionFor(int width, int height);

class SurfaceScene {
public:
    explicit SurfaceScene(const tvar& ws, std::string keyFile = "tasten.txt");

    // "3D Mode" switched on: key log cleared, palette row 0, scales back to their start, then the
    // grid, normals and colour table from the shown spectra and the matrix of a new view. false
    // when refused: *message holds why (empty when nothing is shown, which is refused silently).
    bool start(std::string* message);
    // "3D Mode" switched off: the run flag cleared, no more frames.
    void stop();
    bool running() const { return keys_.params.running; }

    // A key press; returns the messages to show (a key file that could not be written or read, a
    // rebuild that the spectra refuse).
    std::vector<std::string> press(std::uint16_t code);
    void release() { keys_.release(); }
    // The window was repainted: a few frames to draw.
    void repainted() { keys_.params.frameCounter = kFramesAfterRepaint; }
    // Whether a frame is due, and its bookkeeping once drawn.
    bool frameDue() const { return running() && keys_.params.frameCounter > 0; }
    void frameDrawn(double milliseconds);

    const ViewParameters& params() const { return keys_.params; }
    const std::vector<std::uint16_t>& keyLog() const { return keys_.log; }
    const HeightGrid& grid() const { return grid_; }
    const NormalGrid& normals() const { return normals_; }
    const ColourTable3d& colours() const { return colours_; }
    const Mat4& modelView() const { return modelView_; }
    // Counts every change of what the vertex arrays hold (heights, normals, colours, scales), so a
    // renderer rebuilds them only when needed.
    std::uint64_t revision() const { return revision_; }

private:
    void apply(const KeyEffect& e, std::vector<std::string>& messages);
    void replay(std::vector<std::string>& messages);

    const tvar& ws_;
    std::string keyFile_;
    SurfaceKeys keys_;
    HeightGrid grid_;
    NormalGrid normals_;
    ColourTable3d colours_ = colourTableFromRow(0);
    Mat4 modelView_ = initialModelView();
    std::uint64_t revision_ = 0;
};

} // namespace korvo::surface
