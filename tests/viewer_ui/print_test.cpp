// Printing: cell places and sizes, the batch choice and reading, pages printed into PDF files and
// looked at as pictures, the preview's cells, and korvo-cli print as users run it.
#include "cli/cli_run.h"
#include "common/dialogs.h"
#include "support/qt_app.h"
#include "support/temp_dir.h"
#include "viewer/print_cells.h"
#include "viewer/print_settings.h"
#include "viewer/ui/batch_print_window.h"
#include "viewer/ui/print_preview_window.h"
#include "viewer/ui/print_dialogs.h"
#include "viewer/ui/printer_choice.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"
#include "viewer_ui/viewer_test_util.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace korvo {
namespace {

using print::CellPlace;
using testing::runCli;

QApplication& app() {
    return testing::qtApp();
}

// The PDF's pages as pictures at 50 dpi (poppler's pdftoppm), and its page count (pdfinfo).
std::vector<QImage> renderPdf(const std::string& pdf, const std::string& dir) {
    const std::string prefix = dir + "/page";
    const std::string cmd = "pdftoppm -png -r 50 '" + pdf + "' '" + prefix + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::vector<QImage> pages;
    for (int i = 1; i <= 99; ++i) {
        for (const char* pattern : {"%s-%d.png", "%s-%02d.png"}) {
            char name[512];
            std::snprintf(name, sizeof name, pattern, prefix.c_str(), i);
            if (std::filesystem::exists(name)) {
                pages.emplace_back(QString::fromUtf8(name));
                break;
            }
        }
        if (int(pages.size()) < i) break;
    }
    return pages;
}

int pdfPages(const std::string& pdf) {
    const std::string cmd = "pdfinfo '" + pdf + "' 2>/dev/null | sed -n 's/^Pages: *//p'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    int pages = -1;
    if (std::fscanf(p, "%d", &pages) != 1) pages = -1;
    pclose(p);
    return pages;
}

// The box around every dark pixel of a picture (ink), as fractions of its size.
struct InkBox {
    double left = 1, top = 1, right = 0, bottom = 0;
    int pixels = 0;
};
InkBox inkOf(const QImage& image) {
    InkBox b;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 160) {
                ++b.pixels;
                b.left = std::min(b.left, double(x) / image.width());
                b.right = std::max(b.right, double(x + 1) / image.width());
                b.top = std::min(b.top, double(y) / image.height());
                b.bottom = std::max(b.bottom, double(y + 1) / image.height());
            }
    return b;
}

TEST(PrintLayout, CellsGoWhereThePrintoutsHaveAlwaysPutThem) {
    // Three per row: the first three go to columns 2, 0 and 1 of the first row.
    EXPECT_EQ(print::cellPlace(1, 3, 2), (CellPlace{2, 0, 0}));
    EXPECT_EQ(print::cellPlace(2, 3, 2), (CellPlace{0, 0, 0}));
    EXPECT_EQ(print::cellPlace(3, 3, 2), (CellPlace{1, 0, 0}));
    EXPECT_EQ(print::cellPlace(4, 3, 2), (CellPlace{2, 1, 0}));
    // 2 x 4: file 8 ends page 1 in the last row, file 9 starts page 2 in the first.
    EXPECT_EQ(print::cellPlace(8, 2, 4), (CellPlace{1, 3, 0}));
    EXPECT_EQ(print::cellPlace(9, 2, 4), (CellPlace{0, 0, 1}));
    EXPECT_EQ(print::cellPlace(1, 0, 4), CellPlace{}); // no grid, no place (and no division by 0)

    // Ratios cut the page before it is divided; integer divisions throughout.
    EXPECT_EQ(print::cellSize({2000, 2870}, 50, 50, 1, 1), (print::Size{1000, 1435}));
    EXPECT_EQ(print::cellSize({2000, 2870}, 100, 100, 3, 4), (print::Size{666, 717}));
    EXPECT_EQ(print::cellSize({2000, 2870}, 100, 100, 0, 4), print::Size{});
    EXPECT_EQ(print::cellFontHeight({666, 717}), 19);

    // The scheme's bitmaps and the preview cells on them.
    EXPECT_EQ(print::pageBitmapSize({2480, 3508}), (print::Size{1240, 1754}));
    EXPECT_EQ(print::cellBitmapSize({1240, 1754}, 2, 4), (print::Size{617, 435}));
    EXPECT_EQ(print::previewCellCorner({1240, 1754}, 2, 4, 2, 3), (print::Size{621, 877}));
    EXPECT_EQ(print::previewCellAt({200, 250}, 2, 4, 150, 70), (print::PreviewCell{2, 2}));
    EXPECT_FALSE(print::previewCellAt({200, 250}, 2, 4, 200, 10));
}

