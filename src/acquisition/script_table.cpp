#include "acquisition/script_table.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "files/measurement_data.h"

#include <algorithm>
#include <vector>

namespace korvo {

const std::array<const char*, ScriptTable::kColumns> ScriptTable::kHeaders = {
    " File Name", "Machine", " Start (eV)", " Ramp (eV)", " Points", " Scans",
    " Pass (eV)", " Time",   " Phot. (eV)", " Main Motor", " Manipulator", " Sample"};
const std::array<int, ScriptTable::kColumns> ScriptTable::kWidths = {80, 45, 54, 60, 40, 41, 57, 35, 59, 65, 66, 46};

namespace {

const std::string kNoText;
constexpr std::size_t kMaxFileBytes = std::size_t(1) << 20;

bool inside(int row, int column) {
    return row >= 0 && row <= ScriptTable::kLines && column >= 0 && column < ScriptTable::kColumns;
}

bool isLine(int row) {
    return row >= 1 && row <= ScriptTable::kLines;
}

std::string twoDigits(int v) {
    return text::formatPattern(v, "00");
}

} // namespace

const char* scriptMachineText(std::uint8_t machineMode) {
    switch (machineMode) {
    case ModeClam: return "CLAM";
    case ModeCfs: return "CFS";
    case ModeCis: return "CIS";
    case ModeKeithley: return "KEI";
    default: return "";
    }
}

bool scriptCellSets(std::string_view text) {
    return !text.empty() && text != "-";
}

ScriptTable::ScriptTable() {
    for (int c = 0; c < kColumns; ++c) cells_[0][std::size_t(c)] = kHeaders[std::size_t(c)];
}

const std::string& ScriptTable::cell(int row, int column) const {
    return inside(row, column) ? cells_[std::size_t(row)][std::size_t(column)] : kNoText;
}

void ScriptTable::setCell(int row, int column, std::string text) {
    if (inside(row, column)) cells_[std::size_t(row)][std::size_t(column)] = std::move(text);
}

void ScriptTable::emptyLines() {
    for (int r = 1; r <= kLines; ++r)
        for (std::string& c : cells_[std::size_t(r)]) c.clear();
}

void ScriptTable::clear(const MeasurementFields& fields, std::uint8_t machineMode) {
    emptyLines();
    std::string pass = fields.passEnergyText;
    if (pass.empty() && fields.passEnergyIndex >= 0 && fields.passEnergyIndex < 17)
        pass = kPassEnergyItems[fields.passEnergyIndex];
    auto& line1 = cells_[1];
    line1[Machine] = scriptMachineText(machineMode);
    line1[Start] = fields.start;
    line1[Ramp] = fields.second;
    line1[Points] = fields.third;
    line1[Scans] = fields.scans;
    line1[Pass] = pass;
    line1[Time] = fields.timePerPoint;
    for (int c = Photon; c <= Sample; ++c) line1[std::size_t(c)] = "-";
}

int ScriptTable::lastUsedRow() const {
    for (int r = kLines; r >= 1; --r)
        for (int c = 1; c < kColumns; ++c)
            if (!cells_[std::size_t(r)][std::size_t(c)].empty()) return r;
    return 0;
}

void ScriptTable::numberRows(int last) {
    last = std::min(last, kLines);
    for (int r = 1; r <= last; ++r) cells_[std::size_t(r)][FileName] = "  Nr. " + twoDigits(r) + "/" + twoDigits(last);
}

void ScriptTable::autoFill() {
    const int last = lastUsedRow();
    for (int c = 1; c < kColumns; ++c)
        for (int r = 2; r <= last; ++r) {
            std::string& here = cells_[std::size_t(r)][std::size_t(c)];
            if (here.empty()) here = cells_[std::size_t(r - 1)][std::size_t(c)];
        }
    numberRows(last);
}

ScriptTable::Line ScriptTable::line(int row) const {
    Line l{};
    if (!isLine(row)) return l;
    for (int c = 1; c < kColumns; ++c) l[std::size_t(c - 1)] = cells_[std::size_t(row)][std::size_t(c)];
    return l;
}

void ScriptTable::copyLine(int row) {
    if (isLine(row)) copied_ = line(row);
}

void ScriptTable::pasteLine(int row) {
    if (!isLine(row)) return;
    for (int c = 1; c < kColumns; ++c) cells_[std::size_t(row)][std::size_t(c)] = copied_[std::size_t(c - 1)];
}

void ScriptTable::deleteLine(int row) {
    if (!isLine(row)) return;
    for (int r = row; r < kLines; ++r)
        for (int c = 1; c < kColumns; ++c)
            cells_[std::size_t(r)][std::size_t(c)] = cells_[std::size_t(r + 1)][std::size_t(c)];
    for (int c = 1; c < kColumns; ++c) cells_[kLines][std::size_t(c)].clear();
}

void ScriptTable::insertLine(int row) {
    if (!isLine(row)) return;
    for (int r = kLines - 1; r >= row; --r)
        for (int c = 1; c < kColumns; ++c)
            cells_[std::size_t(r + 1)][std::size_t(c)] = cells_[std::size_t(r)][std::size_t(c)];
    for (int c = 1; c < kColumns; ++c) cells_[std::size_t(row)][std::size_t(c)].clear();
}

std::string ScriptTable::toText() const {
    std::string out;
    const int last = lastUsedRow();
    for (int r = 1; r <= last; ++r) {
        for (int c = 1; c < kColumns; ++c) {
            if (c > 1) out += '\t';
            out += cells_[std::size_t(r)][std::size_t(c)];
        }
        out += '\n';
    }
    return out;
}

bool ScriptTable::fromText(std::string_view text, std::string* message) {
    auto refuse = [&](const std::string& why) {
        if (message) *message = why;
        return false;
    };
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view l = text.substr(0, end);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        lines.push_back(l);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string_view::npos) lines.pop_back();
    if (lines.size() > std::size_t(kLines))
        return refuse("The script has " + std::to_string(lines.size()) + " lines; a script holds at most " +
                      std::to_string(kLines) + ".");
    std::array<Line, kLines> read{};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string where = "Line " + std::to_string(i + 1) + " of the script ";
        std::size_t cells = 0;
        std::string_view rest = lines[i];
        for (;;) {
            const std::size_t tab = rest.find('\t');
            const std::string_view cellText = rest.substr(0, tab);
            if (cells < std::size_t(kSettingColumns)) read[i][cells] = std::string(cellText);
            ++cells;
            for (char ch : cellText)
                if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f)
                    return refuse(where + "holds a control character.");
            if (tab == std::string_view::npos) break;
            rest = rest.substr(tab + 1);
        }
        if (cells != std::size_t(kSettingColumns))
            return refuse(where + "has " + std::to_string(cells) + " cells separated by tabs; it needs " +
                          std::to_string(kSettingColumns) + ".");
    }
    emptyLines();
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (int c = 1; c < kColumns; ++c) cells_[i + 1][std::size_t(c)] = read[i][std::size_t(c - 1)];
    return true;
}

bool loadScriptFile(const std::string& path, ScriptTable& table, std::string* message) {
    std::string error;
    const std::optional<std::string> content = readFile(path, &error, kMaxFileBytes);
    if (!content) {
        if (message) *message = "The script \"" + path + "\" cannot be read: " + error;
        return false;
    }
    std::string why;
    if (!table.fromText(*content, &why)) {
        if (message) *message = "The script \"" + path + "\" was not loaded. " + why;
        return false;
    }
    return true;
}

bool saveScriptFile(const std::string& path, const ScriptTable& table, std::string* message) {
    std::string error;
    if (writeFileAtomic(path, table.toText(), &error)) return true;
    if (message) *message = "The script \"" + path + "\" was not saved: " + error;
    return false;
}

} // namespace korvo
