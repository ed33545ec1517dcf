#include "tools/auger_table.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "common/text_codec.h"
#include "files/line_reader.h"

namespace korvo {

namespace {

const std::string kNoName;

bool validElement(int e) {
    return e >= 1 && e <= AugerTable::kElements;
}
bool validPeak(int k) {
    return k >= 1 && k <= AugerTable::kPeaks;
}

// A table line is a name, or two small numbers: anything longer is not a table.
constexpr std::size_t kMaxAugerLine = 4096;

// The integer of a cell or a peak line: a word as the table keeps it (0 to 65535).
std::optional<std::uint16_t> wordOf(std::string_view text) {
    const auto v = text::parseInt(text);
    if (!v || *v < 0 || *v > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(*v);
}

std::string notAnInteger(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value (0 to 65535)";
}

// U+FEFF, the byte order mark, in UTF-8.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The invisible U+FEFF has no place in Windows-1252: written as '?' it would become a visible part
// of the name at the next load, so it is left out.
std::string withoutByteOrderMarks(std::string name) {
    for (std::size_t at; (at = name.find(kByteOrderMark)) != std::string::npos;)
        name.erase(at, kByteOrderMark.size());
    return name;
}

std::string elementLabel(const AugerTable& t, int e) {
    std::string label = "element " + std::to_string(e);
    if (!t.name(e).empty()) label += " " + t.name(e);
    return label;
}

} // namespace

const std::string& AugerTable::name(int e) const {
    return validElement(e) ? names_[e] : kNoName;
}

std::uint16_t AugerTable::energy(int e, int k) const {
    return validElement(e) && validPeak(k) ? energies_[e][k] : 0;
}

std::uint16_t AugerTable::intensity(int e, int k) const {
    return validElement(e) && validPeak(k) ? intensities_[e][k] : 0;
}

void AugerTable::setName(int e, std::string name) {
    if (validElement(e)) names_[e] = std::move(name);
}

void AugerTable::setPeak(int e, int k, std::uint16_t energy, std::uint16_t intensity) {
    if (!validElement(e) || !validPeak(k)) return;
    energies_[e][k] = energy;
    intensities_[e][k] = intensity;
}

void AugerTable::setValue(View view, int e, int k, std::uint16_t v) {
    if (!validElement(e) || !validPeak(k)) return;
    (view == View::Energy ? energies_ : intensities_)[e][k] = v;
}

AugerReadResult readAugerText(std::string_view bytes) {
    AugerReadResult result;
    MemoryByteSource source(bytes);
    LineReader reader(source, kMaxAugerLine);
    AugerTable table;
    bool atEnd = false;
    // The next line; the end of the file reads as empty lines.
    auto nextLine = [&](std::string_view& line) -> bool {
        line = {};
        if (atEnd) return true;
        switch (reader.next(line)) {
        case LineReader::Status::Line:
            return true;
        case LineReader::Status::End:
            atEnd = true;
            line = {};
            return true;
        case LineReader::Status::TooLong:
            result.error = "auger.dat: line " + std::to_string(reader.lineNumber()) + " is too long.";
            result.errorLine = reader.lineNumber();
            return false;
        case LineReader::Status::ReadError:
            result.error = "auger.dat cannot be read: " + reader.error();
            return false;
        }
        return false;
    };

    std::string_view line;
    for (int e = 1; e <= AugerTable::kElements && !atEnd; ++e) {
        if (!nextLine(line)) return result;
        if (line.find('[') == std::string_view::npos) continue; // an empty column
        // A byte order mark in front of a name (files joined together) marks an encoding, not a
        // character of the name.
        if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark)
            line.remove_prefix(kByteOrderMark.size());
        table.setName(e, fileTextToUtf8(line));
        for (int k = 1;; ++k) {
            if (!nextLine(line)) return result;
            if (line.empty()) break;
            const int lineNo = reader.lineNumber();
            auto fail = [&](const std::string& why) {
                result.error = "auger.dat, line " + std::to_string(lineNo) + " (" + elementLabel(table, e) +
                               "): " + why + ".\rThe table is left as it was.";
                result.errorLine = lineNo;
                return result;
            };
            if (k > AugerTable::kPeaks)
                return fail("more than " + std::to_string(AugerTable::kPeaks) + " peaks in one block");
            const std::size_t gap = line.find("  ");
            const std::string_view energyText = gap == std::string_view::npos ? line : line.substr(0, gap);
            const std::string_view intensityText =
                gap == std::string_view::npos ? std::string_view{} : line.substr(gap + 2);
            const auto energy = wordOf(energyText);
            if (!energy) return fail("energy " + notAnInteger(fileTextToUtf8(energyText)));
            const auto intensity = wordOf(intensityText);
            if (!intensity) return fail("intensity " + notAnInteger(fileTextToUtf8(intensityText)));
            table.setPeak(e, k, *energy, *intensity);
        }
    }
    result.table = std::move(table);
    return result;
}

AugerReadResult readAugerFile(const std::string& path) {
    std::string why;
    const auto bytes = readFile(path, &why, kMaxAugerFileBytes);
    if (!bytes) {
        AugerReadResult result;
        result.error = "Cannot read " + path + ":\r" + why + "\rThe table is left as it was.";
        return result;
    }
    return readAugerText(*bytes);
}

std::optional<std::string> augerFileText(const AugerTable& t, std::string* error) {
    std::string out;
    for (int e = 1; e <= AugerTable::kElements; ++e) {
        const std::string& name = t.name(e);
        bool hasPeaks = false;
        for (int k = 1; k <= AugerTable::kPeaks; ++k) hasPeaks = hasPeaks || t.energy(e, k) != 0;
        if (name.empty() && !hasPeaks) {
            // One empty line is read back as an empty column; a name line and a block end would be
            // read as two, and every later element would move one column on.
            out += "\r\n";
            continue;
        }
        if (name.find('[') == std::string::npos) {
            // The reader would take the name line for an empty column and the peaks for names.
            if (error)
                *error = "Column " + std::to_string(e) + (name.empty() ? "" : " (" + name + ")") +
                         ": the element's name must be written in brackets, e.g. \"[Ag]\".\r"
                         "Nothing was saved.";
            return std::nullopt;
        }
        out += utf8ToWindows1252(withoutByteOrderMarks(name)) + "\r\n";
        for (int k = 1; k <= AugerTable::kPeaks; ++k) {
            if (t.energy(e, k) == 0) continue;
            out += std::to_string(t.energy(e, k)) + "  " + std::to_string(t.intensity(e, k)) + "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

bool writeAugerFile(const std::string& path, const AugerTable& table, std::string* error) {
    const auto text = augerFileText(table, error);
    if (!text) return false;
    std::string why;
    if (!writeFileAtomic(path, *text, &why)) {
        if (error) *error = "Cannot write " + path + ":\r" + why;
        return false;
    }
    return true;
}

std::string stickSpectrumText(const AugerTable& t, int e) {
    std::string out;
    for (int k = 1; k <= AugerTable::kPeaks; ++k) {
        const std::uint16_t energy = t.energy(e, k);
        if (energy == 0) continue;
        out += text::formatScientific23(energy - 0.01) + "  0\r\n";
        out += std::to_string(energy) + "  " + std::to_string(t.intensity(e, k)) + "\r\n";
        out += text::formatScientific23(energy + 0.01) + "  0\r\n";
    }
    return out;
}

bool writeStickSpectrum(const std::string& path, const AugerTable& table, int element, std::string* error) {
    std::string why;
    if (!writeFileAtomic(path, stickSpectrumText(table, element), &why)) {
        if (error) *error = "Cannot write " + path + ":\r" + why;
        return false;
    }
    return true;
}

AugerCells cellsOf(const AugerTable& t, AugerTable::View view) {
    AugerCells cells;
    for (int e = 1; e <= AugerTable::kElements; ++e) {
        cells.names[e] = t.name(e);
        for (int k = 1; k <= AugerTable::kShownPeaks; ++k) {
            const std::uint16_t v = t.value(view, e, k);
            cells.values[e][k] = v == 0 ? std::string() : std::to_string(v);
        }
    }
    return cells;
}

bool storeCells(AugerTable& table, AugerTable::View view, const AugerCells& cells, std::string* error) {
    AugerTable next = table;
    for (int e = 1; e <= AugerTable::kElements; ++e) {
        next.setName(e, cells.names[e]);
        for (int k = 1; k <= AugerTable::kShownPeaks; ++k) {
            const std::string& cell = cells.values[e][k];
            std::uint16_t v = 0;
            if (cell.find_first_not_of(" \t") != std::string::npos) {
                const auto word = wordOf(cell);
                if (!word) {
                    if (error)
                        *error = elementLabel(next, e) + ", peak " + std::to_string(k) + ": " +
                                 notAnInteger(cell) + ".";
                    return false;
                }
                v = *word;
            }
            next.setValue(view, e, k, v);
        }
    }
    table = std::move(next);
    return true;
}

} // namespace korvo
