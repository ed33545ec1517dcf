#pragma once
// The script table: up to 50 measurement lines of 11 setting texts each, edited in the script
// window, kept in a plain text file for a night's series prepared in an editor, and run line by line
// through the station. Plain C++; the window shows it, `korvo-cli script` loads it from a file.
//
// Row 0 is the header, rows 1 .. 50 the lines. Column 0 belongs to the program (line number, time
// left, saved file name); columns 1 .. 11 are the settings: machine, start, ramp, points, scans, pass
// energy, time per point, photon energy, main motor, manipulator (stepper axis A), sample (axis B).
// An empty cell or "-" leaves that setting unchanged.
#include "acquisition/measurement_fields.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

class ScriptTable {
public:
    static constexpr int kLines = 50;
    static constexpr int kColumns = 12;
    static constexpr int kSettingColumns = 11; // columns 1 .. 11
    enum Column {
        FileName = 0, Machine, Start, Ramp, Points, Scans, Pass, Time, Photon, MainMotor, Manipulator, Sample
    };
    static const std::array<const char*, kColumns> kHeaders;
    static const std::array<int, kColumns> kWidths; // pixels
    using Line = std::array<std::string, kSettingColumns>; // the texts of columns 1 .. 11

    ScriptTable(); // header row, lines empty

    // Row 0 .. 50, column 0 .. 11; outside the table an empty text, and writes are ignored.
    const std::string& cell(int row, int column) const;
    void setCell(int row, int column, std::string text);

    // "Clear": every line emptied, then line 1 from the main window: the machine by mode (2 "CLAM",
    // 3 "CFS", 4 "CIS", 5 "KEI"), start, ramp, points, scans, pass energy and time per point from
    // the fields, "-" in columns 8 to 11. The caller has put the fields into the ramp and points views.
    void clear(const MeasurementFields& fields, std::uint8_t machineMode);
    // Every line emptied (a loaded file replaces the lines).
    void emptyLines();

    // The last row with a non-empty cell in columns 1 .. 11; 0 when none.
    int lastUsedRow() const;
    // Column 0 of rows 1 .. last: "  Nr. 03/07".
    void numberRows(int last);
    // "Auto Fill": rows 2 .. L take the text of the cell above where they are empty, then numbering.
    void autoFill();

    // The context menu, on row `row` (1 .. 50; other rows do nothing). Column 0 never moves.
    void copyLine(int row);
    void pasteLine(int row);
    void deleteLine(int row); // rows below move up, row 50 emptied
    void insertLine(int row); // rows from here move down (row 50's content is lost), this row emptied

    Line line(int row) const;
    bool operator==(const ScriptTable&) const = default;

    // The file: one line per used row (1 .. lastUsedRow()), its 11 cells separated by tabs.
    std::string toText() const;
    // Reads such a file's text into the lines (column 0 emptied). Refused, with the table unchanged
    // and *message saying why: more than 50 lines, a line with fewer or more than 11 cells, a cell
    // with a control character. Trailing empty lines and "\r\n" line ends are accepted.
    bool fromText(std::string_view text, std::string* message);

private:
    std::array<std::array<std::string, kColumns>, kLines + 1> cells_{};
    Line copied_{};
};

// The machine text of a mode for column 1 ("CLAM", "CFS", "CIS", "KEI"); empty for other modes.
const char* scriptMachineText(std::uint8_t machineMode);
// Whether a cell sets anything: not empty and not "-".
bool scriptCellSets(std::string_view text);

// The script file on disk: read (at most 1 MiB, regular files only) or written atomically.
bool loadScriptFile(const std::string& path, ScriptTable& table, std::string* message);
bool saveScriptFile(const std::string& path, const ScriptTable& table, std::string* message);

} // namespace korvo
