#pragma once
// Hand scaling ("&HandScale"): ranges typed into the dialog, set absolutely or relative to the active
// spectrum's view, the stacking shift, reset, maximize and multiply, each over the marked spectra or
// all shown spectra. The dialog only collects texts; this file checks and applies them.
#include "viewer/view_scale.h"
#include "viewer/workspace.h"

#include <optional>
#include <string>

namespace korvo {

enum class HandScaleAction { Ok, Shifting, Reset, Maximize, Multiply };

// What the dialog holds when one of its buttons is pressed.
struct HandScaleTexts {
    std::string yMax, xMin, xMax, yMin; // the four range edits
    std::string factor = "1";           // "Factor :"
    std::string yShift = "0";           // "y - shift :"
    std::string xShift = "0";           // "x - shift :"
    bool xScale = true;                 // "X - Scale"
    bool yScale = true;                 // "Y - Scale"
    bool allSpectra = true;             // "Scale :" "All Spectra" (else "Active Spectra": the marked ones)
    bool relative = false;              // "Kind of scaling :" "relative values"
};

// The dialog's texts when it opens: the active spectrum's range in general form with 10 digits,
// "Factor :" 1 and both shifts 0. `allSpectra` is the window's scope.
HandScaleTexts handScaleTexts(const tvar& ws, bool allSpectra);

// The same, as numbers.
struct HandScaleInput {
    double yMax = 0, xMin = 0, xMax = 0, yMin = 0;
    double factor = 1;
    double yShift = 0, xShift = 0;
    bool xScale = true, yScale = true;
    bool allSpectra = true;
    bool relative = false;
};

// The numbers an action needs, or nothing with `error` saying which text is not a number (and,
// for "Multiply", a factor of 0, which would divide by zero).
std::optional<HandScaleInput> parseHandScale(const HandScaleTexts& texts, HandScaleAction action, std::string& error);

// Applies an action. Every action but "Abort" (which never reaches here) ends with the per-pixel
// factors recomputed ("Energiepfusch20" / "Countspfusch20" for a zero range) and YTop = YMax; the
// caller then sets up the scroll bars and repaints.
void applyHandScale(tvar& ws, HandScaleAction action, const HandScaleInput& input, ViewMessages& messages);

} // namespace korvo