TEST(PrintLayout, BatchChoiceFieldsAndRounding) {
    std::vector<std::string> files;
    for (int i = 1; i <= 51; ++i) files.push_back("f" + std::to_string(i));
    print::BatchSelection s = print::selectBatchFiles(files);
    ASSERT_EQ(s.files.size(), 50u);
    EXPECT_EQ(s.files.back(), "f50");
    EXPECT_EQ(s.messages, (std::vector<std::string>{"You can only print 50 files at once !", "50 files selected."}));
    files.resize(8);
    EXPECT_EQ(print::selectBatchFiles(files).messages, std::vector<std::string>{"8 files selected."});

    print::BatchFieldTexts f;
    ASSERT_TRUE(print::checkBatchLayout(f).layout);
    EXPECT_EQ(print::checkBatchLayout(f).layout->perColumn, 4);
    for (const char* bad : {"0", "", "x", "2.5", "256", "-1"}) {
        f.perRow = bad;
        const auto check = print::checkBatchLayout(f);
        EXPECT_FALSE(check.layout) << bad;
        EXPECT_NE(check.error.find("\"Row :\""), std::string::npos);
    }
    f.perRow = "3";
    f.perColumn = "0";
    EXPECT_FALSE(print::checkBatchLayout(f).layout);
    f.perColumn = "3";
    f.xFactor = "0";
    EXPECT_FALSE(print::checkBatchLayout(f).layout);

    EXPECT_DOUBLE_EQ(print::roundUpTwoDigits(1234), 1300);
    EXPECT_DOUBLE_EQ(print::roundUpTwoDigits(56789), 57000);
    EXPECT_DOUBLE_EQ(print::roundUpTwoDigits(99.5), 99.5);
}

// A file of `n` data points with counts up to `top`.
void writePoints(const std::string& path, int n, double top) {
    std::ofstream out(path, std::ios::binary);
    out << "Comment: batch\r\nProbe: Cu\r\nPoints:" << n << "\r\nPassEn:20.000\r\nBEGIN:\r\n";
    for (int i = 0; i < n; ++i) out << 10 + 0.01 * i << ' ' << top * i / std::max(1, n - 1) << "\r\n";
    out << "END\r\n";
}

TEST(PrintLayout, BatchFilesOverTheLimitOrUnreadableAreSkippedWithTheirMessage) {
    testing::TempDir dir;
    writePoints(dir.file("ok.dat"), 6000, 1234);
    writePoints(dir.file("big.dat"), 6001, 10);
    std::ofstream(dir.file("comma.dat")) << "BEGIN:\r\n1,5 3\r\nEND\r\n";

    const print::BatchRead ok = print::readBatchFile(dir.file("ok.dat"));
    ASSERT_TRUE(ok.spectrum) << ok.message;
    EXPECT_EQ(ok.spectrum->points.size(), 6000u);
    EXPECT_DOUBLE_EQ(ok.spectrum->YMax, 1300);
    EXPECT_DOUBLE_EQ(ok.spectrum->YMin, 0);
    EXPECT_DOUBLE_EQ(ok.spectrum->XMin, 10);
    EXPECT_EQ(ok.spectrum->texts.lines()[4], "      PassEn: 20.00      Points:6000      "); // no "Scans" line

    const print::BatchRead big = print::readBatchFile(dir.file("big.dat"));
    EXPECT_FALSE(big.spectrum);
    EXPECT_EQ(big.message, dir.file("big.dat") + " enthält zu viele Datenpunkte 6001> 6000 !!");
    for (const char* name : {"comma.dat", "missing.dat"}) {
        const print::BatchRead r = print::readBatchFile(dir.file(name));
        EXPECT_FALSE(r.spectrum);
        EXPECT_FALSE(r.message.empty()) << name;
    }
}

