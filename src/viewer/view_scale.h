#pragma once
// The scale of a viewer window's spectra and every command that changes their display ranges:
// the per-paint scale, mouse zoom, the scroll bars and the full-scale commands. Plain functions over
// the workspace, so the window, korvo-cli plot and the tests share one arithmetic; the window only
// turns mouse and menu actions into these calls and shows the messages they return.
#include "viewer/binding_axis.h"
#include "viewer/workspace.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// Reports of a zero or negative range, each named after the place that found it. The old per-pixel
// factor stays and painting goes on.
inline constexpr std::string_view kPfuschEnergie = "Pfusch_energie";
inline constexpr std::string_view kPfuschCounts = "Pfusch_counts";
inline constexpr std::string_view kSkalierungspfusch2 = "skalierungspfusch2";
inline constexpr std::string_view kEnergiepfusch10 = "Energiepfusch10";
inline constexpr std::string_view kCountspfusch10 = "countspfusch10";
inline constexpr std::string_view kEnergiepfusch11 = "Energiepfusch11";
inline constexpr std::string_view kCountspfusch11 = "Countspfusch11";
inline constexpr std::string_view kEnergiepfusch20 = "Energiepfusch20";
inline constexpr std::string_view kCountspfusch20 = "Countspfusch20";

// Messages a command has for the user, each text once (one command touches many spectra, and one
// box per spectrum would bury the window).
struct ViewMessages {
    std::vector<std::string> texts;
    void add(std::string_view text);
    bool empty() const { return texts.empty(); }
};

// Which spectra the range commands act on: every shown spectrum with "AllSpectra", otherwise the
// marked shown spectra only ("Active Spectra" means the marked ones).
enum class RangeScope { AllSpectra, Marked };

// Numbers of the shown spectra in display order.
std::vector<int> shownSpectra(const tvar& ws);
// Numbers of the shown spectra in scope, in display order.
std::vector<int> spectraInScope(const tvar& ws, RangeScope scope);

// Where the parts of the window go for a client area: the paint box at the top left, the horizontal
// scroll bar under it, the radio row 17 pixels lower, the information panels from 34 pixels under
// the paint box on, 17 pixels each.
struct ViewerLayout {
    int plotWidth = 0;
    int plotHeight = 0;
    int scrollBarTop = 0;
    int radioRowTop = 0;
    int firstPanelTop = 0;
};
inline constexpr int kInfoPanelHeight = 17;
ViewerLayout viewerLayout(int clientWidth, int clientHeight, int verticalScrollBarWidth, int infoPanelsHeight);

// PlotWidthPx, PlotHeightPx, XRange, YRange and the per-pixel factors of spectrum k from the paint
// box size in the workspace. A range that is not positive keeps the old factor and reports
// `xMessage` or `yMessage`; a paint box too small for a data area keeps the old factors silently
// (there is nothing to draw into).
void updateScale(tvar& ws, int k, std::string_view xMessage, std::string_view yMessage, ViewMessages& messages);
// Before a paint: every shown spectrum ("Pfusch_energie", "Pfusch_counts").
void updateScalesForPaint(tvar& ws, ViewMessages& messages);

// Left button up after a zoom drag from (col0, row0) to (col1, row1): every spectrum in scope gets
// the rectangle's ranges when it is at least 10 pixels wide and high. false when it was smaller
// (nothing changed).
inline constexpr int kMinZoomPixels = 10;
bool zoomIn(tvar& ws, RangeScope scope, int col0, int row0, int col1, int row1, ViewMessages& messages);
// Right button up: every spectrum in scope shows twice its range about the same centre.
void zoomOut(tvar& ws, RangeScope scope, ViewMessages& messages);

// One scroll bar as set up after a change of ranges: position 0 is the current view, min and max
// reach the ends of the loaded range of the spectrum in scope that lies farthest from them, and one
// unit of the bar moves the view by `unitPixels` pixels.
enum class ScrollAxis { Energy, Counts };
struct ScrollBarSetup {
    int min = 0;
    int max = 0;
    double unitPixels = 0;
    int position = 0;
};
ScrollBarSetup setupScrollBar(const tvar& ws, RangeScope scope, ScrollAxis axis);
// The bar moved to `position`: every spectrum in scope is shifted by the units moved since the last
// position, times unitPixels, times its own per-pixel factor. `bar.position` follows.
void scrollTo(tvar& ws, RangeScope scope, ScrollAxis axis, ScrollBarSetup& bar, int position);

// The "&Not Scaled" commands: one common range over all points of all shown spectra. On the binding
// axis the energy range is the common range of the spectra converted each with its own photon energy,
// and every spectrum gets the kinetic range that is that binding range for it (the kinetic range
// when a shown spectrum cannot be converted).
enum class FullScale { All, X, Y, Special };
void fullScale(tvar& ws, FullScale command, const BindingAxis* binding = nullptr);

} // namespace korvo
