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

namespace {

// Windows-1252 0x80..0xBF as TeX that a plain LaTeX sets in text mode without further packages:
// the code page's own characters (Latin-1 has none of them), then Latin-1's signs, which a Latin-1
// input encoding maps to math-mode or T1-only commands. The five bytes the code page leaves
// undefined are blanks; a sign without a glyph in the standard fonts is '?'.
// clang-format off
constexpr const char* kHighAsTex[64] = {
    "EUR", " ", ",", "$f$", ",,", "\\dots{}", "\\dag{}", "\\ddag{}", "\\^{}", "o/oo", "\\v{S}", "$<$", "\\OE{}", " ",
    "\\v{Z}", " ", " ", "`", "'", "``", "''", "$\\bullet$", "--", "---", "\\~{}", "\\textsuperscript{TM}",
    "\\v{s}", "$>$", "\\oe{}", " ", "\\v{z}", "\\\"Y",
    // 0xA0..0xBF
    "~", "!`", "?", "\\pounds{}", "?", "?", "$|$", "\\S{}", "\\\"{}", "\\copyright{}", "\\textsuperscript{a}",
    "$\\ll$", "$\\neg$", "\\-", "(R)", "\\={}", "$^\\circ$", "$\\pm$", "$^2$", "$^3$", "\\'{}", "$\\mu$", "\\P{}",
    "$\\cdot$", "\\c{}", "$^1$", "\\textsuperscript{o}", "$\\gg$", "1/4", "1/2", "3/4", "?`",
};
// clang-format on

// The umlauts and "ß" in TeX's own spelling; the characters TeX reserves; brackets, which right
// after the "\\" ending the line before would be read as its argument; the double quote, a command
// under the german package; < > |, other glyphs in the standard fonts; the letters only T1 has and
// the two operators among the letters.
struct TexSpelling {
    unsigned char c;
    const char* tex;
};
constexpr TexSpelling kSpellings[] = {
    {0xC4, "\\\"A"},   {0xD6, "\\\"O"}, {0xDC, "\\\"U"},  {0xE4, "\\\"a"},
    {0xF6, "\\\"o"},   {0xFC, "\\\"u"}, {0xDF, "{\\ss}"}, {'\\', "$\\backslash$"},
    {'{', "\\{"},      {'}', "\\}"},    {'$', "\\$"},     {'&', "\\&"},
    {'%', "\\%"},      {'#', "\\#"},    {'_', "\\_"},     {'^', "\\^{}"},
    {'~', "\\~{}"},    {'[', "{[}"},    {']', "{]}"},     {'"', "\\char34{}"},
    {'<', "$<$"},      {'>', "$>$"},    {'|', "$|$"},     {0xD0, "D"},
    {0xDE, "Th"},      {0xF0, "d"},     {0xFE, "th"},     {0xD7, "$\\times$"},
    {0xF7, "$\\div$"},
};

const char* texOf(unsigned char c) {
    for (const TexSpelling& s : kSpellings)
        if (s.c == c) return s.tex;
    if (c < 0x20 || c == 0x7F) return " "; // a line break or a character TeX refuses
    if (c >= 0x80 && c < 0xC0) return kHighAsTex[c - 0x80];
    return nullptr; // ASCII and the accented letters, which the declared Latin-1 input sets
}

} // namespace

std::string latexEscape(const std::string& text) {
    // Texts are UTF-8; one that is not comes from an old file and is already Windows-1252.
    const std::string bytes = isValidUtf8(text) ? utf8ToWindows1252(text) : text;
    std::string out;
    out.reserve(bytes.size() + 16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (const char* tex = texOf(c))
            out += tex;
        else if (c == '-' && i + 1 < bytes.size() && bytes[i + 1] == '-')
            out += "-{}"; // not a dash ligature
        else
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
        latexEscape(s.DateText) + "\\\\",
        latexEscape(s.SampleText) + "\\\\",
        latexEscape(s.CommentText) + "\\\\",
        "Photon Energy : 121 eV\\\\",
        latexEscape(s.PassEnText) + "\\\\",
        latexEscape(s.MeasTimeText) + "\\\\",
        latexEscape(s.ScansText) + "\\\\",
        latexEscape(s.PointsText) + "\\\\",
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
