#pragma once
// The multichanneltron spectrum as the correlation tool reads it: the header values it needs and the
// nine channeltron count columns of the rows inside the analyser window [AnaSta, AnaEnd].
//
// The header keys are searched one after the other, each from the line after the previous one:
// "Points:", "PassEn:", "AnaSta:", "AnaEnd:", then "BEGIN:". A data row is the energy, the summed
// count and the nine channeltron counts; rows whose energy lies outside [AnaSta, AnaEnd] (the extra
// points) are passed over, and the data end at the end of the file or at an "END" line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

inline constexpr int kChanneltrons = 9;
// A curve is kept with an edge extension of N + 1 entries on each side (indices -N to 2N + 1), and
// no curve holds more than 20001 entries: at most 6666 rows.
inline constexpr std::size_t kCorrelationMaxEntries = 20001;
inline constexpr std::size_t kCorrelationMaxRows = (kCorrelationMaxEntries - 2) / 3;
inline constexpr std::size_t kCorrelationMaxFileBytes = std::size_t(64) << 20;

struct ChanneltronSpectrum {
    std::int32_t points = 0; // points per scan, as the header states it
    double passEnergy = 0;
    double anaStart = 0, anaEnd = 0;
    // counts[c][k]: channeltron c + 1 in the k-th row inside the analyser window.
    std::array<std::vector<std::int64_t>, kChanneltrons> counts;
    std::size_t rows() const { return counts[0].size(); }
};

struct ChanneltronSpectrumRead {
    ChanneltronSpectrum spectrum;
    std::string error; // for the user; empty on success
    explicit operator bool() const { return error.empty(); }
};

// `name` names the file in messages.
ChanneltronSpectrumRead readChanneltronSpectrumText(std::string_view bytes, std::string_view name);
// A regular file of at most kCorrelationMaxFileBytes.
ChanneltronSpectrumRead readChanneltronSpectrumFile(const std::string& path);

} // namespace korvo
