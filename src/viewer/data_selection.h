#pragma once
// Data selection ("&Select") and marking ("&Mark"): which loaded spectra are shown, in which order,
// which one is active, and which are marked. The selection dialog edits a copy; the window takes it
// back into the workspace only on "OK", so "Cancel" leaves everything as it was.
#include "viewer/workspace.h"

#include <vector>

namespace korvo {

struct DataSelection {
    std::vector<int> shown;  // spectrum numbers, display order ("Shown Data")
    std::vector<int> hidden; // "Available Data"
    int active = 0;          // "Show Values of": a shown spectrum, 0 when none is left

    static DataSelection of(const tvar& ws);

    // "--->": the hidden spectra at the given rows (of `hidden`) go to the end of the shown list, in
    // list order.
    void show(const std::vector<int>& hiddenRows);
    // "<---": the shown spectra at the given rows go to the end of the hidden list. When the active
    // one goes, the first remaining shown spectrum becomes active (none when the list is empty).
    void hide(const std::vector<int>& shownRows);

    // Order, ShownCount, HiddenCount and Active rewritten together.
    void applyTo(tvar& ws) const;
};

// "&Mark": Marked cleared on every shown spectrum, then set on the chosen spectrum numbers (those
// that are shown).
void markSpectra(tvar& ws, const std::vector<int>& chosen);

} // namespace korvo
