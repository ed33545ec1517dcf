// The checks a model passes before anything is fitted, and the links followed to their roots.
#include "common/number_text.h"
#include "viewer/fit/fit_model.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace korvo::fit {
namespace {

bool validName(std::string_view name) {
    if (name.empty() || name.size() > 40) return false;
    if (!((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) return false;
    return std::all_of(name.begin(), name.end(), isNameCharacter);
}

std::string checkLimits(const std::string& place, std::string_view name, double value) {
    const ParameterKind kind = parameterKind(name);
    if (kind == ParameterKind::Width && !(value > 0))
        return place + ": a width must be above zero, not " + text::plainNumber(value) + ".";
    if (kind == ParameterKind::Eta && !(value >= 0 && value <= 1))
        return place + ": eta lies in [0, 1], not " + text::plainNumber(value) + ".";
    if (kind == ParameterKind::Alpha && !(value >= 0 && value < 1))
        return place + ": alpha lies in [0, 1), not " + text::plainNumber(value) + ".";
    return {};
}

// A parameter that is a value of its own (free or fixed): finite numbers, ordered bounds, the value
// inside them.
std::string checkOwnValue(const std::string& place, const Parameter& p) {
    if (!std::isfinite(p.value)) return place + ": the value is no finite number.";
    if (std::isnan(p.min) || std::isnan(p.max) || p.min == std::numeric_limits<double>::infinity() ||
        p.max == -std::numeric_limits<double>::infinity())
        return place + ": the bounds are no finite numbers.";
    if (p.min > p.max)
        return place + ": min " + text::plainNumber(p.min) + " lies above max " + text::plainNumber(p.max) +
               ".";
    if (p.value < p.min || p.value > p.max) {
        const std::string lo = std::isfinite(p.min) ? text::plainNumber(p.min) : "-inf";
        const std::string hi = std::isfinite(p.max) ? text::plainNumber(p.max) : "inf";
        return place + ": the " + std::string(p.fixed ? "fixed" : "start") + " value " +
               text::plainNumber(p.value) + " lies outside its bounds " + lo + " to " + hi + ".";
    }
    return {};
}

} // namespace

Limits naturalLimits(ParameterKind kind) {
    switch (kind) {
    case ParameterKind::Width:
        return {kMinWidth, std::numeric_limits<double>::infinity()};
    case ParameterKind::Eta:
        return {0, 1};
    case ParameterKind::Alpha:
        return {0, kMaxAlpha};
    default:
        return {};
    }
}

std::string parameterPlace(std::string_view component, std::string_view parameter) {
    return "component \"" + std::string(component) + "\", parameter \"" + std::string(parameter) + "\"";
}

ResolvedLinks resolveLinks(const FitModel& model) {
    ResolvedLinks out;
    const int n = int(model.components.size());
    out.roots.resize(std::size_t(n));
    for (int c = 0; c < n; ++c) {
        const Component& start = model.components[std::size_t(c)];
        const auto& names = parameterNames(start.shape);
        for (int slot = 0; slot < int(names.size()); ++slot) {
            const std::string_view name = names[std::size_t(slot)];
            // Walk the chain; the operations compose from the root outwards.
            std::vector<const Parameter*> chain;
            std::vector<std::string> visited = {start.name};
            int at = c;
            int atSlot = slot;
            while (true) {
                const Parameter& p = model.components[std::size_t(at)].parameters[std::size_t(atSlot)];
                if (!p.linked()) break;
                chain.push_back(&p);
                const Component* target = model.find(p.link);
                const std::string place = parameterPlace(model.components[std::size_t(at)].name, name);
                if (!target) {
                    out.error =
                        place + ": the link names \"" + p.link + "\", which is no component of the model.";
                    return out;
                }
                const int targetSlot = parameterIndex(target->shape, name);
                if (targetSlot < 0) {
                    out.error = place + ": the link names \"" + p.link + "\", a " +
                                std::string(shapeName(target->shape)) + " without " + std::string(name) + ".";
                    return out;
                }
                const bool seen = std::find(visited.begin(), visited.end(), target->name) != visited.end();
                visited.push_back(target->name);
                if (seen) {
                    std::string cycle;
                    for (const std::string& v : visited) cycle += (cycle.empty() ? "" : " -> ") + v;
                    out.error =
                        parameterPlace(start.name, name) + ": the links form a cycle (" + cycle + ").";
                    return out;
                }
                at = int(target - model.components.data());
                atSlot = targetSlot;
            }
            LinkRoot root{at, atSlot, 1, 0};
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                const Parameter& p = **it;
                if (p.op == LinkOp::Add) root.offset += p.operand;
                if (p.op == LinkOp::Multiply) {
                    root.scale *= p.operand;
                    root.offset *= p.operand;
                }
            }
            out.roots[std::size_t(c)][std::size_t(slot)] = root;
        }
    }
    return out;
}

std::string checkModel(const FitModel& model, bool needSensitivities) {
    if (model.components.empty()) return "\"components\": the model has no components.";
    if (model.components.size() > kMaxComponents)
        return "\"components\": a model holds at most " + std::to_string(kMaxComponents) + " components.";
    if (model.region) {
        const Region& r = *model.region;
        if (!std::isfinite(r.from) || !std::isfinite(r.to))
            return "\"region\": from and to are finite numbers.";
        if (r.from == r.to) return "\"region\": from and to are the same energy; the region is empty.";
    }
    const Background& bg = model.background;
    if (bg.type == BackgroundType::Tougaard && !(std::isfinite(bg.tougaardB) && bg.tougaardB > 0))
        return "\"background\", \"B\": the Tougaard B is a positive number of eV^2.";
    for (const auto& [p, name] : {std::pair{&bg.c0, "c0"}, std::pair{&bg.c1, "c1"}})
        if (*p) {
            const std::string place = "\"background\", parameter \"" + std::string(name) + "\"";
            if ((*p)->linked()) return place + ": a background parameter takes no link.";
            if (std::string m = checkOwnValue(place, **p); !m.empty()) return m;
        }

    std::set<std::string, std::less<>> names;
    for (std::size_t i = 0; i < model.components.size(); ++i) {
        const Component& c = model.components[i];
        if (!validName(c.name))
            return "components[" + std::to_string(i) + "]: the name \"" + c.name +
                   "\" is not one of letters, digits, \"_\", \".\" and \"/\" starting with a letter.";
        if (!names.insert(c.name).second) return "component \"" + c.name + "\": the name is given twice.";
        const std::string where = "component \"" + c.name + "\"";
        if (!c.element.empty() && !isPlainLabel(c.element))
            return where + ", \"element\": a short name without blanks, commas or quotes.";
        if (!c.level.empty() && !isPlainLabel(c.level))
            return where + ", \"level\": a short name without blanks, commas or quotes.";
        if (c.sensitivity && !(std::isfinite(*c.sensitivity) && *c.sensitivity > 0))
            return where + ", \"sensitivity\": a positive number.";
        if (needSensitivities && !c.element.empty() && !c.sensitivity)
            return where + ": the element " + c.element + (c.level.empty() ? "" : " " + c.level) +
                   " has no \"sensitivity\" (give one, or a sensitivity table that lists it).";
        const auto& pnames = parameterNames(c.shape);
        for (std::size_t j = 0; j < pnames.size(); ++j) {
            const Parameter& p = c.parameters[j];
            if (p.linked()) {
                if (!std::isfinite(p.operand))
                    return parameterPlace(c.name, pnames[j]) + ": the link's number is not finite.";
                continue;
            }
            const std::string place = parameterPlace(c.name, pnames[j]);
            if (std::string m = checkOwnValue(place, p); !m.empty()) return m;
            if (std::string m = checkLimits(place, pnames[j], p.value); !m.empty()) return m;
        }
    }
    const ResolvedLinks links = resolveLinks(model);
    if (!links.error.empty()) return links.error;
    // A linked parameter starts where its root starts, moved by the link: it too has to respect its
    // natural limits there ("fwhm": "C1 - 2" of a 1.2 eV wide C1 would be a negative width).
    for (std::size_t i = 0; i < model.components.size(); ++i) {
        const Component& c = model.components[i];
        const auto& pnames = parameterNames(c.shape);
        for (std::size_t j = 0; j < pnames.size(); ++j) {
            if (!c.parameters[j].linked()) continue;
            const LinkRoot& r = links.roots[i][j];
            const double v =
                r.scale * model.components[std::size_t(r.component)].parameters[std::size_t(r.slot)].value +
                r.offset;
            if (std::string m = checkLimits(parameterPlace(c.name, pnames[j]) +
                                                " (linked: " + linkText(c.parameters[j]) + ")",
                                            pnames[j], v);
                !m.empty())
                return m;
        }
    }
    return {};
}

} // namespace korvo::fit
