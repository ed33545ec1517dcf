#pragma once
// The spectrum text file as data: what the writer needs to produce one (header values and save
// options; the point values come straight from the run's data block) and what the reader takes back
// from one (header texts as the viewer shows them, and the (x, y) points).
#include "files/measurement_data.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

// Header values of a spectrum being written. Texts are UTF-8; the writer encodes them.
struct SpectrumHeader {
    std::uint8_t machineMode = ModeClam; // MachineModes
    std::string kindText;                // selected kind of measurement: "c(t)", "CAE", "CRR", "KEI"
    std::string comment;
    std::string sample;
    std::string saveDir;           // directory shown on the "FileName:" line
    std::string fileName;          // the file-name field
    std::int32_t timePerPoint = 0; // ms
    // Number of the scan under way; the file states the completed scans, one less.
    std::int32_t scanNumber = 1;
    std::int32_t points = 0; // points per scan
    double analyserStart = 0;
    double ramp = 0;
    double photonStart = 0;
    double passEnergy = 0;
    std::string startFieldText; // the start-energy field exactly as typed
    double keithleyScale = 1E4; // electrometer scaling factor (Keithley mode only)
    // Items of the "Energy Positions" list, e.g. "C_1    -1.250"; the offset is read from the 4th
    // character on.
    std::array<std::string, 9> channelItems{};
    std::int32_t maxPositiveShift = 0; // extra points before the scan window
    std::int32_t maxNegativeShift = 0; // extra points after it
    // Decimals of the energies; unset: from ramp and points. A file that holds only part of a scan
    // keeps the decimals of the scan's own grid.
    std::optional<int> energyDecimals;
    // Left empty, the logged-on user and the current local time are taken when the file is made.
    std::optional<std::string> userName;
    std::optional<std::time_t> writtenAt;
};

// Options of the options window and the "Add Keithley" menu items that shape the data rows.
struct SpectrumSaveOptions {
    bool saveExtraPoints = false;
    bool saveRawData = true;
    bool addKeithley1 = false;
    bool addKeithley2 = false;
    // No record after this one is written: the steps a stopped scan never reached.
    std::size_t lastRecord = SIZE_MAX;
};

struct SpectrumPoint {
    double x = 0;
    double y = 0;
};

// A spectrum file as the viewer reads it: header lines matched by key, then (x, y) per data line.
struct SpectrumFileData {
    std::string fileName; // "FileName" line, or the file's own name when it has none
    std::string commentText;
    std::string sampleText;
    std::string dateText;
    std::string scansText;
    std::int32_t scans = 0;
    std::string measTimeText;
    double measTime = 0;
    std::string pointsText;
    std::string passEnText;
    std::string anaStaText;
    std::string anaEndText;
    // "PhotEn" line: the photon energy of a kinetic-energy spectrum; in the photon-energy scans the
    // "Phot.Start" line, the photon energy the scan starts at.
    std::string photEnText;
    std::string fileformText; // "Fileform" line: the machine mode that measured it ("Fileform: CLAM_CFS")
    std::string anaFixText;   // "Fix. Analyser Energy" line of a constant-final-state scan
    // The raw counts of channeltrons 1 to 9 (columns 3 to 11 of every data line) summed over the
    // lines, when every line has them: a file saved with its raw data.
    std::optional<std::array<double, 9>> channelTotals;
    int headerLines = 0; // lines before the data, the "BEGIN" line included; 0 for a bare table
    bool endFound = false;
    std::vector<SpectrumPoint> points;
};

} // namespace korvo
