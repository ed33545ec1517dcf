#pragma once
// Measuring mode ("&Measure dist."): two marks on points of the active spectrum, moved by the mouse,
// that pick the stretch of points the analysis commands work on and show the energy distance; and
// the removal of a single spike under the pointer. Plain functions over the workspace's selection
// state (SelStartPoint, SelEndPoint, SelStartX, SelEndX, SelStartPx, SelEndPx).
#include "viewer/binding_axis.h"
#include "viewer/workspace.h"

#include <optional>
#include <string>

namespace korvo {

// The point of spectrum k nearest to `energy`: the energy is first clamped into XMin..XMax; outside
// XMinOrig..XMaxOrig no point is taken. The first point at or above the energy is found, and the one
// before it is taken instead when it lies closer (the last point when none lies at or above).
std::optional<int> nearestPoint(const tvar& ws, int k, double energy);

// Switching on: the start mark on the point nearest to the active spectrum's XMin, the end mark on
// the one nearest to its XMax. false when there is no active spectrum with points.
bool startMeasuring(tvar& ws);

// A click or drag at `column` moves the start mark (left button) or the end mark (right button) to
// the point nearest to the column's energy. false when no point was taken (the mark stays).
enum class MeasureMark { Start, End };
bool moveMark(tvar& ws, MeasureMark mark, int column);

// Shift with a button: the count of the point nearest to the column's energy becomes the mean of its
// two neighbours (the one neighbour's count at either end). false when no point was taken or the
// spectrum has a single point.
bool removeSpike(tvar& ws, int column);

// The caption while measuring: SelStartX, two blanks, SelEndX, two blanks, SelEndX - SelStartX, each
// with 2 decimals. With `binding` the marks' binding energies (and the second less the first).
std::string measuringCaption(const tvar& ws, const BindingAxis* binding = nullptr);

} // namespace korvo
