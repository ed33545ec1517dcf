#include "viewer/fit/fit_nexus.h"

#include "viewer/fit/fit_report.h"
#include "viewer/fit/model_file.h"

#include <cmath>

namespace korvo::fit {
namespace {

NexusValue textValue(std::string text) {
    NexusValue v;
    v.texts.push_back(std::move(text));
    return v;
}
NexusValue numberValue(double number) {
    NexusValue v;
    v.numbers.push_back(number);
    return v;
}
NexusValue arrayValue(std::vector<double> numbers) {
    NexusValue v;
    v.shape = {numbers.size()};
    v.numbers = std::move(numbers);
    return v;
}
NexusValue textsValue(std::vector<std::string> texts) {
    NexusValue v;
    v.shape = {texts.size()};
    v.texts = std::move(texts);
    return v;
}

NexusField& addField(NexusGroupData& g, std::string name, NexusValue value, const char* units = nullptr) {
    NexusField& f = g.fields.emplace_back();
    f.name = std::move(name);
    f.value = std::move(value);
    if (units) f.attributes.emplace_back("units", textValue(units));
    return f;
}
NexusGroupData& addGroup(NexusGroupData& g, std::string name, std::string nxClass) {
    NexusGroupData& sub = g.groups.emplace_back();
    sub.name = std::move(name);
    sub.nxClass = std::move(nxClass);
    return sub;
}

const char* unitsOf(std::string_view parameter) {
    if (parameter == "area") return "counts*eV";
    if (parameter == "height" || parameter == "c0") return "counts";
    if (parameter == "c1") return "counts/eV";
    if (parameter == "eta" || parameter == "alpha") return "";
    return "eV";
}

std::string_view sourceName(ParameterSource s) {
    return s == ParameterSource::Fixed ? "fixed" : s == ParameterSource::Linked ? "linked" : "free";
}

// A parameter as a field of an NXparameters group: its value, units, error and how it was given.
void addParameter(NexusGroupData& g, const FitResult& r, const ParameterResult& p) {
    NexusField& f = addField(g, p.name, numberValue(p.estimate.value), unitsOf(p.name));
    if (r.errorsKnown) f.attributes.emplace_back("error", numberValue(p.estimate.error));
    f.attributes.emplace_back("source", textValue(std::string(sourceName(p.source))));
    if (p.source == ParameterSource::Linked) f.attributes.emplace_back("link", textValue(p.link));
}
void addEstimate(NexusGroupData& g, const FitResult& r, std::string name, const Estimate& e, const char* units) {
    NexusField& f = addField(g, std::move(name), numberValue(e.value), units);
    if (r.errorsKnown) f.attributes.emplace_back("error", numberValue(e.error));
}

// An NXdata of one curve over the fitted points, as NXpeak and NXfit_background hold it.
void addCurve(NexusGroupData& owner, const std::vector<double>& x, const std::vector<double>& y) {
    NexusGroupData& data = addGroup(owner, "data", "NXdata");
    data.attributes.emplace_back("signal", textValue("intensity"));
    data.attributes.emplace_back("axes", textValue("position"));
    addField(data, "position", arrayValue(x), "eV");
    addField(data, "intensity", arrayValue(y), "counts");
}

const NexusField* fieldOf(const NexusGroupData& g, std::string_view name) {
    for (const NexusField& f : g.fields)
        if (f.name == name) return &f;
    return nullptr;
}
const NexusGroupData* groupOf(const NexusGroupData& g, std::string_view name) {
    for (const NexusGroupData& sub : g.groups)
        if (sub.name == name) return &sub;
    return nullptr;
}

} // namespace

NexusGroupData fitNexusEntry(const FitProblem& problem, const FitResult& r, const std::string& spectrumName) {
    const FitCurves curves = curvesOf(problem, r);
    NexusGroupData entry;
    entry.name = kFitEntryName;
    entry.nxClass = "NXentry";
    entry.attributes.emplace_back("default", textValue("fit"));
    addField(entry, "title", textValue("Peak fit of " + spectrumName));
    addField(entry, "program_name", textValue("Korvo"));

    NexusGroupData& fit = addGroup(entry, "fit", "NXfit");
    fit.attributes.emplace_back("default", textValue("data"));
    addField(fit, "label", textValue("peak fit"));
    addField(fit, "program", textValue("Korvo"));
    addField(fit, "model", textValue(modelJson(problem.model))).attributes.emplace_back(
        "type", textValue("application/json"));
    addField(fit, "status", textValue(std::string(statusName(r.status))));
    if (!r.message.empty()) addField(fit, "message", textValue(r.message));
    addField(fit, "iterations", numberValue(r.iterations));
    addField(fit, "figure_of_merit", numberValue(r.chi2), "")
        .attributes.emplace_back("metric", textValue("chi2"));
    addField(fit, "reduced_chi2", numberValue(r.reducedChi2), "");
    addField(fit, "degrees_of_freedom", numberValue(r.dof));
    addField(fit, "points", numberValue(r.points));
    addField(fit, "errors_known", numberValue(r.errorsKnown ? 1 : 0));
    addField(fit, "axis", textValue(std::string(axisName(r.axis))));
    if (problem.photonEnergy) addField(fit, "photon_energy", numberValue(*problem.photonEnergy), "eV");
    addField(fit, "work_function", numberValue(problem.workFunction), "eV");

    NexusGroupData& data = addGroup(fit, "data", "NXdata");
    data.attributes.emplace_back("signal", textValue("counts"));
    data.attributes.emplace_back("auxiliary_signals", textsValue({"envelope", "background", "residual"}));
    data.attributes.emplace_back("axes", textValue("energy"));
    addField(data, "energy", arrayValue(curves.x), "eV")
        .attributes.emplace_back("type", textValue(std::string(axisName(r.axis))));
    addField(data, "counts", arrayValue(curves.y), "counts");
    addField(data, "envelope", arrayValue(curves.envelope), "counts");
    addField(data, "background", arrayValue(curves.background), "counts");
    addField(data, "residual", arrayValue(curves.residual), "counts");

    NexusGroupData& global = addGroup(fit, "global_fit_function", "NXfit_function");
    addField(global, "function_type", textValue("sum"));
    addField(global, "description", textValue("the background plus every component (peak*) at each point"));
    NexusGroupData& error = addGroup(fit, "error_function", "NXfit_function");
    addField(error, "function_type", textValue("chi2"));
    addField(error, "description",
             textValue(problem.model.weights == Weights::Poisson
                           ? "squared residuals weighted by 1/counts (Poisson)"
                           : "squared residuals, unweighted"));

    for (std::size_t c = 0; c < r.components.size(); ++c) {
        const ComponentResult& cr = r.components[c];
        const Component& given = problem.model.components[c];
        // Component names may hold "/", which no HDF5 name may: the groups are numbered.
        NexusGroupData& peak = addGroup(fit, "peak" + std::to_string(c + 1), "NXpeak");
        addField(peak, "label", textValue(cr.name));
        if (!cr.element.empty()) addField(peak, "element", textValue(cr.element));
        if (!given.level.empty()) addField(peak, "level", textValue(given.level));
        addEstimate(peak, r, "total_area", cr.area, "counts*eV");
        addEstimate(peak, r, "height", cr.height, "counts");
        addEstimate(peak, r, "fwhm", cr.fwhm, "eV");
        addEstimate(peak, r, "area_percent", cr.areaPercent, "");
        if (c < curves.components.size()) addCurve(peak, curves.x, curves.components[c]);
        NexusGroupData& function = addGroup(peak, "function", "NXfit_function");
        addField(function, "function_type", textValue(std::string(shapeName(cr.shape))));
        NexusGroupData& parameters = addGroup(function, "fit_parameters", "NXparameters");
        for (const ParameterResult& p : cr.parameters) addParameter(parameters, r, p);
    }

    NexusGroupData& background = addGroup(fit, "background", "NXfit_background");
    addField(background, "label", textValue("background"));
    addCurve(background, curves.x, curves.background);
    NexusGroupData& function = addGroup(background, "function", "NXfit_function");
    addField(function, "function_type", textValue(std::string(backgroundName(r.background.type))));
    NexusGroupData& parameters = addGroup(function, "fit_parameters", "NXparameters");
    for (const ParameterResult& p : r.background.parameters) addParameter(parameters, r, p);
    if (r.background.type == BackgroundType::Tougaard)
        addField(parameters, "tougaard_b", numberValue(r.background.tougaardB), "eV^2");

    if (!r.elements.empty()) {
        NexusGroupData& q = addGroup(fit, "quantification", "NXcollection");
        for (const ElementResult& e : r.elements)
            addEstimate(q, r, e.element.empty() ? std::string("unnamed") : e.element, e.atomicPercent, "");
    }

    // What it takes to compute the fit again exactly: the solver's free values in the order of the
    // model's free parameters, and the background held fixed in its last round.
    NexusGroupData& note = addGroup(fit, "korvo", "NXcollection");
    if (!r.freeValues.empty()) addField(note, "free_values", arrayValue(r.freeValues));
    if (!r.fixedBackground.empty()) addField(note, "fixed_background", arrayValue(r.fixedBackground), "counts");
    addField(note, "shirley_rounds", numberValue(r.background.rounds));
    return entry;
}

const NexusGroupData* fitEntryOf(const NexusSpectrum& spectrum) {
    for (const NexusGroupData& a : spectrum.additions)
        if (a.name == kFitEntryName) return &a;
    return nullptr;
}

std::optional<StoredFit> storedFitOf(const NexusGroupData& entry, std::string* error) {
    const auto refuse = [error](std::string why) -> std::optional<StoredFit> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    const NexusGroupData* fit = groupOf(entry, "fit");
    if (!fit || fit->nxClass != "NXfit") return refuse("fit: no NXfit group");
    const auto text = [fit](std::string_view name) -> const std::string* {
        const NexusField* f = fieldOf(*fit, name);
        return f && f->value.texts.size() == 1 ? &f->value.texts.front() : nullptr;
    };
    const auto number = [](const NexusGroupData& g, std::string_view name) -> std::optional<double> {
        const NexusField* f = fieldOf(g, name);
        if (!f || f->value.numbers.size() != 1 || !std::isfinite(f->value.numbers.front())) return std::nullopt;
        return f->value.numbers.front();
    };
    StoredFit s;
    const std::string* model = text("model");
    if (!model) return refuse("fit/model: missing");
    ModelRead read = readModelJson(*model);
    if (!read.model) return refuse("fit/model: " + read.error);
    s.model = std::move(*read.model);

    const std::string* status = text("status");
    bool known = false;
    for (FitStatus st : {FitStatus::Converged, FitStatus::NotConverged, FitStatus::Singular, FitStatus::Cancelled})
        if (status && *status == statusName(st)) {
            s.status = st;
            known = true;
        }
    if (!known) return refuse("fit/status: missing or unknown");
    if (const std::string* m = text("message")) s.message = *m;
    const std::optional<double> iterations = number(*fit, "iterations");
    if (!iterations || *iterations < 0 || *iterations > 1e9) return refuse("fit/iterations: missing");
    s.iterations = int(*iterations);
    s.photonEnergy = number(*fit, "photon_energy");
    const std::optional<double> wf = number(*fit, "work_function");
    if (!wf) return refuse("fit/work_function: missing");
    s.workFunction = *wf;

    const NexusGroupData* note = groupOf(*fit, "korvo");
    if (!note) return refuse("fit/korvo: missing");
    for (const auto& [name, into] : {std::pair{"free_values", &s.freeValues}, {"fixed_background", &s.fixedBackground}}) {
        const NexusField* f = fieldOf(*note, name);
        if (!f) continue;
        if (f->value.isText() || f->value.shape.size() != 1) return refuse(std::string("fit/korvo/") + name + ": no row of numbers");
        for (double v : f->value.numbers)
            if (!std::isfinite(v)) return refuse(std::string("fit/korvo/") + name + ": a value that is not a finite number");
        *into = f->value.numbers;
    }
    if (const NexusGroupData* data = groupOf(*fit, "data"))
        if (const NexusField* counts = fieldOf(*data, "counts"); counts && !counts->value.isText())
            s.counts = counts->value.numbers;
    const std::optional<double> rounds = number(*note, "shirley_rounds");
    s.rounds = rounds && *rounds >= 0 && *rounds < 1e6 ? int(*rounds) : 0;
    return s;
}

RestoredFit restoreFit(const StoredFit& stored, std::span<const SpectrumPoint> points, const std::string& name) {
    RestoredFit out;
    Prepared p = prepareFit(stored.model, SpectrumInput{points, stored.photonEnergy, stored.workFunction, name});
    if (!p.problem) {
        out.error = p.error;
        return out;
    }
    const FitProblem& pb = *p.problem;
    if (stored.counts != pb.y) {
        out.error = "the fit was made on other counts than " + name + " holds";
        return out;
    }
    if (stored.freeValues.size() != pb.free.size()) {
        out.error = "the fit holds " + std::to_string(stored.freeValues.size()) + " free values, its model " +
                    std::to_string(pb.free.size()) + " free parameters";
        return out;
    }
    if (!stored.fixedBackground.empty() && stored.fixedBackground.size() != pb.points()) {
        out.error = "the fit's background has " + std::to_string(stored.fixedBackground.size()) +
                    " points, its region " + std::to_string(pb.points());
        return out;
    }
    // As the solver ends a fit: the result at the final values, with the solver's status unless the
    // covariance is singular there.
    FitResult r = resultAt(pb, stored.freeValues, stored.fixedBackground);
    r.iterations = stored.iterations;
    r.background.rounds = stored.rounds;
    if (r.status == FitStatus::Singular) {
        if (stored.status == FitStatus::Cancelled) {
            r.status = FitStatus::Cancelled;
            r.message = stored.message;
        }
    } else {
        r.status = stored.status;
        r.message = stored.message;
        if (stored.status == FitStatus::Cancelled) r.errorsKnown = false;
    }
    out.result = std::move(r);
    out.problem = std::move(p.problem);
    return out;
}

} // namespace korvo::fit
