#include "viewer/hand_scale.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>

namespace korvo {

HandScaleTexts handScaleTexts(const tvar& ws, bool allSpectra) {
    HandScaleTexts t;
    t.allSpectra = allSpectra;
    if (ws.Active < 1 || ws.Active > kMaxSpectra) return t;
    const ViewerSpectrum& s = ws.spectrum(ws.Active);
    t.yMax = text::formatGeneral(s.YMax, 10);
    t.xMin = text::formatGeneral(s.XMin, 10);
    t.xMax = text::formatGeneral(s.XMax, 10);
    t.yMin = text::formatGeneral(s.YMin, 10);
    return t;
}

namespace {

bool number(const std::string& text, double& value, std::string& error) {
    const auto parsed = text::parseDouble(text);
    if (!parsed) {
        error = "'" + text + "' is not a valid floating point value";
        return false;
    }
    value = *parsed;
    return true;
}

} // namespace

std::optional<HandScaleInput> parseHandScale(const HandScaleTexts& t, HandScaleAction action, std::string& error) {
    HandScaleInput in;
    in.xScale = t.xScale;
    in.yScale = t.yScale;
    in.allSpectra = t.allSpectra;
    in.relative = t.relative;
    switch (action) {
    case HandScaleAction::Ok:
        if (!number(t.yMax, in.yMax, error) || !number(t.xMin, in.xMin, error) || !number(t.xMax, in.xMax, error) ||
            !number(t.yMin, in.yMin, error) || !number(t.xShift, in.xShift, error))
            return std::nullopt;
        break;
    case HandScaleAction::Shifting:
        if (!number(t.yShift, in.yShift, error) || !number(t.xShift, in.xShift, error)) return std::nullopt;
        break;
    case HandScaleAction::Multiply:
        if (!number(t.factor, in.factor, error)) return std::nullopt;
        if (in.factor == 0) {
            error = "The factor must not be 0.";
            return std::nullopt;
        }
        break;
    case HandScaleAction::Reset:
    case HandScaleAction::Maximize:
        break;
    }
    return in;
}

namespace {

void setAbsolute(tvar& ws, const std::vector<int>& scope, const HandScaleInput& in) {
    for (int k : scope) {
        ViewerSpectrum& s = ws.spectrum(k);
        if (in.xScale) {
            s.XMin = in.xMin;
            s.XMax = in.xMax;
        }
        if (in.yScale) {
            s.YMin = in.yMin;
            s.YMax = in.yMax;
        }
    }
}

// The typed range taken relative to the active spectrum's view: the same fractions of their own
// view move the edges of every spectrum in scope, the lower edge first.
void setRelative(tvar& ws, const std::vector<int>& scope, const HandScaleInput& in) {
    if (ws.Active < 1 || ws.Active > kMaxSpectra) return;
    const ViewerSpectrum& a = ws.spectrum(ws.Active);
    const double xfl = (in.xMin - a.XMin) / (a.XMax - a.XMin), xfr = (in.xMax - a.XMax) / (a.XMax - a.XMin);
    const double yfl = (in.yMin - a.YMin) / (a.YMax - a.YMin), yfr = (in.yMax - a.YMax) / (a.YMax - a.YMin);
    for (int k : scope) {
        ViewerSpectrum& s = ws.spectrum(k);
        if (in.xScale && std::isfinite(xfl) && std::isfinite(xfr)) {
            s.XMin = s.XMin + (s.XMax - s.XMin) * xfl;
            s.XMax = s.XMax + (s.XMax - s.XMin) * xfr;
        }
        if (in.yScale && std::isfinite(yfl) && std::isfinite(yfr)) {
            s.YMin = s.YMin + (s.YMax - s.YMin) * yfl;
            s.YMax = s.YMax + (s.YMax - s.YMin) * yfr;
        }
    }
}

// The stacking step: the y shift (a fraction of each spectrum's count range) lifts the spectrum at
// display position i by (i - 1) shares and widens the range above by the shares of the others, so
// that the curves stack from the first upwards; then the x shift moves every spectrum in scope.
void shift(tvar& ws, const std::vector<int>& scope, const HandScaleInput& in, double yShift) {
    const int shown = std::clamp(ws.ShownCount, 0, kMaxSpectra);
    if (in.yScale && yShift != 0) {
        for (int i = 1; i <= shown; ++i) {
            const int k = ws.atPosition(i);
            if (std::find(scope.begin(), scope.end(), k) == scope.end()) continue;
            ViewerSpectrum& s = ws.spectrum(k);
            const double share = yShift * (s.YMax - s.YMin);
            s.YMax = s.YMax + (shown - 1) * share - (i - 1) * share;
            s.YMin = s.YMin - (i - 1) * share;
        }
    }
    if (in.xScale && in.xShift != 0) {
        for (int k : scope) {
            ViewerSpectrum& s = ws.spectrum(k);
            s.XMin += in.xShift;
            s.XMax += in.xShift;
        }
    }
}

void reset(tvar& ws, const std::vector<int>& scope, const HandScaleInput& in) {
    for (int k : scope) {
        ViewerSpectrum& s = ws.spectrum(k);
        if (in.xScale) {
            s.XMin = s.XMinOrig;
            s.XMax = s.XMaxOrig;
        }
        if (in.yScale) {
            s.YMin = s.YMinOrig;
            s.YMax = s.YMaxOrig;
        }
    }
}

// The count range of the points inside the energy view; a spectrum without such points keeps its
// range.
void maximize(tvar& ws, const std::vector<int>& scope, const HandScaleInput& in) {
    if (!in.yScale) return;
    for (int k : scope) {
        ViewerSpectrum& s = ws.spectrum(k);
        const double lo = std::min(s.XMin, s.XMax), hi = std::max(s.XMin, s.XMax);
        double yLo = 0, yHi = 0;
        bool any = false;
        for (const SpectrumPoint& p : ws.points(k)) {
            if (p.x < lo || p.x > hi) continue;
            yLo = any ? std::min(yLo, p.y) : p.y;
            yHi = any ? std::max(yHi, p.y) : p.y;
            any = true;
        }
        if (!any) continue;
        s.YMin = yLo;
        s.YMax = yHi;
    }
}

void multiply(tvar& ws, const std::vector<int>& scope, const HandScaleInput& in) {
    if (!in.yScale) return;
    for (int k : scope) {
        ViewerSpectrum& s = ws.spectrum(k);
        s.YMax = (s.YMax - s.YMin) / in.factor + s.YMin;
    }
}

} // namespace

void applyHandScale(tvar& ws, HandScaleAction action, const HandScaleInput& in, ViewMessages& messages) {
    const std::vector<int> scope = spectraInScope(ws, in.allSpectra ? RangeScope::AllSpectra : RangeScope::Marked);
    switch (action) {
    case HandScaleAction::Ok:
        if (in.relative)
            setRelative(ws, scope, in);
        else
            setAbsolute(ws, scope, in);
        shift(ws, scope, in, 0);
        break;
    case HandScaleAction::Shifting:
        shift(ws, scope, in, in.yShift);
        break;
    case HandScaleAction::Reset:
        reset(ws, scope, in);
        break;
    case HandScaleAction::Maximize:
        maximize(ws, scope, in);
        break;
    case HandScaleAction::Multiply:
        multiply(ws, scope, in);
        break;
    }
    for (int k : scope) {
        updateScale(ws, k, kEnergiepfusch20, kCountspfusch20, messages);
        ViewerSpectrum& s = ws.spectrum(k);
        s.YTop = s.YMax;
    }
}

} // namespace korvo
