#pragma once
// What the viewer window writes into its labels: the information panels of the active spectrum, the
// cursor readout, the window caption and the rows of the value table.
#include "viewer/binding_axis.h"
#include "viewer/workspace.h"

#include <array>
#include <string>
#include <vector>

namespace korvo {

// The five information panels in their fixed order, as the "&Display" items switch them.
enum class InfoPanel { Sample, Comment, Date, Numbers, Analyser };
inline constexpr int kInfoPanelCount = 5;

struct InfoPanelSet {
    std::array<bool, kInfoPanelCount> on{};
    bool shown(InfoPanel p) const { return on[static_cast<std::size_t>(p)]; }
    int count() const;
    int height() const; // InfoPanelsHeight: 17 pixels per visible panel
    // One "&Display" item: returns the change of height (+17 or -17).
    int toggle(InfoPanel p);
    // "show &all / clear": all off when all are on, else every unchecked one on. Returns the change
    // of height.
    int showAllOrClear();
};

// The texts of the visible panels, top-down, from the active spectrum (empty texts when there is
// none).
std::vector<std::string> infoPanelTexts(const tvar& ws, const InfoPanelSet& panels);

// The radio row's readout for the pointer at (column, row), from the active spectrum's scale:
// "  X = " + x + "  Y = " + y, each with width 10 and 3 decimals; x below XMin shows XMin, y below
// YMin shows YMin. Empty when there is no active spectrum. With `binding` X is the binding energy of
// that kinetic energy.
std::string cursorReadout(const tvar& ws, int column, int row, const BindingAxis* binding = nullptr);

// The window caption: FileName of the active spectrum (empty when there is none).
std::string activeCaption(const tvar& ws);

// The value table ("Value Table"): its headings and one row per shown spectrum in display order.
inline constexpr std::array<const char*, 6> kValueTableHeadings = {"Spectrum",  "Sample",    "EnergyMin",
                                                                   "EnergyMax", "CountsMin", "CountsMax"};
std::vector<std::array<std::string, 6>> valueTableRows(const tvar& ws);

// A spectrum's name in the data selection lists: ShortName, 15 characters at most.
std::string listName(const tvar& ws, int k);

// `text` without its first `n` characters (UTF-8 aware).
std::string dropLeadingCharacters(const std::string& text, std::size_t n);

} // namespace korvo
