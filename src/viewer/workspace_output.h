#pragma once
// A workspace written out, as `korvo-cli info` shows it: one JSON object, or the same as readable
// text. Both are written piece by piece straight from the workspace, so the memory they take does not
// grow with the number of points.
//
// JSON: {"ShownCount", "HiddenCount", "Active", "Order" (positions 1 .. ShownCount + HiddenCount),
// "spectra": [one object per spectrum number, 1 upwards, with every field of the workspace under its
// own name and "points" as [x, y] pairs]}. Numbers are written in their shortest form that reads back
// as the same double.
#include "viewer/workspace.h"

#include <ostream>
#include <string>

namespace korvo {

// false when the stream failed (a closed pipe, a full disk): the output is then incomplete.
// `extraMembers`, when not empty, is one or more further members ("name": value) of the object.
bool writeWorkspaceJson(std::ostream& out, const tvar& ws, const std::string& extraMembers = {});
// Header texts are made safe for a terminal (escapeForTerminal).
bool writeWorkspaceText(std::ostream& out, const tvar& ws);

// The shortest text of v that reads back as v ("100.1", "1520", "1e-07"); non-finite values as
// "null" in JSON, "nan" / "inf" / "-inf" in text.
void appendShortest(std::string& out, double v, bool json);

} // namespace korvo
