#include "files/spectrum_writer.h"

#include "common/file_util.h"
#include "common/number_text.h"
#include "common/platform_info.h"
#include "common/text_codec.h"
#include "files/spectrum_format.h"

#include <algorithm>
#include <ctime>

namespace korvo {
namespace {

constexpr const char* kEol = "\r\n";

// Header values are single lines: a line break inside a comment would end the header early or
// forge a "BEGIN" line, so breaks become blanks.
std::string oneLine(std::string_view text) {
    std::string out(text);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

// The offset in a channel list item ("C_3    -1.250"), read from its 4th character on.
double channelOffset(const std::string& item) {
    if (item.size() <= 3) return 0;
    auto parsed = text::parseDouble(std::string_view(item).substr(3));
    return parsed ? *parsed : 0;
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string headerText(const SpectrumHeader& h, int decimals) {
    const auto energy = [decimals](double v) { return formatEnergy(v, decimals); };
    const std::uint8_t mode = h.machineMode;
    std::string s;
    const auto line = [&s](std::string_view text) {
        s += text;
        s += kEol;
    };
    line("USER_ID: " + cutToCharacters(oneLine(h.userName ? *h.userName : loggedOnUserName()), 250));
    line("Comment: " + oneLine(h.comment));
    line("Probe: " + oneLine(h.sample));
    line("FileName: " + oneLine(joinPath(h.saveDir, h.fileName)));
    line(std::string("Fileform: ") + machineModeName(mode));
    line("Date:  " + fileDateTimeText(h.writtenAt ? *h.writtenAt : std::time(nullptr)));
    line("Program: KORVO 02");
    if (mode != ModeKeithley) line("MeasTime: " + std::to_string(h.timePerPoint));
    line("MeasTyp: " + oneLine(h.kindText));
    line("Scans: " + std::to_string(static_cast<std::int64_t>(h.scanNumber) - 1));
    line("Points:" + std::to_string(h.points));
    if (mode != ModeKeithley) line("PassEn:" + text::formatFixedPrecision(h.passEnergy, 5, 3));
    const double end = h.analyserStart + h.ramp;
    const std::string startText = oneLine(h.startFieldText);
    switch (mode) {
    case ModeClam:
        line("AnaSta:" + energy(h.analyserStart));
        line("AnaEnd:" + energy(end));
        line("PhotEn: " + energy(h.photonStart));
        break;
    case ModeCis: {
        // The start line keeps the field as typed; the end is computed from the field's number.
        auto typed = text::parseDouble(h.startFieldText);
        line("AnaSta:" + startText);
        line("AnaEnd:" + energy((typed ? *typed : h.analyserStart) + h.ramp));
        line("Phot.Start: " + energy(h.photonStart));
        break;
    }
    case ModeCfs:
        line("Fix. Analyser Energy:" + startText);
        line("Phot.Start: " + energy(h.photonStart));
        line("Phot.End: " + energy(end));
        break;
    case ModeKeithley:
        line("Phot.Start: " + energy(h.photonStart));
        line("Phot.End: " + energy(end));
        line("Scaling Factor: " + text::formatGeneral(h.keithleyScale));
        break;
    default:
        break;
    }
    if (mode == ModeClam || mode == ModeCfs || mode == ModeCis) {
        for (int i = 1; i <= 9; ++i) {
            line("Energy Channeltron_" + std::to_string(i) + "..." +
                 formatOffset(channelOffset(h.channelItems[static_cast<std::size_t>(i - 1)])) + " eV");
        }
    }
    line("BEGIN:");
    return s;
}

} // namespace

RecordRange spectrumRecordRange(const SpectrumHeader& h, const SpectrumSaveOptions& options,
                                std::size_t recordCount) {
    const std::int64_t points = std::max<std::int64_t>(h.points, 0);
    const std::int64_t before = std::max<std::int64_t>(h.maxPositiveShift, 0);
    const std::int64_t after = std::max<std::int64_t>(h.maxNegativeShift, 0);
    const std::int64_t first = options.saveExtraPoints ? 1 : before + 1;
    const std::int64_t count = options.saveExtraPoints ? before + points + after : points;
    const std::size_t written = recordCount > options.lastRecord ? options.lastRecord + 1 : recordCount;
    const auto available = static_cast<std::int64_t>(written) - first;
    if (available <= 0) return {static_cast<std::size_t>(first), 0};
    return {static_cast<std::size_t>(first), static_cast<std::size_t>(std::min(count, available))};
}

std::string spectrumFileBytes(const SpectrumHeader& h, const SpectrumSaveOptions& options,
                              const DataBlock& block) {
    const int decimals = h.energyDecimals ? *h.energyDecimals : energyDecimals(h.ramp, h.points);
    std::string out = utf8ToWindows1252(headerText(h, decimals));

    // A test-mode run counts like the analyser scan, so its rows carry the counts the same way.
    const bool keithley = h.machineMode == ModeKeithley;
    const bool countMode = !keithley;
    const bool allColumns =
        h.machineMode == ModeCfs || h.machineMode == ModeCis || (countMode && options.saveRawData);
    const RecordRange range = spectrumRecordRange(h, options, block.size());
    out.reserve(out.size() + range.count * (allColumns ? 120 : 32) + 8);
    for (std::size_t i = range.first; i < range.first + range.count; ++i) {
        const MeasurementRecord& r = block[i];
        out += formatEnergy(r.Energy, decimals);
        if (keithley) {
            for (int c = 0; c < 2; ++c) out += ' ' + text::formatGeneral(r.Co[c]);
        } else {
            const int columns = allColumns ? 10 : 1;
            for (int c = 0; c < columns; ++c) out += ' ' + formatCount(r.Co[c]);
        }
        if (options.addKeithley1) out += ' ' + text::formatGeneral(r.Co[10]);
        if (options.addKeithley2) out += ' ' + text::formatGeneral(r.Co[11]);
        out += kEol;
    }
    out += "END";
    out += kEol;
    return out;
}

bool saveSpectrumFile(const std::string& path, const SpectrumHeader& header,
                      const SpectrumSaveOptions& options, const DataBlock& block, std::string* error) {
    return writeFileAtomic(path, spectrumFileBytes(header, options, block), error);
}

std::string fileDateTimeText(std::time_t t) {
    const std::string time = formatTime(t);
    return time == "00:00:00" ? formatDate(t) : formatDate(t) + " " + time;
}

} // namespace korvo
