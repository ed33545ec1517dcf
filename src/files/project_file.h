#pragma once
// The project file (".k98"): a viewer window's spectra in one text file, CR LF, Windows-1252.
//
//   N (spectra), window width, window height, two empty lines;
//   N blocks of 25 lines: PathName, FileName, ShortName, SampleText, CommentText, DateText,
//     ScansText, PassEnText, PointsText, MeasTimeText, Scans, MeasTime, YMax, YMin, XMin, XMax,
//     XMaxOrig, XMinOrig, YMinOrig, YMaxOrig, NumPoints, PoolStart, "---NextSpectrum---", two empty;
//   for the spectra in the same order, NumPoints lines "x y";
//   window top, window left.
//
// Integers are plain decimals, reals the 23-character exponent form (" 1.00000000000000E+0000").
// Projects come from colleagues and older installations, so the reader trusts nothing: every count
// is checked against what the file can hold before memory is taken for it.
#include "files/spectrum_file.h"
#include "files/spectrum_reader.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

inline constexpr std::string_view kNextSpectrumMarker = "---NextSpectrum---";

// One spectrum's block. Texts are UTF-8 (the writer encodes them, the reader decodes them).
struct ProjectBlock {
    std::string PathName, FileName, ShortName, SampleText, CommentText, DateText;
    std::string ScansText, PassEnText, PointsText, MeasTimeText;
    std::int32_t Scans = 0;
    double MeasTime = 0;
    double YMax = 0, YMin = 0, XMin = 0, XMax = 0;
    double XMaxOrig = 0, XMinOrig = 0, YMinOrig = 0, YMaxOrig = 0;
    std::int32_t NumPoints = 0;
    std::int32_t PoolStart = 0; // as saved; a loader chains its own
};

struct ProjectLayout {
    std::int32_t width = 0, height = 0, top = 0, left = 0; // the viewer window
    std::vector<ProjectBlock> blocks;
};

// How the point lines are written: both values in the 23-character form, or, in the projects made
// from multichanneltron files, x with four decimals ("0.0000") and the count as an integer.
enum class ProjectPointStyle { Exponent23, EnergyAndCount };

// The file's bytes. points[i] are the points of blocks[i] (NumPoints of them).
std::string projectFileBytes(const ProjectLayout& layout, const std::vector<std::span<const SpectrumPoint>>& points,
                             ProjectPointStyle style = ProjectPointStyle::Exponent23);

struct ProjectReadLimits {
    std::size_t maxSpectra = 2000;          // a project of more blocks is refused
    std::optional<std::uint64_t> totalBytes; // size of the file, when known: counts are checked against it
};

struct ProjectReadResult {
    std::string error; // for the user; empty on success
    int errorLine = 0; // 1-based line that failed, 0 when none
    ProjectLayout layout;
    explicit operator bool() const { return error.empty(); }
};

// Reads a project. The points of all blocks, in block order, are appended to `points` (the caller's
// staging area); on failure `points` is back at its old size. `name` names the file in messages.
ProjectReadResult readProjectSource(SpectrumByteSource& source, std::string_view name,
                                    std::vector<SpectrumPoint>& points, const ProjectReadLimits& limits = {});
ProjectReadResult readProjectText(std::string_view bytes, std::string_view name, std::vector<SpectrumPoint>& points,
                                  ProjectReadLimits limits = {});

} // namespace korvo