TEST(PrintPages, RatiosOfFiftyPutTheSinglePrintIntoTheTopLeftQuarter) {
    app();
    testing::TempDir dir;
    tvar ws = testing::makeWorkspace({testing::sampled(200, 80, 0.1, [](double x) { return 100 + x * x; })});
    ws.spectrum(1).Marked = 1;
    PdfPrinterChoice printers(QString::fromStdString(dir.file("single.pdf")));
    print::ViewerPrintSettings settings;
    settings.ratioX = settings.ratioY = 50;
    settings.landscape = false;
    std::string error;
    ASSERT_TRUE(print::printSingle(*printers.printerFor(nullptr), ws, false, settings, error)) << error;
    ASSERT_EQ(pdfPages(dir.file("single.pdf")), 1);
    const std::vector<QImage> pages = renderPdf(dir.file("single.pdf"), dir.path.string());
    ASSERT_EQ(pages.size(), 1u);
    const InkBox ink = inkOf(pages[0]);
    EXPECT_GT(ink.pixels, 300); // frame, labels, texts and the curve
    EXPECT_LT(ink.right, 0.5);
    EXPECT_LT(ink.bottom, 0.5);
    EXPECT_LT(ink.left, 0.15); // it fills that quarter, from the printable rim on
    EXPECT_GT(ink.right, 0.4);

    // At 100 % the same print takes the whole page.
    settings.ratioX = settings.ratioY = 100;
    ASSERT_TRUE(print::printSingle(printers.printer(), ws, false, settings, error)) << error;
    std::filesystem::create_directory(dir.path / "full");
    const InkBox full = inkOf(renderPdf(dir.file("single.pdf"), (dir.path / "full").string()).at(0));
    EXPECT_GT(full.right, 0.8);
    EXPECT_GT(full.bottom, 0.8);
}

TEST(PrintPages, IncLineTypeDashesTheSecondCurve) {
    app();
    const std::vector<SpectrumPoint> high = {{0, 75}, {10, 75}}, low = {{0, 25}, {10, 25}};
    print::CellContent cell;
    cell.XMax = 10, cell.YMax = cell.YTop = 100;
    cell.curves = {{high, 0}, {low, 0}};
    // Columns of the data area (x 44 .. 378) with no black pen pixel near a curve's row.
    auto gaps = [](const QImage& image, int row) {
        int open = 0;
        for (int x = 50; x < 370; ++x) {
            bool dark = false;
            for (int y = row - 2; y <= row + 2; ++y) dark = dark || qGray(image.pixel(x, y)) < 100;
            open += !dark;
        }
        return open;
    };
    for (bool inc : {false, true}) {
        QImage image(400, 400, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        print::drawBitmapCell(p, cell, {400, 400}, {inc, {}});
        p.end();
        // Rows: top margin 400 div 50 plus (100 - y) / (100 / 300).
        EXPECT_EQ(gaps(image, 8 + 75), 0) << inc;
        if (inc)
            EXPECT_GT(gaps(image, 8 + 225), 40);
        else
            EXPECT_EQ(gaps(image, 8 + 225), 0);
    }
}

TEST(PrintPages, BatchOfNineFilesTwoByFourFillsTwoPagesAndSkipsTheOversizedOne) {
    app();
    testing::TempDir dir;
    std::vector<std::string> files;
    for (int i = 1; i <= 10; ++i) {
        files.push_back(dir.file("s" + std::to_string(i) + ".dat"));
        if (i == 5)
            writePoints(files.back(), 6001, 50);
        else
            ASSERT_TRUE(testing::writeSpectrum(files.back(), 80, 100, 85, "s" + std::to_string(i)));
    }
    PdfPrinterChoice printers(QString::fromStdString(dir.file("batch.pdf")));
    std::vector<std::string> reported;
    const print::BatchOutcome out = print::printBatch(*printers.printerFor(nullptr), files, print::BatchLayout{},
                                                      {}, [&](const std::string& m) { reported.push_back(m); });
    EXPECT_EQ(out.printed, 9);
    EXPECT_EQ(out.pages, 2);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("s5.dat enthält zu viele Datenpunkte 6001> 6000 !!"), std::string::npos);
    EXPECT_EQ(pdfPages(dir.file("batch.pdf")), 2);
    // The ninth file alone on page 2: first row, column (9 + 1) mod 2 = 0, the top-left cell.
    const std::vector<QImage> pages = renderPdf(dir.file("batch.pdf"), dir.path.string());
    ASSERT_EQ(pages.size(), 2u);
    const InkBox second = inkOf(pages[1]);
    EXPECT_GT(second.pixels, 50);
    EXPECT_LT(second.right, 0.5);
    EXPECT_LT(second.bottom, 0.26);
    const InkBox first = inkOf(pages[0]);
    EXPECT_GT(first.right, 0.9);
    EXPECT_GT(first.bottom, 0.9);
}

