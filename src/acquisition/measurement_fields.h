#pragma once
// The measurement parameters as the main window holds them: texts, exactly as typed or as read from
// the INI file. They become numbers only when used (pass-energy change, run start), where a text that
// does not parse is reported. The main window copies its controls into this struct and back; the
// command line fills it from its options.
#include <string>

namespace korvo {

// Items of the pass-energy list: 0..6 the low set, 7..9 separators, 10..16 the high set.
inline constexpr const char* kPassEnergyItems[17] = {"0.1",  "0.25",     "0.5", "1.0",      "2.5", "5.0",
                                                     "10.0", "--------", "",    "--------", "2",   "5",
                                                     "10",   "20",       "50",  "100",      "200"};

struct MeasurementFields {
    std::string start = "10";  // start energy (eV); fixed analyser energy in mode 3
    std::string second = "30"; // ramp (rampView) or end energy
    std::string third = "20";  // points per scan (pointsView) or step (eV)
    std::string scans = "5";
    int passEnergyIndex = -1;   // selected item of the pass-energy list; -1: none
    std::string passEnergyText; // the list's text (an item's text, or what a legacy INI wrote into it)
    std::string timePerPoint = "500";
    std::string photon = "35";
    std::string gateUnits = "1";
    std::string sample;
    std::string comment;
    std::string fileName;
    bool rampView = true;   // ramp button caption "Ramp (eV)"; false: "End Energy (eV)"
    bool pointsView = true; // points button caption "Points/Scan"; false: "Step (eV)"
    int kindOfMeasure = 0;  // 0 "c(t)", 1 "CAE", 2 "CRR" (mode 5: 1 "KEI")

    const char* rampCaption() const { return rampView ? "Ramp (eV)" : "End Energy (eV)"; }
    const char* pointsCaption() const { return pointsView ? "Points/Scan" : "Step (eV)"; }
};

} // namespace korvo
