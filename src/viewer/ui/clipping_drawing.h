#pragma once
// What the clipping fits ("Q-Fit", "q-Fit 50") show on the paint box while they run: per spectrum a
// black box with the measured counts in white, the background estimate in light blue after every
// tenth of the passes, and at the end the counts again, the background in orange and the
// difference in yellow. The window shows the picture until its next repaint.
#include "viewer/analysis/clipping_fit.h"

#include <QImage>

#include <functional>
#include <vector>

namespace korvo {

class ClippingDrawing final : public analysis::ClippingView {
public:
    // `shown` is called after each curve, so the window can bring the picture to the screen.
    ClippingDrawing(QSize size, std::function<void(const QImage&)> shown);

    const QImage& image() const { return image_; }

    void beginSpectrum(int k) override;
    void curve(Curve kind, std::span<const double> values, double lo, double hi) override;

private:
    QImage image_;
    std::function<void(const QImage&)> shown_;
    std::vector<QPoint> line_;
};

} // namespace korvo
