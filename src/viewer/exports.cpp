#include "viewer/exports.h"

#include "common/number_text.h"
#include "common/text_codec.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvo {

namespace {

constexpr const char* kEol = "\r\n";

std::string general(double v) {
    return text::formatGeneral(v, 15);
}

// One exported spectrum while the grid is built and written.
struct Column {
    int k = 0;
    std::span<const SpectrumPoint> pts;
    double xMin = 0, xMax = 0, xScale = 1, yMin = 0, yScale = 1;
    std::size_t start = 0, cur = 0;
    bool onGrid = true; // has a point inside its display window

    double u(std::size_t j) const { return (pts[j].x - xMin) / xScale; }
    // Whether the current point still takes part in building the grid.
    bool inWindow() const { return onGrid && cur < pts.size() && pts[cur].x <= xMax; }
    std::size_t last() const { return pts.size() - 1; }
};

double scaleOf(double perPixel) {
    // A spectrum never painted has no scale; its positions are then plain distances.
    return perPixel > 0 && std::isfinite(perPixel) ? perPixel : 1.0;
}

} // namespace

std::vector<int> exportedSpectra(const tvar& ws, bool allSpectra) {
    std::vector<int> out;
    for (int i = ws.ShownCount; i >= 1; --i) {
        const int k = ws.atPosition(i);
        if (allSpectra || ws.spectrum(k).Marked) out.push_back(k);
    }
    return out;
}

std::string columnFileText(const tvar& ws, bool allSpectra, ColumnValues values, std::string* refusal) {
    const auto refuse = [refusal](const char* why) {
        if (refusal) *refusal = why;
        return std::string();
    };
    const std::vector<int> exported = exportedSpectra(ws, allSpectra);
    if (exported.empty())
        return refuse(allSpectra ? "There is no spectrum to save."
                                 : "No spectrum is marked; there is nothing to save.");
    std::vector<Column> cols;
    for (int k : exported) {
        const ViewerSpectrum& s = ws.spectrum(k);
        Column c;
        c.k = k;
        c.pts = ws.points(k);
        if (c.pts.empty()) continue; // a spectrum without points has nothing to write
        c.xMin = s.XMin;
        c.xMax = s.XMax;
        c.xScale = scaleOf(s.XPerPixel);
        c.yMin = s.YMin;
        c.yScale = scaleOf(s.YPerPixel);
        // Points left of the display window are skipped; without a point inside it the spectrum
        // adds no grid position and writes from its last point.
        const auto first = std::find_if(c.pts.begin(), c.pts.end(), [&](const SpectrumPoint& p) { return p.x >= c.xMin; });
        c.onGrid = first != c.pts.end();
        c.start = c.onGrid ? std::size_t(first - c.pts.begin()) : c.last();
        cols.push_back(c);
    }
    // The merged grid: the smallest position among the spectra still inside their windows, taken
    // once for all spectra that share it. Every step moves at least one spectrum on.
    std::vector<double> grid;
    for (Column& c : cols) c.cur = c.start;
    for (;;) {
        double smallest = std::numeric_limits<double>::infinity();
        bool any = false;
        for (const Column& c : cols)
            if (c.inWindow()) {
                smallest = std::min(smallest, c.u(c.cur));
                any = true;
            }
        if (!any) break;
        grid.push_back(smallest);
        for (Column& c : cols)
            if (c.inWindow() && c.u(c.cur) == smallest) ++c.cur;
    }
    if (grid.empty())
        return refuse(
            "The exported spectra have no points inside their display range; there is nothing to save.");

    const ViewerSpectrum& active = ws.spectrum(std::clamp(ws.Active, 1, std::max(1, ws.spectrumCount())));
    const double activeScale = scaleOf(active.XPerPixel);
    auto value = [values](const Column& c, double y) {
        return values == ColumnValues::Displayed ? (y - c.yMin) / c.yScale : y;
    };
    std::string out;
    out.reserve(grid.size() * (cols.size() + 1) * 12);
    for (Column& c : cols) c.cur = c.start;
    for (const double g : grid) {
        out += general(g * activeScale + active.XMin);
        out += "  ";
        for (Column& c : cols) {
            const double u = c.u(c.cur);
            double y = c.pts[c.cur].y;
            if (u == g) {
                if (c.cur != c.last()) ++c.cur;
            } else if (u > g && c.cur > c.start) {
                // Between the point before and this one, on the spectrum's own scale.
                const SpectrumPoint& a = c.pts[c.cur - 1];
                const SpectrumPoint& b = c.pts[c.cur];
                const double x = g * c.xScale + c.xMin;
                y = b.x != a.x ? a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x) : b.y;
            }
            out += general(value(c, y));
            out += "  ";
        }
        out += kEol;
    }
    return out;
}

