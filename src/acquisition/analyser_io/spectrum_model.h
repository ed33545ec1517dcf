#pragma once
// Count rate (counts per second) that the simulated analyser sees at a kinetic energy. Either a few
// photoemission lines on an inelastic background, or a measured spectrum loaded from a two-column
// text file and interpolated linearly.
#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvo {

class SpectrumModel {
public:
    // One line: pseudo-Voigt profile (Gaussian mixed with a Lorentzian of the same width).
    struct Peak {
        double centre = 0;          // eV
        double height = 0;          // counts/s at the centre
        double fwhm = 1;            // eV
        double lorentzFraction = 0; // 0 pure Gaussian, 1 pure Lorentzian
        // Height of the inelastic step the line leaves on its low-energy side, as a fraction of
        // the line's height (electrons that lost energy on their way out).
        double stepFraction = 0;
    };

    SpectrumModel() = default;
    // Lines on a linear background: rate = background + slope * E + lines.
    static SpectrumModel lines(std::vector<Peak> peaks, double background = 0, double slope = 0);
    // A believable core-level spectrum over 0..1600 eV kinetic energy: secondary-electron tail,
    // a sloping background and lines near 35, 84/88, 285 and 531 eV with their loss steps.
    static SpectrumModel standard();
    // A model file holds at most this many bytes: a measured spectrum of a few hundred thousand
    // points fits, while a device or a huge unrelated file is refused after a bounded read.
    static constexpr std::size_t kMaxFileBytes = std::size_t(8) << 20;

    // Two columns per line (energy in eV, count rate in counts/s), separated by blanks, tabs or ";".
    // Empty lines and lines starting with "#" are skipped. Energies must rise strictly, rates must
    // not be negative, at least two points are needed. nullopt with a message naming the line.
    static std::optional<SpectrumModel> parseText(std::string_view text, std::string* error);
    // The same from a stream, of which at most kMaxFileBytes are read.
    static std::optional<SpectrumModel> parse(std::istream& in, std::string* error);
    // A regular file only (a device, FIFO or directory is refused without blocking), at most
    // kMaxFileBytes long. nullopt with a message naming the path and the reason.
    static std::optional<SpectrumModel> load(const std::string& path, std::string* error);

    // Never negative; a tabulated spectrum gives 0 outside its energy range.
    double rate(double energyEv) const;

private:
    std::vector<Peak> peaks_;
    double background_ = 0;
    double slope_ = 0;
    double tailHeight_ = 0; // secondary electrons near 0 eV
    double tailDecay_ = 1;  // eV
    std::vector<std::pair<double, double>> table_;
};

} // namespace korvo