TEST(PrintWindows, PreviewFillsOnLeftClickAndClearsOnRightPress) {
    app();
    RecordingDialogs dialogs;
    PrintSettings settings;
    PdfPrinterChoice printers(QStringLiteral("/nonexistent/never.pdf"));
    TForm4 size(settings, dialogs);
    Tform6 preview(settings, printers, dialogs, size);
    tvar ws = testing::makeWorkspace({testing::sampled(100, 80, 0.1, [](double x) { return x; })});
    settings.drawCellBitmap(ws, 1, true);
    const QImage cell = settings.cellBitmap();
    auto inkIn = [&](int column, int row) {
        const print::Size at = print::previewCellCorner(settings.pageBitmapSize(), 2, 4, column, row);
        return inkOf(settings.pageBitmap().copy(at.width + 2, at.height + 2, cell.width() - 4, cell.height() - 4))
            .pixels;
    };
    EXPECT_EQ(inkIn(2, 3), 0);
    EXPECT_GT(inkOf(cell).pixels, 500);

    // 4 X 2 on a 200 x 250 picture: (150, 140) lies in column 2, row 3.
    preview.pictureMove({150, 140});
    ASSERT_TRUE(preview.outlinedCell());
    EXPECT_EQ(*preview.outlinedCell(), (Tform6::Cell{2, 3}));
    preview.picturePress({150, 140}, Qt::LeftButton);
    // The cell now holds CellBitmap, pixel for pixel.
    const print::Size at = print::previewCellCorner(settings.pageBitmapSize(), 2, 4, 2, 3);
    int differing = 0;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            differing += settings.pageBitmap().pixelIndex(at.width + x, at.height + y) != cell.pixelIndex(x, y);
    EXPECT_EQ(differing, 0);
    EXPECT_GT(inkIn(2, 3), 500);
    EXPECT_EQ(inkIn(1, 3), 0); // its neighbour untouched
    preview.picturePress({150, 140}, Qt::RightButton);
    EXPECT_EQ(inkIn(2, 3), 0);
    preview.pictureMove({10, 10});
    EXPECT_EQ(*preview.outlinedCell(), (Tform6::Cell{1, 1}));

    // "1 X 1 (vert)": a landscape page, one cell, the smaller preview.
    EXPECT_TRUE(settings.chooseScheme(print::Scheme::OneByOne, {2480, 3508}));
    EXPECT_EQ(settings.pageBitmapSize(), (print::Size{1754, 1240}));
    EXPECT_EQ(settings.cellBitmap().size(), QSize(1751, 1237)); // the whole page less 3
    EXPECT_EQ(settings.cellBitmap().format(), QImage::Format_Mono);
    preview.applyScheme();
    EXPECT_EQ(preview.picture()->size(), QSize(250, 150));
    EXPECT_FALSE(preview.outlinedCell());
}

