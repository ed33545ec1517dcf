#include "viewer/analysis/operations.h"

#include "viewer/analysis/backgrounds.h"
#include "viewer/analysis/clipping_fit.h"
#include "viewer/analysis/dead_time.h"
#include "viewer/analysis/minmax_fits.h"
#include "viewer/analysis/slices.h"
#include "viewer/view_scale.h"

#include <charconv>
#include <cmath>

namespace korvo::analysis {
namespace {

using Kind = Operation::Kind;

struct Named {
    const char* name;
    Kind kind;
};

constexpr Named kNames[] = {
    {"smooth", Kind::Smooth},       {"normalise", Kind::Normalise}, {"mfit", Kind::MinimumFit},
    {"setr", Kind::SetR},           {"stack", Kind::Stack},         {"store", Kind::Store},
    {"addstore", Kind::AddStore},   {"substore", Kind::SubStore},   {"a", Kind::LetterA},
    {"b", Kind::LetterB},           {"qfit", Kind::QFit},           {"qfit50", Kind::QFit50},
    {"mmfit", Kind::MMFit},         {"mm2fit", Kind::MM2Fit},       {"mm3fit", Kind::MM3Fit},
    {"integrate", Kind::Integrate}, {"shirley", Kind::Shirley},     {"slices-sum", Kind::SlicesSum},
    {"tougaard", Kind::Tougaard},
};

// The first message of a chain of steps is the one reported.
void keepFirstMessage(Outcome& into, const Outcome& step) {
    if (into.message.empty()) into.message = step.message;
}

void setStretch(tvar& ws, int start, int end) {
    ws.SelStartPoint = start;
    ws.SelEndPoint = end;
}

// A number that reads completely ("5", "0.3", "-1e-2").
std::optional<double> number(std::string_view text) {
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<Operation> parseSatellite(std::string_view source, std::string& error) {
    Operation op{Kind::Satellite};
    constexpr std::pair<const char*, SatelliteSource> kSources[] = {
        {"HeI", SatelliteSource::HeI}, {"HeII", SatelliteSource::HeII},
        {"AlKa", SatelliteSource::AlKAlpha}, {"MgKa", SatelliteSource::MgKAlpha}};
    for (const auto& [name, s] : kSources)
        if (source == name) {
            op.lines = satelliteLines(s);
            return op;
        }
    if (source.substr(0, 5) == "user:") {
        double* fields[] = {&op.lines.e1, &op.lines.i1, &op.lines.e2, &op.lines.i2};
        std::string_view rest = source.substr(5);
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t colon = rest.find(':');
            const std::string_view part = rest.substr(0, colon);
            const std::optional<double> v = number(part);
            if (!v || (i < 3) != (colon != std::string_view::npos)) {
                error = "satellite:user takes four numbers E1:I1:E2:I2, not \"" + std::string(source.substr(5)) + "\".";
                return std::nullopt;
            }
            *fields[i] = *v;
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
        return op;
    }
    error = "The satellite source is HeI, HeII, AlKa, MgKa or user:E1:I1:E2:I2, not \"" + std::string(source) + "\".";
    return std::nullopt;
}

} // namespace

std::vector<std::string> operationNames() {
    std::vector<std::string> names;
    for (const Named& n : kNames) names.emplace_back(n.name);
    names.insert(names.begin() + 2, "ifit:0|25|50|75|100");
    names.back() = "tougaard[:B]";
    names.emplace_back("satellite:HeI|HeII|AlKa|MgKa|user:E1:I1:E2:I2");
    names.emplace_back("slice-mix:S:O");
    names.emplace_back("deadtime:NS");
    return names;
}

std::optional<Operation> parseOperation(std::string_view text, std::string& error) {
    for (const Named& n : kNames)
        if (text == n.name) return Operation{n.kind, 0};
    if (text.substr(0, 5) == "ifit:") {
        for (int share : {0, 25, 50, 75, 100})
            if (text.substr(5) == std::to_string(share)) return Operation{Kind::MeanFit, share};
        error = "The share of ifit is 0, 25, 50, 75 or 100, not \"" + std::string(text.substr(5)) + "\".";
        return std::nullopt;
    }
    if (text.substr(0, 10) == "satellite:") return parseSatellite(text.substr(10), error);
    if (text.substr(0, 9) == "tougaard:") {
        const std::optional<double> b = number(text.substr(9));
        if (!b || *b <= 0) {
            error = "tougaard:B takes a positive number of eV^2, not \"" + std::string(text.substr(9)) + "\".";
            return std::nullopt;
        }
        Operation op(Kind::Tougaard);
        op.tougaardB = *b;
        return op;
    }
    if (text.substr(0, 9) == "deadtime:") {
        const std::optional<double> ns = number(text.substr(9));
        if (!ns || *ns <= 0) {
            error = "deadtime:NS takes the counters' dead time, a positive number of nanoseconds, not \"" +
                    std::string(text.substr(9)) + "\".";
            return std::nullopt;
        }
        Operation op(Kind::DeadTime);
        op.deadTimeNs = *ns;
        return op;
    }
    if (text.substr(0, 10) == "slice-mix:") {
        const std::string_view rest = text.substr(10);
        const std::size_t colon = rest.find(':');
        const std::optional<double> s = number(rest.substr(0, colon));
        const std::optional<double> o =
            colon == std::string_view::npos ? std::nullopt : number(rest.substr(colon + 1));
        if (!s || !o || *s != std::floor(*s) || *o != std::floor(*o) || *s < 1 || *o < 0 || *o > *s || *s > kMaxSpectra) {
            error = "slice-mix takes S:O, whole numbers with S at least 1 and O between 0 and S, not \"" +
                    std::string(rest) + "\".";
            return std::nullopt;
        }
        Operation op(Kind::SliceMix);
        op.slices = int(*s);
        op.overlap = int(*o);
        return op;
    }
    error = "Unknown operation \"" + std::string(text) + "\".";
    return std::nullopt;
}

Outcome letterCommand(tvar& ws, char letter, const std::string& storePath) {
    Outcome out{{}, Redraw::FullScale, true};
    const int n = commonPointCount(ws);
    setStretch(ws, 0, 40);
    minMaxFit(ws, MinMaxFit::Plain);
    setStretch(ws, 1, n);
    keepFirstMessage(out, normaliseArea(ws));
    if (letter == 'b') {
        const Outcome added = applyStore(ws, storePath, +1);
        keepFirstMessage(out, added);
        if (!added.ok()) return out; // nothing stored to accumulate into: the store file stays
    }
    keepFirstMessage(out, storeValues(ws, storePath));
    if (letter == 'b') {
        setStretch(ws, 1, n);
        keepFirstMessage(out, normaliseArea(ws));
    }
    return out;
}

OperationResult runOperation(tvar& ws, const Operation& op, const std::string& storePath,
                             ClippingView* clippingView) {
    OperationResult r;
    Outcome& out = r.outcome;
    switch (op.kind) {
    case Kind::Smooth: out = smooth(ws); break;
    case Kind::Normalise: out = normaliseArea(ws); break;
    case Kind::MeanFit: out = subtractMean(ws, op.share); break;
    case Kind::MinimumFit: out = subtractMinimum(ws); break;
    case Kind::SetR: out = flattenSelection(ws); break;
    case Kind::Stack: out = stack(ws); break;
    case Kind::Store: out = storeValues(ws, storePath); break;
    case Kind::AddStore: out = storeCommand(ws, storePath, +1); break;
    case Kind::SubStore: out = storeCommand(ws, storePath, -1); break;
    case Kind::LetterA: out = letterCommand(ws, 'a', storePath); break;
    case Kind::LetterB: out = letterCommand(ws, 'b', storePath); break;
    case Kind::QFit: clippingFit(ws, ClippingFit::Q, clippingView); break;
    case Kind::QFit50: clippingFit(ws, ClippingFit::Q50, clippingView); break;
    case Kind::MMFit: minMaxFit(ws, MinMaxFit::Plain), out.redraw = Redraw::FullScale; break;
    case Kind::MM2Fit: minMaxFit(ws, MinMaxFit::VariationDamped), out.redraw = Redraw::FullScale; break;
    case Kind::MM3Fit: minMaxFit(ws, MinMaxFit::RangeFloor), out.redraw = Redraw::FullScale; break;
    case Kind::Satellite: {
        std::vector<int> positions = op.positions;
        if (positions.empty())
            for (int i = 1; i <= ws.ShownCount; ++i) positions.push_back(i);
        removeSatellites(ws, positions, op.lines);
        out.redraw = Redraw::Repaint;
        break;
    }
    case Kind::Shirley: out = shirleyBackground(ws); break;
    case Kind::Tougaard: out = tougaardBackground(ws, op.tougaardB); break;
    case Kind::SlicesSum: out = slicesSum(ws); break;
    case Kind::SliceMix: out = sliceMix(ws, op.slices, op.overlap); break;
    case Kind::DeadTime: out = deadTimeCorrection(ws, op.deadTimeNs); break;
    case Kind::Integrate:
        r.integration = integrate(ws);
        out.message = r.integration->message;
        break;
    }
    if (out.redraw == Redraw::FullScale) fullScale(ws, FullScale::All);
    return r;
}

} // namespace korvo::analysis
