#include "viewer/surface/surface_scene.h"

#include <algorithm>

namespace korvo::surface {

Mat4 initialModelView() {
    return Mat4::scaling(0.45f, 0.6f, 0.45f) * Mat4::lookAt(128, 15, 348.16f, 128, 0, 0, 0, 1, 0) *
           Mat4::translation(128, 0, 0) * Mat4::rotation(55, 1, 0, 0) * Mat4::scaling(0.5f, 0.5f, 0.5f);
}

Mat4 projectionFor(int width, int height) {
    // 45 degrees shows the whole box of a new view, its highest back corners included.
    return Mat4::perspective(45, float(std::max(width, 1)) / float(std::max(height, 1)), 0.1f, 256);
}

SurfaceScene::SurfaceScene(const tvar& ws, std::string keyFile) : ws_(ws), keyFile_(std::move(keyFile)) {}

bool SurfaceScene::start(std::string* message) {
    if (message) message->clear();
    keys_.reset();
    if (!buildHeightGrid(ws_, grid_, message)) return false;
    colours_ = colourTableFromRow(keys_.params.paletteRow);
    computeNormals(grid_, keys_.params.normalVertical, keys_.params.slice, normals_);
    // Each switch-on starts from the matrix of a new view, whatever the last one was turned to.
    modelView_ = initialModelView();
    keys_.params.step = 2;
    keys_.params.running = true;
    keys_.params.frameCounter = kFramesAfterRepaint;
    ++revision_;
    return true;
}

void SurfaceScene::stop() {
    keys_.params.running = false;
    keys_.params.frameCounter = 0;
}

std::vector<std::string> SurfaceScene::press(std::uint16_t code) {
    std::vector<std::string> messages;
    apply(keys_.press(code), messages);
    return messages;
}

void SurfaceScene::apply(const KeyEffect& e, std::vector<std::string>& messages) {
    if (e.transform.kind != ModelTransform::Kind::None) modelView_ = modelView_ * e.transform.matrix();
    if (e.rebuildGrid) {
        std::string message;
        // Spectra changed in the meantime so that they no longer fit: the old surface stays.
        if (!buildHeightGrid(ws_, grid_, &message) && !message.empty()) messages.push_back(message);
    }
    if (e.smoothEnergy) smoothAlongEnergy(grid_);
    if (e.smoothSpectra) smoothAlongSpectra(grid_);
    if (e.normals) computeNormals(grid_, keys_.params.normalVertical, keys_.params.slice, normals_);
    if (e.colours) colours_ = colourTableFromRow(keys_.params.paletteRow);
    if (e.rotateColours) rotateChannels(colours_);
    if (e.writeLog) {
        std::string error;
        if (!writeKeyLog(keyFile_, keys_.log, &error))
            messages.push_back("The key file \"" + keyFile_ + "\" cannot be written: " + error);
    }
    if (e.replayLog) replay(messages);
    ++revision_;
}

void SurfaceScene::replay(std::vector<std::string>& messages) {
    std::vector<std::uint16_t> codes;
    std::string message;
    if (!readKeyLog(keyFile_, codes, &message)) {
        messages.push_back(message);
        return;
    }
    for (std::uint16_t code : codes) {
        // A key file that holds F9 or F10 itself must not write over itself or replay itself forever.
        if (code == vk::F9 || code == vk::F10) continue;
        apply(keys_.press(code), messages);
    }
    keys_.params.frameCounter = kFramesAfterReplay;
}

void SurfaceScene::frameDrawn(double milliseconds) {
    ViewParameters& p = keys_.params;
    if (p.frameCounter > 0) --p.frameCounter;
    p.spinAngle += milliseconds;
}

} // namespace korvo::surface