TEST(PrintWindows, PrintSizeDialogStoresWholeRatiosOnlyAndSwitchesCaptionWithItsPage) {
    app();
    RecordingDialogs dialogs;
    PrintSettings settings;
    TForm4 size(settings, dialogs);
    EXPECT_EQ(size.xRatioEdit()->text(), "100");
    EXPECT_TRUE(size.horizontalButton()->isChecked());
    size.xRatioEdit()->setText(QStringLiteral("50"));
    size.yRatioEdit()->setText(QStringLiteral("5O")); // a letter O
    size.verticalButton()->setChecked(true);
    EXPECT_FALSE(size.store());
    EXPECT_EQ(settings.PrintRatioX, 100); // nothing stored
    EXPECT_EQ(settings.PrintLandscape, 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    size.yRatioEdit()->setText(QStringLiteral("60"));
    EXPECT_TRUE(size.store());
    EXPECT_EQ(settings.PrintRatioX, 50);
    EXPECT_EQ(settings.PrintRatioY, 60);
    EXPECT_EQ(settings.PrintLandscape, 0);
    EXPECT_EQ(settings.viewerPrint().landscape, false);

    size.pages()->setCurrentIndex(1);
    EXPECT_EQ(size.windowTitle(), "Change data comments");
    size.pages()->setCurrentIndex(0);
    EXPECT_EQ(size.windowTitle(), "Choose ratio between print-size and sheet-size !");
}

TEST(PrintWindows, ViewerRedrawsCellBitmapAndPrintsTheAutoselectedSpectraIntoTheSchemesCells) {
    app();
    testing::TempDir dir;
    RecordingDialogs dialogs;
    NullPump pump;
    ViewerContext ctx(dialogs, pump);
    PrintSettings settings;
    PdfPrinterChoice printers(QString::fromStdString(dir.file("auto.pdf")));
    ctx.print = &settings;
    ctx.printers = &printers;
    TForm3 w(ctx);
    w.workspace() = testing::makeWorkspace({testing::sampled(100, 80, 0.1, [](double x) { return 10 * x; }),
                                            testing::sampled(100, 80, 0.1, [](double x) { return 900 - 10 * x; }),
                                            testing::sampled(50, 70, 0.2, [](double x) { return x; })});
    EXPECT_TRUE(w.action(QStringLiteral("&Print"))->isEnabled());
    w.makeActive(1);
    const QImage first = settings.cellBitmap();
    w.makeActive(2);
    EXPECT_NE(settings.cellBitmap(), first); // the falling line instead of the rising one
    EXPECT_GT(inkOf(settings.cellBitmap()).pixels, 500);
    // A zoom leaves the picture alone; losing the focus (to the main window's "Print - Preview",
    // say) draws it anew, so the preview pastes what the viewer shows.
    w.show();
    w.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &w);
    const QImage unzoomed = settings.cellBitmap();
    ViewMessages zoom;
    ASSERT_TRUE(zoomIn(w.workspace(), RangeScope::AllSpectra, 100, 100, 300, 300, zoom));
    EXPECT_EQ(settings.cellBitmap(), unzoomed);
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &other);
    PrintSettings expected;
    expected.drawCellBitmap(w.workspace(), 2, true);
    EXPECT_NE(settings.cellBitmap(), unzoomed);
    EXPECT_EQ(settings.cellBitmap(), expected.cellBitmap());

    // The dialog lists the shown spectra; "Abort" prints nothing.
    w.answerPrintSelection = [](TForm9& d) {
        EXPECT_EQ(d.list()->count(), 3);
        EXPECT_EQ(d.list()->item(2)->text(), "sp3.dat");
        d.list()->item(0)->setSelected(true);
        d.abortButton()->click();
    };
    w.printAutoselectCommand();
    EXPECT_EQ(printers.documents, 0);
    // Positions 1 and 3 go into the first row of the 4 X 2 scheme, left and right.
    w.answerPrintSelection = [](TForm9& d) {
        d.list()->item(0)->setSelected(true);
        d.list()->item(2)->setSelected(true);
        d.printButton()->click();
    };
    w.printAutoselectCommand();
    EXPECT_EQ(printers.documents, 1);
    ASSERT_EQ(pdfPages(dir.file("auto.pdf")), 1);
    const InkBox ink = inkOf(renderPdf(dir.file("auto.pdf"), dir.path.string()).at(0));
    EXPECT_GT(ink.right, 0.8);
    EXPECT_LT(ink.bottom, 0.3);

    // "&Single" at the print size's 50 %: the active spectrum's frame in the top-left quarter of a
    // landscape page; "&Handselect" shows the preview.
    settings.PrintRatioX = settings.PrintRatioY = 50;
    w.printSingleCommand();
    EXPECT_EQ(printers.documents, 2);
    std::filesystem::create_directory(dir.path / "single");
    const QImage page = renderPdf(dir.file("auto.pdf"), (dir.path / "single").string()).at(0);
    EXPECT_GT(page.width(), page.height());
    const InkBox single = inkOf(page);
    EXPECT_GT(single.pixels, 200);
    EXPECT_LT(single.right, 0.5);
    EXPECT_LT(single.bottom, 0.5);
    w.printHandselectCommand();
    EXPECT_TRUE(ctx.printPreview().isVisible());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(PrintWindows, BatchWindowRefusesEmptyGridsAndReportsTheFiftyFileLimit) {
    app();
    testing::TempDir dir;
    for (int i = 1; i <= 51; ++i) writePoints(dir.file("f" + std::to_string(100 + i) + ".dat"), 20, 500);
    RecordingDialogs dialogs;
    PrintSettings settings;
    PdfPrinterChoice printers(QString::fromStdString(dir.file("out.pdf")));
    TForm17 batch(settings, printers, dialogs);
    batch.setDirectory(dir.path.string());
    ASSERT_EQ(batch.fileList()->count(), 51);
    batch.fileList()->selectAll();
    // Shown with a focused field: closing the window must not act on the field's end of editing.
    batch.show();
    batch.activateWindow();
    QApplication::processEvents();

    batch.rowEdit()->setText(QStringLiteral("0"));
    EXPECT_EQ(batch.printSelected(), 0);
    EXPECT_EQ(printers.documents, 0); // refused before a printer was asked for
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[0].text, "You can only print 50 files at once !");
    EXPECT_EQ(dialogs.shown[1].text, "50 files selected.");
    EXPECT_NE(dialogs.shown[2].text.find("\"Row :\""), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.pdf")));

    dialogs.shown.clear();
    batch.rowEdit()->setText(QStringLiteral("2"));
    EXPECT_EQ(batch.printSelected(), 50);
    EXPECT_EQ(pdfPages(dir.file("out.pdf")), 7); // 50 cells of 8 per page
    EXPECT_EQ(dialogs.shown.size(), 2u);
}

