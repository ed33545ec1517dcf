#pragma once
// The workspace of one spectrum viewer window: every spectrum loaded into that window with its
// header texts, display range and points, the order in which spectra are drawn, and the window's
// selection state. The window, korvo-cli and the tests work on the fields directly; the few member
// functions only spare each of them the same arithmetic.
//
// Spectra are numbered 1 to kMaxSpectra in loading order; entry 0 of every table exists and is never
// a spectrum. All points of all spectra lie in one pool: point j (1 .. NumPoints) of spectrum k is
// pool[PoolStart + j], spectra follow each other in number order, pool element 0 is never used.
//
// Plain C++ on purpose: the window only shows a workspace and turns mouse and menu actions into calls
// on it; menu items stay with the window (it keeps its "&Spectrum" actions by spectrum number).
#include "files/spectrum_file.h"
#include "plot/plot_mapping.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvo {

// Spectrum numbers 1 .. kMaxSpectra per window; at most kMaxLoadFiles files per load list.
inline constexpr int kMaxSpectra = 2000;
inline constexpr int kMaxLoadFiles = 2000;

// Longest header texts, in characters; longer input is cut.
inline constexpr std::size_t kLongTextLength = 100;  // PathName, ShortName, DateText, CommentText, SampleText
inline constexpr std::size_t kShortTextLength = 20;  // ScansText, MeasTimeText, PointsText, PassEnText,
                                                     // AnaStaText, AnaEndText

// One spectrum number's entry of the tables. Texts are UTF-8, already cut to their length.
struct ViewerSpectrum {
    std::string PathName;     // the file it came from, cut to kLongTextLength
    std::string ShortName;    // file name without directory; caption of its "&Spectrum" menu entry
    std::string DateText;     // whole "Date" header line
    std::string CommentText;  // whole "Comment" line
    std::string SampleText;   // whole "Probe" line
    std::string ScansText;    // whole "Scans" line
    std::string MeasTimeText; // whole "MeasTime" line
    std::string PointsText;   // whole "Points" line
    std::string PassEnText;   // "PassEn: " + pass energy with 2 decimals
    std::string AnaStaText;   // whole "AnaSta" line
    std::string AnaEndText;   // whole "AnaEnd" line
    // Not part of a project either: what the exports need to say what was measured.
    std::string PhotEnText;   // whole "PhotEn" line (photon energy), or "Phot.Start" of a photon-energy scan
    std::string FileformText; // whole "Fileform" line: "Fileform: CLAM_CFS" for a constant-final-state scan
    std::string AnaFixText;   // whole "Fix. Analyser Energy" line of a constant-final-state scan
    // The file's raw counts of channeltrons 1 to 9 summed over its points, when it was saved with its
    // raw data: how the counts of a point were shared among the nine counters (dead-time correction).
    std::optional<std::array<double, 9>> ChannelTotals;
    std::string FileName;     // "FileName" line, no length limit; the window caption while active
    // The entry it was read from when its NeXus file holds several spectra ("entry2"), else empty:
    // what tells apart spectra of one file that have the same name.
    std::string NexusEntry;

    std::int32_t Scans = 0;
    double MeasTime = 0;
    double RateFactor = 1; // 1000 / Scans / MeasTime once loaded
    std::int32_t NumPoints = 0;
    std::int32_t PoolStart = 0;

    // Current display range, and the range right after loading ("Reset" returns to it).
    double YMax = 0, YMin = 0, XMin = 0, XMax = 0;
    double XMinOrig = 0, XMaxOrig = 0, YMinOrig = 0, YMaxOrig = 0;
    double YTop = 0; // count value at the top edge of the data area

    // Scale of the last paint (recomputeScale).
    double XRange = 0, YRange = 0;
    std::int32_t PlotWidthPx = 0, PlotHeightPx = 0;
    double XPerPixel = 0, YPerPixel = 0;

    std::uint8_t Marked = 0; // "&Mark": drawn green
};

// Size and place of the viewer window as a project keeps them; the window applies them after a
// project load and fills them in before a project save. The defaults are those of a project that
// the multichanneltron conversion writes.
struct WindowGeometry {
    std::int32_t width = 500;
    std::int32_t height = 400;
    std::int32_t top = 100;
    std::int32_t left = 100;
};

class tvar {
public:
    tvar();

    // Tables by spectrum number: kMaxSpectra + 1 entries, entry 0 unused. Never resized.
    std::vector<ViewerSpectrum> spectra;
    // The point pool; see the top of this file.
    std::vector<SpectrumPoint> pool;

    // Positions 1 .. ShownCount: the shown spectra in drawing order; ShownCount + 1 ..
    // ShownCount + HiddenCount: the hidden ones. Position 0 unused.
    std::array<std::uint16_t, kMaxSpectra + 1> Order{};
    std::int32_t ShownCount = 0;
    std::uint16_t HiddenCount = 0;
    std::int32_t Active = 0; // number of the active spectrum, 0 while there is none

    // Selection, set by the mouse.
    std::int32_t SelStartPoint = 0, SelEndPoint = 0;
    double SelStartX = 0, SelEndX = 0;
    std::int32_t SelStartPx = 0, SelEndPx = 0;
    std::uint8_t SelDragging = 0;
    std::uint8_t SelDragWhich = 0; // 1: the start mark (left button), 0: the end mark (right button)
    std::uint8_t ZoomDragging = 0;
    std::int32_t ZoomStartCol = 0, ZoomStartRow = 0;

    // Paint box size (set on every paint) and the height the visible info panels take below it.
    std::int32_t PlotWidth = 0, PlotHeight = 0;
    std::int32_t InfoPanelsHeight = 0;

    std::uint8_t Closed = 0; // the window was closed, or a load found nothing for an empty window
    std::string ProjectFileName;
    WindowGeometry geometry;

    // Spectra loaded (shown and hidden); the next load numbers its spectra from here + 1.
    std::int32_t spectrumCount() const { return ShownCount + HiddenCount; }

    ViewerSpectrum& spectrum(int k) { return spectra.at(static_cast<std::size_t>(k)); }
    const ViewerSpectrum& spectrum(int k) const { return spectra.at(static_cast<std::size_t>(k)); }
    // The spectrum at display position i (1-based).
    int atPosition(int i) const { return Order.at(static_cast<std::size_t>(i)); }

    // Point j (1 .. NumPoints) of spectrum k.
    SpectrumPoint& point(int k, int j);
    const SpectrumPoint& point(int k, int j) const;
    // Points 1 .. NumPoints of spectrum k (empty when the pool does not hold them).
    std::span<SpectrumPoint> points(int k);
    std::span<const SpectrumPoint> points(int k) const;

    // PoolStart of spectra 1 .. upTo from the NumPoints before them: 0 for spectrum 1.
    void recomputePoolStarts(int upTo);

    // Before a paint: PlotWidthPx, PlotHeightPx from PlotWidth and PlotHeight, then XRange, YRange,
    // XPerPixel, YPerPixel of spectrum k.
    void recomputeScale(int k);
    // Point <-> pixel of spectrum k with its last scale: column = round((x - XMin) / XPerPixel) + 45,
    // row = round((YTop - y) / YPerPixel + 5), x = (column - 45) * XPerPixel + XMin.
    plot::ViewerMapping mapping(int k) const;
    int column(int k, double x) const { return mapping(k).column(x); }
    int row(int k, double y) const { return mapping(k).row(y); }
    double xAtColumn(int k, int column) const { return mapping(k).xAt(column); }

    // Closing the window: the pool is released and Closed set.
    void release();
};

} // namespace korvo
