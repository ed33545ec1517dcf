#pragma once
// A fit model as the fit window's cells hold it: every number a text as typed, so that a cell being
// edited is never a model yet. textsOf gives the texts of a model (numbers in their shortest exact
// form, so that a model read back is the same to the last bit), modelOf reads them back with one
// message naming the component and parameter; setShape and convertAxis are the edits that change
// more than one cell.
#include "viewer/fit/model_file.h"

#include <optional>
#include <string>
#include <vector>

namespace korvo::fit {

struct ParameterTexts {
    std::string value; // the start value (free) or the value (fixed)
    std::string min, max; // empty: unbounded
    std::string link;     // "C1", "C1 + 0.6", ...; when given, the rest is not used
    bool fixed = false;
};

struct ComponentTexts {
    std::string name;
    Shape shape = Shape::Gaussian;
    std::vector<ParameterTexts> parameters; // in the order of parameterNames(shape)
    std::string element, level, sensitivity;
};

struct ModelTexts {
    std::string from, to; // the region; both empty: the whole spectrum
    Axis axis = Axis::Kinetic;
    BackgroundType background = BackgroundType::None;
    std::string tougaardB;
    Weights weights = Weights::Poisson;
    // Start values of a fitted background, kept as the model file or a fit gave them (no cells).
    std::optional<Parameter> c0, c1;
    std::vector<ComponentTexts> components;
};

// The shortest text that reads back as the same double.
std::string exactNumber(double value);

ComponentTexts textsOf(const Component& component);
ModelTexts textsOf(const FitModel& model);
// The model, checked (checkModel without sensitivities), or one message naming the field.
ModelRead modelOf(const ModelTexts& texts);

// What placing a new component needs of a model still being edited: its axis, its region where both
// ends read as numbers, and the names of its components (nothing else is filled in or checked).
FitModel outlineOf(const ModelTexts& texts);

// A component takes another shape: parameters of the same name keep their texts, the others get
// start values from the ones it had (a width from the width, an area from height and width, ...).
void setShape(ComponentTexts& component, Shape shape);

// The model's region, positions and linear background restated on the other axis (binding energy =
// photon energy - kinetic energy - work function), the same fit on either. Empty on success; a reason
// (and the model as it was) for what has no counterpart there: a position linked by a factor, bounds
// on a background start value that depends on a free slope, a slope without a region.
std::string convertAxis(FitModel& model, Axis to, double photonEnergy, double workFunction);

} // namespace korvo::fit
