#pragma once
// ISO 14976 ("VAMAS") files: the exchange format of surface analysis, which every analysis program
// our users move to reads. One experiment header, then one block per spectrum; every value stands on
// a line of its own and its meaning follows from its place and from the values before it.
//
// What is written (experiment mode NORM, scan mode REGULAR, one block per spectrum):
//   header  format line, institution, instrument model, operator, experiment id, comment lines,
//           "NORM", "REGULAR", spectral regions (= blocks), 0 experimental variables, an empty
//           parameter inclusion list, no manually entered items, no future upgrade entries, blocks;
//   block   block id, sample id, year, month, day, hours, minutes, seconds, hours ahead of GMT,
//           comment lines, technique, analysis source label, characteristic energy (the photon
//           energy), source strength, beam width x and y, polar angle and azimuth of incidence,
//           analyser mode "FAT", pass energy, lens magnification, work function, target bias,
//           analysis width x and y, take-off polar angle and azimuth, species, transition, charge of
//           the detected particle, abscissa label "Kinetic Energy", units "eV", start, increment,
//           one corresponding variable "counts" in "d", signal mode "pulse counting", collection
//           time (s), scans, signal time correction, sample tilt and its azimuth, rotation, the
//           additional parameters (label, units, value), the number of values, their minimum and
//           maximum, the values;
//   end     "end of experiment". Lines end with CR LF.
//
// A REGULAR block carries its energies as start and increment. Korvo's energies are decimals
// (the spectrum file writes them with a few decimals), so start and increment are written as exact
// decimals and the reader computes start + i x increment in decimal: an evenly spaced spectrum comes
// back with exactly the energies it had. A spectrum whose energies are not evenly spaced in that
// sense (a rounded step such as 10 eV / 3, an edited grid) is written with the mean step, and its
// exact energies are added to the block comment as lines "Korvo x=e1 e2 ..." that the reader takes
// instead; other programs see the comment and the evenly spaced approximation.
//
// Texts that Korvo keeps and the standard has no place for go into the block comment too, as lines
// "Korvo <name>=<text>" (`VamasBlock::korvo`); the reader hands them back apart from the comment.
//
// The reader takes what other programs write as well: blank lines before the format line,
// experimental variables, several corresponding variables (the first one is read), an inclusion or
// exclusion list (items left out of a later block keep the first block's values), manually entered
// items, future upgrade entries, and IRREGULAR scans, whose blocks have no abscissa start and
// increment but carry the abscissa as their first corresponding variable, one value per point
// (x1 y1 x2 y2 ...). It reads NORM experiments only and refuses anything else, like every damaged
// file and an abscissa that runs beyond the number range, with a message naming the block and line.
#include "files/spectrum_file.h"
#include "files/spectrum_reader.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvo {

inline constexpr std::string_view kVamasFormatLine =
    "VAMAS Surface Chemical Analysis Standard Data Transfer Format 1988 May 4";

struct VamasExperiment {
    std::string institution = "Not Specified";
    std::string instrument = "Not Specified";
    std::string operatorId = "Not Specified";
    std::string experimentId = "Not Specified";
    std::vector<std::string> comment;
};

struct VamasDateTime {
    std::int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0; // all 0: unknown
    double hoursAheadOfGmt = 0;
};

// An additional numerical parameter of a block. The value is kept as written: it is passed on, and
// read as a number only where it is used.
struct VamasParameter {
    std::string label;
    std::string units;
    std::string value;
};

// One block, as Korvo writes and reads it. Texts are UTF-8.
struct VamasBlock {
    std::string blockId;
    std::string sampleId;
    VamasDateTime date;
    std::vector<std::string> comment;                          // without Korvo's own lines
    std::vector<std::pair<std::string, std::string>> korvo;    // "Korvo <name>=<text>" lines, in order
    std::string technique = "XPS";
    std::string sourceLabel = "Not Specified";
    double sourceEnergy = 0; // characteristic energy: the photon energy, 0 when unknown
    std::string analyserMode = "FAT";
    double passEnergy = 0;
    std::string abscissaLabel = "Kinetic Energy";
    std::string abscissaUnits = "eV";
    std::string ordinateLabel = "counts";
    std::string ordinateUnits = "d";
    std::string signalMode = "pulse counting";
    double collectionTime = 0; // s per point
    std::int32_t scans = 0;
    std::vector<VamasParameter> parameters;
    std::vector<SpectrumPoint> points; // x: abscissa, y: the (first) corresponding variable
};

// The text of a file with these blocks, CR LF line ends. Values must be finite (the caller checks:
// vamasBlockProblem).
std::string vamasFileText(const VamasExperiment& experiment, const std::vector<VamasBlock>& blocks);

// Why a block cannot be written (no points, a value or energy that is not a finite number), or "".
std::string vamasBlockProblem(const VamasBlock& block);

struct VamasReadLimits {
    std::size_t maxBlocks = 2000;                 // more blocks are refused before one is read
    std::uint64_t maxPoints = kMaxSpectrumPoints; // all blocks together
};

struct VamasReadResult {
    std::string error; // for the user; empty on success
    int errorLine = 0; // 1-based line that failed, 0 when none
    int errorBlock = 0; // 1-based block that failed, 0 for the experiment header or none
    VamasExperiment experiment;
    std::vector<VamasBlock> blocks;
    explicit operator bool() const { return error.empty(); }
};

// `name` is the file's name in messages.
VamasReadResult readVamasSource(SpectrumByteSource& source, std::string_view name, const VamasReadLimits& limits = {});
VamasReadResult readVamasText(std::string_view bytes, std::string_view name, const VamasReadLimits& limits = {});

} // namespace korvo