struct CliRig {
    CliRig() {
        for (int i = 1; i <= 9; ++i)
            EXPECT_TRUE(testing::writeSpectrum(dir.file("s" + std::to_string(i) + ".dat"), 80, 100, 84 + i, "Au"));
        writePoints(dir.file("big.dat"), 6001, 10);
    }
    testing::TempDir dir;
};

TEST(CliPrint, PagesFollowTheGridAndSchemeAndFailuresLeaveNoPdf) {
    CliRig rig;
    auto r = runCli(rig.dir.path, "print --pdf out.pdf s1.dat s2.dat s3.dat s4.dat s5.dat s6.dat s7.dat s8.dat s9.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("9 files selected."), std::string::npos);
    EXPECT_EQ(pdfPages(rig.dir.file("out.pdf")), 2);

    r = runCli(rig.dir.path, "print --pdf one.pdf --scheme '1 X 1 (vert)' s1.dat s2.dat s3.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pdfPages(rig.dir.file("one.pdf")), 3);
    const std::vector<QImage> pages = renderPdf(rig.dir.file("one.pdf"), rig.dir.path.string());
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_GT(pages[0].width(), pages[0].height()); // the scheme prints landscape

    r = runCli(rig.dir.path, "print --pdf grid.pdf --rows 1 --columns 3 s1.dat s2.dat s3.dat s4.dat");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pdfPages(rig.dir.file("grid.pdf")), 2);

    // An oversized file is skipped with its message; the rest is printed, the status says so.
    r = runCli(rig.dir.path, "print --pdf some.pdf s1.dat big.dat");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("big.dat enthält zu viele Datenpunkte 6001> 6000 !!"), std::string::npos);
    EXPECT_EQ(pdfPages(rig.dir.file("some.pdf")), 1);

    // Nothing printable, a grid of 0 or a bad scheme: no PDF at all, and an old one stays as it was.
    std::ofstream(rig.dir.file("old.pdf")) << "old";
    for (const char* args : {"print --pdf old.pdf big.dat", "print --pdf old.pdf --rows 0 s1.dat",
                             "print --pdf old.pdf --columns x s1.dat", "print --pdf old.pdf --scheme 5x5 s1.dat"}) {
        r = runCli(rig.dir.path, args);
        EXPECT_EQ(r.status, 2) << args;
        std::ifstream in(rig.dir.file("old.pdf"));
        std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(text, "old") << args;
    }
    r = runCli(rig.dir.path, "print --pdf none.pdf --rows 0 s1.dat");
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("none.pdf")));
    EXPECT_NE(r.err.find("\"Row :\""), std::string::npos);
}

} // namespace
} // namespace korvo
