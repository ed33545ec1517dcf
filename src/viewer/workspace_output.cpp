#include "viewer/workspace_output.h"

#include "files/spectrum_info.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace korvo {
namespace {

// Output gathered in a buffer of bounded size and handed to the stream piece by piece.
class Writer {
public:
    explicit Writer(std::ostream& out) : out_(out) { buffer_.reserve(kFlushAt + 4096); }
    std::string& text() { return buffer_; }
    // After each point: the buffer never grows far beyond kFlushAt. false once the stream failed, so
    // that the rest is not formatted for nothing.
    bool maybeFlush() {
        if (buffer_.size() >= kFlushAt) flush();
        return out_.good();
    }
    bool finish() {
        flush();
        out_.flush();
        return out_.good();
    }

private:
    void flush() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }
    static constexpr std::size_t kFlushAt = 64 * 1024;
    std::ostream& out_;
    std::string buffer_;
};

void appendInteger(std::string& out, long long v) {
    char buf[24];
    out.append(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
}

void appendJsonText(std::string& out, const std::string& text) {
    // Texts are UTF-8 already; a stray invalid sequence must still not break the document.
    out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Every field of a spectrum in the order korvo-cli shows them, handed to `emit` with its name.
template <typename Emit> void eachField(const ViewerSpectrum& s, Emit&& emit) {
    emit("PathName", s.PathName);
    emit("ShortName", s.ShortName);
    if (!s.NexusEntry.empty()) emit("spectrum", s.NexusEntry);
    emit("FileName", s.FileName);
    emit("DateText", s.DateText);
    emit("CommentText", s.CommentText);
    emit("SampleText", s.SampleText);
    emit("ScansText", s.ScansText);
    emit("MeasTimeText", s.MeasTimeText);
    emit("PointsText", s.PointsText);
    emit("PassEnText", s.PassEnText);
    emit("AnaStaText", s.AnaStaText);
    emit("AnaEndText", s.AnaEndText);
    emit("Scans", s.Scans);
    emit("MeasTime", s.MeasTime);
    emit("RateFactor", s.RateFactor);
    emit("NumPoints", s.NumPoints);
    emit("PoolStart", s.PoolStart);
    emit("XMin", s.XMin);
    emit("XMax", s.XMax);
    emit("YMin", s.YMin);
    emit("YMax", s.YMax);
    emit("YTop", s.YTop);
    emit("XMinOrig", s.XMinOrig);
    emit("XMaxOrig", s.XMaxOrig);
    emit("YMinOrig", s.YMinOrig);
    emit("YMaxOrig", s.YMaxOrig);
    emit("Marked", s.Marked != 0);
}

} // namespace

void appendShortest(std::string& out, double v, bool json) {
    if (!std::isfinite(v)) {
        out += json ? "null" : std::isnan(v) ? "nan" : v < 0 ? "-inf" : "inf";
        return;
    }
    // Counts are whole numbers, and integer conversion is the quicker route to the same text.
    if (v == std::trunc(v) && std::fabs(v) < 1e15 && !(v == 0 && std::signbit(v))) {
        appendInteger(out, static_cast<long long>(v));
        return;
    }
    char buf[32];
    out.append(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
}

bool writeWorkspaceJson(std::ostream& os, const tvar& ws, const std::string& extraMembers) {
    Writer w(os);
    std::string& s = w.text();
    const int count = ws.spectrumCount();
    s += "{\n  \"ShownCount\": ";
    appendInteger(s, ws.ShownCount);
    s += ",\n  \"HiddenCount\": ";
    appendInteger(s, ws.HiddenCount);
    s += ",\n  \"Active\": ";
    appendInteger(s, ws.Active);
    s += ",\n  \"Order\": [";
    for (int i = 1; i <= count; ++i) {
        if (i > 1) s += ", ";
        appendInteger(s, ws.Order[static_cast<std::size_t>(i)]);
    }
    s += "],\n  \"spectra\": [";
    for (int k = 1; k <= count; ++k) {
        const ViewerSpectrum& sp = ws.spectrum(k);
        s += k == 1 ? "\n    {\n      \"Number\": " : ",\n    {\n      \"Number\": ";
        appendInteger(s, k);
        eachField(sp, [&s](const char* name, const auto& value) {
            using T = std::decay_t<decltype(value)>;
            s += ",\n      \"";
            s += name;
            s += "\": ";
            if constexpr (std::is_same_v<T, std::string>)
                appendJsonText(s, value);
            else if constexpr (std::is_same_v<T, bool>)
                s += value ? "true" : "false";
            else if constexpr (std::is_same_v<T, double>)
                appendShortest(s, value, true);
            else
                appendInteger(s, value);
        });
        s += ",\n      \"points\": [";
        bool first = true;
        for (const SpectrumPoint& p : ws.points(k)) {
            s += first ? "\n        [" : ",\n        [";
            first = false;
            appendShortest(s, p.x, true);
            s += ", ";
            appendShortest(s, p.y, true);
            s += ']';
            if (!w.maybeFlush()) return false;
        }
        s += first ? "]\n    }" : "\n      ]\n    }";
    }
    s += count > 0 ? "\n  ]" : "]";
    if (!extraMembers.empty()) {
        s += ",\n  ";
        s += extraMembers;
    }
    s += "\n}\n";
    return w.finish();
}

bool writeWorkspaceText(std::ostream& os, const tvar& ws) {
    Writer w(os);
    std::string& s = w.text();
    const int count = ws.spectrumCount();
    const auto label = [&s](const char* name, int width) {
        s += name;
        s.append(static_cast<std::size_t>(std::max<int>(1, width - static_cast<int>(std::strlen(name)))), ' ');
    };
    label("ShownCount", 13);
    appendInteger(s, ws.ShownCount);
    s += '\n';
    label("HiddenCount", 13);
    appendInteger(s, ws.HiddenCount);
    s += '\n';
    label("Active", 13);
    appendInteger(s, ws.Active);
    s += '\n';
    label("Order", 13);
    for (int i = 1; i <= count; ++i) {
        if (i > 1) s += ' ';
        appendInteger(s, ws.Order[static_cast<std::size_t>(i)]);
    }
    s += '\n';
    for (int k = 1; k <= count; ++k) {
        const ViewerSpectrum& sp = ws.spectrum(k);
        s += "\nSpectrum ";
        appendInteger(s, k);
        s += '\n';
        eachField(sp, [&s, &label](const char* name, const auto& value) {
            using T = std::decay_t<decltype(value)>;
            s += "  ";
            label(name, 14);
            if constexpr (std::is_same_v<T, std::string>)
                s += escapeForTerminal(value);
            else if constexpr (std::is_same_v<T, bool>)
                s += value ? "yes" : "no";
            else if constexpr (std::is_same_v<T, double>)
                appendShortest(s, value, false);
            else
                appendInteger(s, value);
            s += '\n';
        });
        s += "  points\n";
        for (const SpectrumPoint& p : ws.points(k)) {
            s += "  ";
            appendShortest(s, p.x, false);
            s += ' ';
            appendShortest(s, p.y, false);
            s += '\n';
            if (!w.maybeFlush()) return false;
        }
    }
    return w.finish();
}

} // namespace korvo
