#pragma once
// Position factors of the nine channeltrons for every pass energy, kept as the texts of the
// multichanneltron setup grid: 16 columns x 10 rows, row 0 the pass-energy headers, column 0 the
// channel names, column 8 an empty separator. A factor times the pass energy is the channeltron's
// energy offset in eV from the analyser's nominal energy.
#include <array>
#include <string>
#include <vector>

namespace korvo {

class IniFile;

class ChannelShiftTable {
public:
    static constexpr int kColumns = 16;
    static constexpr int kRows = 10;
    static constexpr int kSeparatorColumn = 8;

    // Filled with the default factors.
    ChannelShiftTable();

    // Headers, channel names and default factors. Non-negative defaults carry one leading space so
    // that they line up with the negative ones in the grid (" 0.1600", " 0.0000", "-0.0400").
    void restoreDefaults();

    // Columns 1..7 and 9..15 hold factors.
    static bool isDataColumn(int column) {
        return column >= 1 && column < kColumns && column != kSeparatorColumn;
    }

    // Empty text outside the grid.
    const std::string& cell(int column, int row) const;
    // Ignored outside the grid.
    void setCell(int column, int row, std::string text);

    // Column 1..15 whose header equals `key` ("10 eV"); the last match wins. -1 when none matches.
    int findColumn(const std::string& key) const;

    // The factor of channeltron `row` (1..9) in `column`. A cell that does not read as a number
    // counts as 0 (and is listed by badCells()); so does a position outside the data cells.
    double factor(int column, int row) const;

    struct BadCell {
        int column;
        int row;
        std::string text;
    };
    // Data cells whose text does not read as a number, column by column.
    std::vector<BadCell> badCells() const;

    // Each data cell from section <header text>, key "C<row>"; a missing key gives "0.0".
    void load(const IniFile& ini);
    // Writes every data cell the way load() reads it. The file itself is not saved.
    void save(IniFile& ini) const;

private:
    std::array<std::array<std::string, kRows>, kColumns> cells_;
};

} // namespace korvo
