#include "acquisition/channel_shift_table.h"

#include "common/ini_file.h"
#include "common/number_text.h"

namespace korvo {

namespace {

constexpr const char* kHeaders[ChannelShiftTable::kColumns] = {
    "PassEnergy:", "0.1 eV", "0.25 eV", "0.5 eV", "1.0 eV", "2.5 eV", "5.0 eV", "10.0 eV", "",
    "2 eV",        "5 eV",   "10 eV",   "20 eV",  "50 eV",  "100 eV", "200 eV"};

// Default factors of the 14 data columns in grid order (1..7, then 9..15), channeltrons 1..9. The
// decimals differ from column to column on purpose: they are the texts shown in the grid. The
// table is not exactly antisymmetric ("10 eV": 0.030 against -0.028); these are measured values.
constexpr const char* kDefaults[14][9] = {
    {"0.1600", "0.1200", "0.0800", "0.0400", "0.0000", "-0.0400", "-0.0800", "-0.1200", "-0.1600"},
    {"0.144", "0.108", "0.072", "0.036", "0.000", "-0.036", "-0.072", "-0.108", "-0.144"},
    {"0.132", "0.099", "0.066", "0.033", "0.000", "-0.033", "-0.066", "-0.099", "-0.132"},
    {"0.112", "0.082", "0.055", "0.027", "0.000", "-0.027", "-0.055", "-0.082", "-0.112"},
    {"0.1102", "0.0827", "0.0551", "0.0276", "0.0000", "-0.0276", "-0.0551", "-0.0827", "-0.1102"},
    {"0.1052", "0.0786", "0.0514", "0.0254", "0.0000", "-0.0254", "-0.0514", "-0.0786", "-0.1052"},
    {"0.1046", "0.0784", "0.0523", "0.0261", "0.0000", "-0.0261", "-0.0523", "-0.0784", "-0.1046"},
    {"0.1200", "0.0900", "0.0600", "0.0300", "0.0000", "-0.0300", "-0.0600", "-0.0900", "-0.1200"},
    {"0.1200", "0.0900", "0.0600", "0.0300", "0.0000", "-0.0300", "-0.0600", "-0.0900", "-0.1200"},
    {"0.112", "0.086", "0.056", "0.030", "0.000", "-0.028", "-0.058", "-0.090", "-0.120"},
    {"0.112", "0.082", "0.054", "0.027", "0.000", "-0.027", "-0.055", "-0.082", "-0.111"},
    {"0.0940", "0.0705", "0.0470", "0.0235", "0.0000", "-0.0235", "-0.0470", "-0.0705", "-0.0940"},
    {"0.0972", "0.0729", "0.0486", "0.0243", "0.0000", "-0.0243", "-0.0486", "-0.0729", "-0.0972"},
    {"0.0996", "0.0747", "0.0498", "0.0247", "0.0000", "-0.0247", "-0.0498", "-0.0747", "-0.0996"},
};

const std::string kEmpty;

bool inGrid(int column, int row) {
    return column >= 0 && column < ChannelShiftTable::kColumns && row >= 0 && row < ChannelShiftTable::kRows;
}

} // namespace

ChannelShiftTable::ChannelShiftTable() {
    restoreDefaults();
}

void ChannelShiftTable::restoreDefaults() {
    for (int c = 0; c < kColumns; ++c) {
        cells_[c][0] = kHeaders[c];
        for (int r = 1; r < kRows; ++r) cells_[c][r].clear();
    }
    for (int r = 1; r < kRows; ++r) cells_[0][r] = "Channel " + std::to_string(r);
    int d = 0;
    for (int c = 1; c < kColumns; ++c) {
        if (!isDataColumn(c)) continue;
        for (int r = 1; r < kRows; ++r) {
            const std::string text = kDefaults[d][r - 1];
            cells_[c][r] = text[0] == '-' ? text : " " + text;
        }
        ++d;
    }
}

const std::string& ChannelShiftTable::cell(int column, int row) const {
    return inGrid(column, row) ? cells_[column][row] : kEmpty;
}

void ChannelShiftTable::setCell(int column, int row, std::string text) {
    if (inGrid(column, row)) cells_[column][row] = std::move(text);
}

int ChannelShiftTable::findColumn(const std::string& key) const {
    int found = -1;
    for (int c = 1; c < kColumns; ++c)
        if (cells_[c][0] == key) found = c;
    return found;
}

double ChannelShiftTable::factor(int column, int row) const {
    if (!isDataColumn(column) || row < 1 || row >= kRows) return 0.0;
    auto v = text::parseDouble(cells_[column][row]);
    return v ? *v : 0.0;
}

std::vector<ChannelShiftTable::BadCell> ChannelShiftTable::badCells() const {
    std::vector<BadCell> bad;
    for (int c = 1; c < kColumns; ++c) {
        if (!isDataColumn(c)) continue;
        for (int r = 1; r < kRows; ++r)
            if (!text::parseDouble(cells_[c][r])) bad.push_back({c, r, cells_[c][r]});
    }
    return bad;
}

void ChannelShiftTable::load(const IniFile& ini) {
    for (int c = 1; c < kColumns; ++c) {
        if (!isDataColumn(c)) continue;
        // A pass energy that has no section at all (a fresh installation, an INI from before the
        // multichanneltron) keeps its calibrated defaults: zero factors would silently switch off
        // the shift correction and smear every peak over the nine channeltrons. A section that
        // exists is the user's own calibration, and a key missing there still reads "0.0".
        if (!ini.hasSection(kHeaders[c])) continue;
        for (int r = 1; r < kRows; ++r)
            cells_[c][r] = ini.readString(kHeaders[c], "C" + std::to_string(r), "0.0");
    }
}

void ChannelShiftTable::save(IniFile& ini) const {
    for (int c = 1; c < kColumns; ++c) {
        if (!isDataColumn(c)) continue;
        for (int r = 1; r < kRows; ++r) ini.writeString(kHeaders[c], "C" + std::to_string(r), cells_[c][r]);
    }
}

} // namespace korvo