std::optional<std::string> surferGridText(const tvar& ws, std::string* message) {
    auto refuse = [&](const char* why) -> std::optional<std::string> {
        if (message) *message = why;
        return std::nullopt;
    };
    const int count = ws.ShownCount;
    if (count <= 1) return refuse("Anzahl der Spektren muß > 1 sein !!!!");
    const int n = ws.spectrum(1).NumPoints;
    for (int k = 1; k <= count; ++k)
        if (ws.spectrum(k).NumPoints != n)
            return refuse("Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !");
    std::string out;
    out.reserve(std::size_t(count) * std::size_t(std::max(n, 0)) * 24);
    for (int k = 1; k <= count; ++k) {
        const std::string row = text::formatPattern(double(k - 1) / (count - 1), "0.000");
        const auto pts = ws.points(k);
        for (int j = 1; j <= n; ++j) {
            out += text::formatPattern(n > 1 ? double(j - 1) / (n - 1) : 0.0, "0.000");
            out += ' ';
            out += row;
            out += ' ';
            out += general(pts[std::size_t(j - 1)].y);
            out += kEol;
        }
    }
    return out;
}

std::string latexEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    auto umlaut = [](unsigned char c) -> const char* {
        switch (c) {
        case 0xC4: return "\"A";
        case 0xD6: return "\"O";
        case 0xDC: return "\"U";
        case 0xE4: return "\"a";
        case 0xF6: return "\"o";
        case 0xFC: return "\"u";
        case 0xDF: return "\"ss";
        default: return nullptr;
        }
    };
    // Texts are UTF-8; one that is not comes from an old file and is read as Latin-1.
    const bool utf8 = isValidUtf8(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // In UTF-8 the umlauts and "ß" are C3 followed by their Latin-1 code minus 0x40.
        const char* r = nullptr;
        if (!utf8)
            r = umlaut(c);
        else if (c == 0xC3 && i + 1 < text.size())
            r = umlaut(static_cast<unsigned char>(static_cast<unsigned char>(text[i + 1]) + 0x40));
        if (r) {
            out += r;
            if (utf8) ++i;
            continue;
        }
        switch (c) {
        case '$': case '&': case '%': case '#': case '{': case '}': case '[': case ']': case '@': case '_':
            out += '\\';
            break;
        default: break;
        }
        out += char(c);
    }
    return out;
}

std::string fitTexPreamble() {
    static const char* const lines[] = {
        "\\documentclass[10pt,a4paper]{report}",
        "\\usepackage{a4,german}",
        "\\usepackage{isolatin}",
        "\\usepackage{epsfig}%EPS",
        "\\usepackage{color}",
        "\\definecolor{am}{rgb}{0,0,0.7}",
        "\\definecolor{po}{rgb}{0,0.6,0}",
        "\\definecolor{br}{rgb}{0.8,0,0}",
        "\\definecolor{as}{rgb}{0.7,0,0.7}",
        "\\definecolor{st}{rgb}{0,0.6,0.5}",
        "\\definecolor{un}{rgb}{0.4,0.4,0.4}",
        "\\setlength{\\textwidth}{182 mm}",
        "\\setlength{\\textheight}{265 mm}",
        "\\setlength{\\headsep}{0 mm}",
        "\\setlength{\\topmargin}{0mm}",
        "\\setlength{\\headheight}{0mm}",
        "\\setlength{\\oddsidemargin}{0mm}",
        "\\setlength{\\evensidemargin}{0mm}",
        "\\setlength{\\footskip}{0mm}",
        "\\setlength{\\topskip}{0mm}",
        "\\setlength{\\marginparsep}{0mm}",
        "\\setlength{\\marginparwidth}{0mm}",
        "\\setlength{\\hoffset}{-5mm}",
        "\\begin{document}",
        "%\\psdraft",
        "\\setlength{\\parindent}{0mm}",
        "\\vspace{2mm}\\hrule\\vspace{0.5mm}\\hrule\\vspace{0.5mm}\\hrule\\vspace{2mm}",
        "",
    };
    std::string out;
    for (const char* l : lines) (out += l) += kEol;
    return out;
}

std::string fitTexBlock(const ViewerSpectrum& s, const std::string& caption, const std::string& picture) {
    const std::string lines[] = {
        "\\begin{minipage}[h]{90mm}",
        "FileName: " + latexEscape(caption) + "\\\\",
        s.DateText + "\\\\",
        latexEscape(s.SampleText) + "\\\\",
        latexEscape(s.CommentText) + "\\\\",
        "Photon Energy : 121 eV\\\\",
        s.PassEnText + "\\\\",
        s.MeasTimeText + "\\\\",
        s.ScansText + "\\\\",
        s.PointsText + "\\\\",
        "Beam Current (mA) : 0.0 \\\\",
        "Slit\\\\",
        "Sample Position ($^o$) : 0.0\\\\",
        "\\end{minipage}",
        "\\begin{minipage}[h]{5mm}",
        "\\end{minipage}",
        "\\begin{minipage}[h]{90mm}",
        "\\epsfig{file=" + picture + ".eps,width=9cm}\\\\",
        "\\end{minipage}",
        "\\hrule\\vspace{0.5mm}\\hrule\\vspace{0.5mm}\\hrule\\vspace{2mm}",
        "",
    };
    std::string out;
    for (const std::string& l : lines) (out += l) += kEol;
    return out;
}

std::string fitTexEnd() {
    return std::string("\\end{document}") + kEol;
}

} // namespace korvo
