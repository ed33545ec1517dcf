#pragma once
// The table of Auger peaks ("auger.dat"): for up to 90 elements the kinetic energies of their peaks
// and the relative intensities, read from and written back to a text file, and turned into a stick
// spectrum of one element that the viewer loads like any other spectrum file.
//
// "auger.dat", one block per element, in column order:
//   [Name]              a line holding "[": the element's name
//   272  100            one line per peak: energy, two spaces, intensity (decimal integers)
//                       an empty line ends the block
// A line without "[" where a name is due stands for an element column left empty.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

class AugerTable {
public:
    static constexpr int kElements = 90;
    static constexpr int kPeaks = 29;      // peaks one element can hold
    static constexpr int kShownPeaks = 28; // peaks the window's grid shows; peak 29 is kept as read
    static constexpr const char* kFileName = "auger.dat";

    enum class View { Energy, Intensity };

    // Elements 1..90, peaks 1..29; 0 means "no peak". Out-of-range indices read as 0 / empty.
    const std::string& name(int element) const;
    std::uint16_t energy(int element, int peak) const;
    std::uint16_t intensity(int element, int peak) const;
    std::uint16_t value(View view, int element, int peak) const {
        return view == View::Energy ? energy(element, peak) : intensity(element, peak);
    }
    void setName(int element, std::string name);
    void setPeak(int element, int peak, std::uint16_t energy, std::uint16_t intensity);
    void setValue(View view, int element, int peak, std::uint16_t v);

    bool operator==(const AugerTable&) const = default;

private:
    using Column = std::array<std::uint16_t, kPeaks + 1>;
    std::array<std::string, kElements + 1> names_{};
    std::array<Column, kElements + 1> energies_{};
    std::array<Column, kElements + 1> intensities_{};
};

struct AugerReadResult {
    std::optional<AugerTable> table; // nullopt when the file was refused
    std::string error;               // why, for the user
    int errorLine = 0;               // 1-based line that was refused, 0 if none
    explicit operator bool() const { return table.has_value(); }
};

// Larger than any real table by far (90 blocks of 29 short lines): a guard against reading some
// unrelated big file or a device by mistake.
inline constexpr std::size_t kMaxAugerFileBytes = std::size_t(1) << 20;

// Reads the table from the bytes of "auger.dat". Refused: a block with more than 29 peaks, a peak
// line whose energy or intensity is no integer of 0 to 65535 (or that lacks the two spaces between
// them), an overlong line. Lines after the 90th block are not read.
AugerReadResult readAugerText(std::string_view bytes);
// The same from a file; a missing, unreadable or oversized file is refused with the reason.
AugerReadResult readAugerFile(const std::string& path);

// The file text of the table (Windows-1252, CR LF). A column without name and peaks is written as
// one empty line, which reads back as an empty column. nullopt with a reason when a column cannot be
// written so that it reads back the same: peaks under a name without "[", or a name without "[".
std::optional<std::string> augerFileText(const AugerTable& table, std::string* error = nullptr);
// Replaces the file atomically; on any refusal or failure the old file stays as it was.
bool writeAugerFile(const std::string& path, const AugerTable& table, std::string* error = nullptr);

// The stick spectrum of one element: for every peak with a non-zero energy three lines, a zero at
// energy - 0.01, the intensity at the energy and a zero at energy + 0.01.
std::string stickSpectrumText(const AugerTable& table, int element);
bool writeStickSpectrum(const std::string& path, const AugerTable& table, int element,
                        std::string* error = nullptr);

// The cells of the grid of one view: element names and the shown peaks as texts ("" for 0).
struct AugerCells {
    std::array<std::string, AugerTable::kElements + 1> names{};
    std::array<std::array<std::string, AugerTable::kShownPeaks + 1>, AugerTable::kElements + 1> values{};
};
AugerCells cellsOf(const AugerTable& table, AugerTable::View view);
// Stores the cells into the table's array of `view` (and the names): an empty cell stores 0,
// anything else must be an integer of 0 to 65535. All or nothing: on a refused cell the table is
// unchanged and *error names the cell. Peak 29, which the grid does not show, keeps its value.
bool storeCells(AugerTable& table, AugerTable::View view, const AugerCells& cells,
                std::string* error = nullptr);

} // namespace korvo
