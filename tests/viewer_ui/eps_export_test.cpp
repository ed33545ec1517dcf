// The EPS pictures and "fit.tex": the bitmap's bytes, the PostScript text around them, and the
// export of a workspace, read back bit by bit.
#include "support/crlf_lines.h"
#include "support/qt_app.h"
#include "viewer/curves.h"
#include "viewer/eps_export.h"
#include "viewer/view_scale.h"
#include "viewer_ui/viewer_test_util.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <map>
#include <sstream>

namespace korvo {
namespace {

using testing::makeWorkspace;
using testing::sampled;

std::uint32_t u32(const std::string& b, std::size_t at) {
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

// The picture an EPS file carries, from its hexadecimal rows (bottom row first, as in the bitmap):
// true for a black pixel, indexed [row from the top][column].
std::vector<std::vector<bool>> pictureOf(const std::vector<std::string>& eps, int width, int height) {
    std::string bytes;
    for (std::size_t i = 18; i + 1 < eps.size(); ++i)
        for (std::size_t j = 0; j + 1 < eps[i].size(); j += 2) bytes += char(std::stoi(eps[i].substr(j, 2), nullptr, 16));
    const std::size_t stride = std::size_t(width + 31) / 32 * 4;
    EXPECT_EQ(bytes.size(), stride * std::size_t(height));
    std::vector<std::vector<bool>> black(static_cast<std::size_t>(height), std::vector<bool>(static_cast<std::size_t>(width)));
    for (int row = 0; row < height && bytes.size() >= stride * std::size_t(height); ++row)
        for (int x = 0; x < width; ++x) {
            const auto byte = std::uint8_t(bytes[std::size_t(height - 1 - row) * stride + std::size_t(x) / 8]);
            black[std::size_t(row)][std::size_t(x)] = !(byte & (0x80 >> (x % 8)));
        }
    return black;
}

TEST(EpsExport, BitmapRowsBottomUpPaddedToFourBytes) {
    QImage image(10, 3, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(0, 0, 0));       // top left
    image.setPixel(9, 2, qRgb(100, 100, 100)); // bottom right, dark grey reads as black
    image.setPixel(5, 1, qRgb(200, 200, 200)); // light grey reads as white
    const std::string bmp = monochromeBmp(image);
    ASSERT_EQ(bmp.size(), 62u + 3 * 4);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(bmp, 2), bmp.size());
    EXPECT_EQ(u32(bmp, 10), 62u);
    EXPECT_EQ(u32(bmp, 18), 10u);
    EXPECT_EQ(u32(bmp, 22), 3u);
    EXPECT_EQ(std::uint8_t(bmp[28]), 1); // bits per pixel
    EXPECT_EQ(bmp.substr(54, 8), std::string("\x00\x00\x00\x00\xFF\xFF\xFF\x00", 8));
    // Bottom row first: pixel 9 black, the rest white; padding bits 0.
    EXPECT_EQ(std::uint8_t(bmp[62]), 0xFF);
    EXPECT_EQ(std::uint8_t(bmp[63]), 0x80);
    EXPECT_EQ(std::uint8_t(bmp[64]), 0x00);
    EXPECT_EQ(std::uint8_t(bmp[66]), 0xFF); // middle row all white
    EXPECT_EQ(std::uint8_t(bmp[67]), 0xC0);
    EXPECT_EQ(std::uint8_t(bmp[70]), 0x7F); // top row: pixel 0 black
}

TEST(EpsExport, HeaderAndSixHundredFortyHexRows) {
    QImage image(kEpsWidth, kEpsHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(3, 0, qRgb(0, 0, 0));
    const std::vector<std::string> eps = testing::crlfLines(epsText(kEpsWidth, kEpsHeight, monochromeBmp(image)));
    ASSERT_EQ(eps.size(), 18u + 640 + 1);
    const std::vector<std::string> head = {"%!PS-Adobe-1.0 EPSF-1.2",
                                           "%%BoundingBox: 0 0 512 320",
                                           "%%Creator: Plotta",
                                           "%%Title: test.eps",
                                           "%%CreationDate: 1",
                                           "%%EndComments",
                                           "/width 512 def",
                                           "/height 320 def",
                                           "/pixwidth 512 def",
                                           "/pixheight 320 def",
                                           "/picstr width string def",
                                           "/psppic {",
                                           "gsave width height 1",
                                           "[width 0 0 height 0 height neg]",
                                           "{currentfile picstr readhexstring pop}",
                                           "image grestore } def",
                                           "0 height neg translate pixwidth pixheight scale",
                                           "psppic"};
    EXPECT_EQ(std::vector<std::string>(eps.begin(), eps.begin() + 18), head);
    for (std::size_t i = 18; i < 18 + 640; ++i) {
        ASSERT_EQ(eps[i].size(), 64u) << i;
        EXPECT_EQ(eps[i].find_first_not_of("0123456789ABCDEF"), std::string::npos) << eps[i];
    }
    // The top row is the last of the bitmap: its first byte carries the black pixel 3.
    EXPECT_EQ(eps[18 + 638].substr(0, 2), "EF");
    EXPECT_EQ(eps.back(), "%%Trailer");

    // A last group shorter than 32 bytes is left out.
    const std::string shortBmp = std::string(62, 'B') + std::string(40, '\x12');
    const std::vector<std::string> cut = testing::crlfLines(epsText(9, 9, shortBmp));
    ASSERT_EQ(cut.size(), 18u + 1 + 1);
    std::string twelves;
    for (int i = 0; i < 32; ++i) twelves += "12";
    EXPECT_EQ(cut[18], twelves);
}

TEST(EpsExport, OnePicturePerShownSpectrumInBlack) {
    testing::qtApp(); // fonts
    auto peak = [](double c) { return [c](double x) { return 100 + 900 * std::exp(-(x - c) * (x - c)); }; };
    auto tall = [](double x) { return 100 + 1900 * std::exp(-(x - 295) * (x - 295)); };
    tvar ws = makeWorkspace({sampled(101, 280, 0.2, peak(285)), sampled(101, 280, 0.2, tall),
                             sampled(101, 280, 0.2, peak(290))});
    // The same file loaded twice, under a name TeX cannot take as it stands.
    ws.spectrum(1).ShortName = ws.spectrum(2).ShortName = "Größe {a}%,x=1.dat";
    ws.spectrum(3).ShortName = "../up";
    ws.spectrum(1).CommentText = "Comment: 50% Ar_2";
    ws.spectrum(1).DateText = "\\input{/etc/hostname}\\immediate\\write18{touch pwned}";
    ws.spectrum(2).SampleText = "Probe: Cu(111) é";
    ws.Active = 2;
    const int width = ws.PlotWidth, height = ws.PlotHeight;

    const EpsExport result = epsExport(ws);
    EXPECT_EQ(ws.Active, 2);
    EXPECT_EQ(ws.PlotWidth, width);
    EXPECT_EQ(ws.PlotHeight, height);
    ASSERT_EQ(result.pictures.size(), 3u);
    EXPECT_EQ(result.pictures[0].name, "Gr__e__a___x_1.dat.eps");
    EXPECT_EQ(result.pictures[1].name, "Gr__e__a___x_1.dat_2.eps");
    EXPECT_EQ(result.pictures[2].name, "spectrum_3.eps");
    EXPECT_EQ(result.lastBmp.size(), 62u + 20480);

    const std::vector<std::string> tex = testing::crlfLines(result.fitTex);
    auto has = [&](const std::string& line) { return std::find(tex.begin(), tex.end(), line) != tex.end(); };
    EXPECT_TRUE(has("\\epsfig{file=Gr__e__a___x_1.dat.eps,width=9cm}\\\\"));
    EXPECT_TRUE(has("\\epsfig{file=Gr__e__a___x_1.dat_2.eps,width=9cm}\\\\"));
    EXPECT_TRUE(has("FileName: Gr\\\"o{\\ss}e \\{a\\}\\%,x=1.dat\\\\"));
    EXPECT_TRUE(has("$\\backslash$input\\{/etc/hostname\\}$\\backslash$immediate$\\backslash$write18\\{touch "
                    "pwned\\}\\\\"));
    EXPECT_TRUE(has("Probe: Cu(111) \xE9\\\\")); // Windows-1252, as the preamble declares
    EXPECT_TRUE(has("\\epsfig{file=spectrum_3.eps,width=9cm}\\\\"));
    EXPECT_TRUE(has("FileName: ../up\\\\"));
    EXPECT_TRUE(has("Comment: 50\\% Ar\\_2\\\\"));
    EXPECT_EQ(tex.back(), "\\end{document}");

    // Each picture is framed by its own spectrum: the same curves, a black frame and black text,
    // the peak of the active spectrum reaching the top of the data area (row 5 .. 10).
    std::vector<std::vector<std::vector<bool>>> pictures;
    for (const ExportFile& f : result.pictures) pictures.push_back(pictureOf(testing::crlfLines(f.bytes), kEpsWidth, kEpsHeight));
    for (const auto& black : pictures) {
        int ink = 0;
        for (const auto& row : black) ink += int(std::count(row.begin(), row.end(), true));
        EXPECT_GT(ink, 2000);
        EXPECT_TRUE(black[5][45] && black[5][45 + kEpsWidth - 67] && black[5 + kEpsHeight - 40][45])
            << "frame corners are black";
    }
    // Spectrum 1 peaks at 285 eV, a quarter into the range; spectrum 2 at 295 eV, three quarters in;
    // each reaches the top of its own frame.
    auto topInk = [&](const std::vector<std::vector<bool>>& black, int column) {
        for (int row = 6; row < 12; ++row)
            for (int dx = -4; dx <= 4; ++dx)
                if (black[std::size_t(row)][std::size_t(column + dx)]) return true;
        return false;
    };
    const int left = 45;
    EXPECT_TRUE(topInk(pictures[0], left + (kEpsWidth - 67) / 4));
    EXPECT_TRUE(topInk(pictures[1], left + (kEpsWidth - 67) * 3 / 4));
    EXPECT_NE(pictures[0], pictures[1]);

    // Each picture holds its own curve only: where spectrum 3 peaks high above spectrum 1, the
    // pixels of its curve are white in spectrum 1's picture and black in its own.
    tvar scaled = ws;
    scaled.PlotWidth = kEpsWidth;
    scaled.PlotHeight = kEpsHeight;
    ViewMessages messages;
    updateScalesForPaint(scaled, messages);
    std::map<int, int> rowOfFirst;
    for (const auto& piece : spectrumCurve(scaled, 1, messages).pieces)
        for (const CurvePixel& p : piece) rowOfFirst[p.x] = p.y;
    int apart = 0, inFirst = 0, inOwn = 0;
    for (const auto& piece : spectrumCurve(scaled, 3, messages).pieces)
        for (const CurvePixel& p : piece) {
            const auto first = rowOfFirst.find(p.x);
            if (first == rowOfFirst.end() || first->second - p.y < 10) continue;
            ++apart;
            inFirst += pictures[0][std::size_t(p.y)][std::size_t(p.x)];
            inOwn += pictures[2][std::size_t(p.y)][std::size_t(p.x)];
        }
    ASSERT_GE(apart, 10);
    EXPECT_LE(inFirst, apart / 10) << "spectrum 3 drawn into spectrum 1's picture";
    EXPECT_EQ(inOwn, apart);
}

} // namespace
} // namespace korvo
