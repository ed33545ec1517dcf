#include "viewer/data_selection.h"

#include "viewer/view_scale.h"

#include <algorithm>

namespace korvo {

DataSelection DataSelection::of(const tvar& ws) {
    DataSelection d;
    d.shown = shownSpectra(ws);
    const int shown = std::clamp(ws.ShownCount, 0, kMaxSpectra);
    const int last = std::min(shown + int(ws.HiddenCount), kMaxSpectra);
    for (int i = shown + 1; i <= last; ++i) d.hidden.push_back(ws.atPosition(i));
    d.active = std::find(d.shown.begin(), d.shown.end(), ws.Active) != d.shown.end() ? ws.Active
               : d.shown.empty()                                                     ? 0
                                                                                     : d.shown.front();
    return d;
}

namespace {

// Moves the entries at `rows` of `from` to the end of `to`, keeping their order.
void move(std::vector<int>& from, std::vector<int>& to, std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [&](int r) { return r < 0 || r >= int(from.size()); });
    for (int r : rows) to.push_back(from[std::size_t(r)]);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) from.erase(from.begin() + *it);
}

} // namespace

void DataSelection::show(const std::vector<int>& hiddenRows) {
    move(hidden, shown, hiddenRows);
    if (active == 0 && !shown.empty()) active = shown.front();
}

void DataSelection::hide(const std::vector<int>& shownRows) {
    move(shown, hidden, shownRows);
    if (std::find(shown.begin(), shown.end(), active) == shown.end()) active = shown.empty() ? 0 : shown.front();
}

void DataSelection::applyTo(tvar& ws) const {
    std::size_t i = 1;
    for (int k : shown) ws.Order[i++] = static_cast<std::uint16_t>(k);
    for (int k : hidden) ws.Order[i++] = static_cast<std::uint16_t>(k);
    ws.ShownCount = static_cast<std::int32_t>(shown.size());
    ws.HiddenCount = static_cast<std::uint16_t>(hidden.size());
    ws.Active = active;
}

void markSpectra(tvar& ws, const std::vector<int>& chosen) {
    const std::vector<int> shown = shownSpectra(ws);
    for (int k : shown) ws.spectrum(k).Marked = 0;
    for (int k : chosen)
        if (std::find(shown.begin(), shown.end(), k) != shown.end()) ws.spectrum(k).Marked = 1;
}

} // namespace korvo
