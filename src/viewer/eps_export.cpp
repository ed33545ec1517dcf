#include "viewer/eps_export.h"

#include "viewer/exports.h"
#include "viewer/viewer_paint.h"

#include <QPainter>

#include <set>

namespace korvo {

namespace {

constexpr const char* kEol = "\r\n";

void put16(std::string& out, unsigned v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

bool unusableName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return true;
    for (unsigned char c : name)
        if (c == '/' || c < 0x20 || c == 0x7F) return true;
    return false;
}

// "fit.tex" names the picture as it stands, so a character TeX would read as a command, an
// argument's end, a comment or the next key (and any non-ASCII one, whose bytes differ between the
// document's code page and the file system) becomes '_', one per character.
std::string texSafeName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if ((c & 0xC0) == 0x80) continue; // the rest of a UTF-8 character
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '_' || c == '+' || c == '-';
        out += keep ? char(c) : '_';
    }
    return out;
}

// The picture file's name for spectrum k: its caption where that is a usable, not yet used name.
std::string pictureName(const std::string& caption, int k, std::set<std::string>& used) {
    std::string base = unusableName(caption) ? "spectrum_" + std::to_string(k) : texSafeName(caption);
    if (used.count(base)) base += "_" + std::to_string(k);
    used.insert(base);
    return base;
}

} // namespace

std::string monochromeBmp(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width(), h = rgb.height();
    const std::size_t stride = (std::size_t(w) + 31) / 32 * 4;
    const std::size_t dataSize = stride * std::size_t(h);
    std::string out;
    out.reserve(kBmpPixelOffset + dataSize);
    out += "BM";
    put32(out, std::uint32_t(kBmpPixelOffset + dataSize));
    put32(out, 0);
    put32(out, kBmpPixelOffset);
    put32(out, 40);
    put32(out, std::uint32_t(w));
    put32(out, std::uint32_t(h)); // positive: rows bottom up
    put16(out, 1);                // planes
    put16(out, 1);                // bits per pixel
    put32(out, 0);                // no compression
    put32(out, std::uint32_t(dataSize));
    put32(out, 3780); // 96 dpi in pixels per metre
    put32(out, 3780);
    put32(out, 2);
    put32(out, 2);
    out.append("\x00\x00\x00\x00\xFF\xFF\xFF\x00", 8);
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::string row(stride, '\0');
        for (int x = 0; x < w; ++x)
            if (qGray(line[x]) >= 128) row[std::size_t(x) / 8] = char(row[std::size_t(x) / 8] | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}

std::string epsText(int width, int height, const std::string& bmp) {
    const std::string w = std::to_string(width), h = std::to_string(height);
    const std::string head[] = {
        "%!PS-Adobe-1.0 EPSF-1.2",
        "%%BoundingBox: 0 0 " + w + " " + h,
        "%%Creator: Plotta",
        "%%Title: test.eps",
        "%%CreationDate: 1",
        "%%EndComments",
        "/width " + w + " def",
        "/height " + h + " def",
        "/pixwidth " + w + " def",
        "/pixheight " + h + " def",
        "/picstr width string def",
        "/psppic {",
        "gsave width height 1",
        "[width 0 0 height 0 height neg]",
        "{currentfile picstr readhexstring pop}",
        "image grestore } def",
        "0 height neg translate pixwidth pixheight scale",
        "psppic",
    };
    std::string out;
    for (const std::string& l : head) (out += l) += kEol;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::size_t bytes = bmp.size() > kBmpPixelOffset ? bmp.size() - kBmpPixelOffset : 0;
    out.reserve(out.size() + bytes / 32 * 66 + 16);
    for (std::size_t line = 0; line + 32 <= bytes; line += 32) {
        for (std::size_t i = 0; i < 32; ++i) {
            const auto b = static_cast<unsigned char>(bmp[kBmpPixelOffset + line + i]);
            out += kDigits[b >> 4];
            out += kDigits[b & 0x0F];
        }
        out += kEol;
    }
    (out += "%%Trailer") += kEol;
    return out;
}

EpsExport epsExport(tvar& ws, const std::optional<BindingAxis>& binding, const FitOverlay* fit) {
    EpsExport result;
    const int savedWidth = ws.PlotWidth, savedHeight = ws.PlotHeight, savedActive = ws.Active;
    ws.PlotWidth = kEpsWidth;
    ws.PlotHeight = kEpsHeight;
    result.fitTex = fitTexPreamble();
    QImage picture(kEpsWidth, kEpsHeight, QImage::Format_RGB32);
    std::set<std::string> used;
    for (int k = 1; k <= ws.ShownCount; ++k) {
        picture.fill(Qt::white);
        ws.Active = k;
        ViewerPaintOptions options;
        options.frame.BlackDrawing = k;
        options.binding = binding;
        options.fit = fit;
        ViewMessages ignored; // an unscalable spectrum is simply not drawn, as on screen
        {
            QPainter painter(&picture);
            paintViewer(painter, ws, options, ignored);
        }
        result.lastBmp = monochromeBmp(picture);
        const std::string name = pictureName(ws.spectrum(k).ShortName, k, used);
        result.fitTex += fitTexBlock(ws.spectrum(k), ws.spectrum(k).ShortName, name);
        result.pictures.push_back({name + ".eps", epsText(kEpsWidth, kEpsHeight, result.lastBmp)});
    }
    result.fitTex += fitTexEnd();
    ws.PlotWidth = savedWidth;
    ws.PlotHeight = savedHeight;
    ws.Active = savedActive;
    return result;
}

} // namespace korvo
