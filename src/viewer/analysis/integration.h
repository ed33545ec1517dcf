#pragma once
// "&Integrate": the area of the active spectrum between the two selection marks above the straight
// line through the two marked points (trapezoidal rule; parts below the line count negative).
#include "viewer/workspace.h"

#include <array>
#include <string>

namespace korvo::analysis {

struct Integration {
    std::string message;             // empty when the area was computed
    int startPoint = 0, endPoint = 0; // s and e
    double startX = 0, endX = 0;
    double area = 0;
    std::array<std::string, 4> memo; // "Start energy : " ..., as the integration window lists them
    std::string areaText;
    bool ok() const { return message.empty(); }
};

// Points SelStartPoint .. SelEndPoint of the active spectrum. Marks outside the spectrum, the start
// mark after the end mark, or two marks at the same energy with points between them (no background
// slope) give a message.
Integration integrate(const tvar& ws);

} // namespace korvo::analysis
