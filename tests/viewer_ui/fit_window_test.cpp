// The Peak Fit window offscreen on a viewer: the same numbers as korvo-cli fit, components added by a
// click on the plot, a fit cancelled or its windows closed while it runs, the fit drawn over the
// spectrum (and printed and exported with it), and its files read back.
#include "cli/cli_run.h"
#include "common/file_util.h"
#include "viewer/eps_export.h"
#include "viewer/fit/fit_report.h"
#include "viewer/print_cells.h"
#include "viewer/ui/fit_window.h"
#include "viewer/viewer_paint.h"
#include "viewer_ui/viewer_rig.h"

#include <nlohmann/json.hpp>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <chrono>
#include <random>
#include <sstream>
#include <thread>

namespace korvo {
namespace {

using namespace std::chrono_literals;
using testing::ViewerRig;

constexpr double kPhoton = 1486.6;

// A C 1s-like spectrum in kinetic energy: two pseudo-Voigt lines 1.5 eV apart on a sloping background,
// with seeded Poisson counts; `shift` moves both lines.
bool writeC1s(const std::string& path, unsigned seed, double shift = 0) {
    SpectrumHeader h = testing::clamHeader();
    h.points = 301;
    h.analyserStart = 1190;
    h.ramp = 0.05;
    h.photonStart = kPhoton;
    h.sample = "graphite";
    h.fileName = path;
    DataBlock block(std::size_t(1 + h.points));
    std::mt19937 rng(seed);
    const auto pv = [](double x, double pos, double fwhm, double area) {
        const double g = std::sqrt(4 * std::log(2.0) / M_PI) / fwhm * std::exp(-4 * std::log(2.0) * (x - pos) * (x - pos) / (fwhm * fwhm));
        const double l = 2 / (M_PI * fwhm) / (1 + 4 * (x - pos) * (x - pos) / (fwhm * fwhm));
        return area * (0.7 * g + 0.3 * l);
    };
    for (int i = 1; i <= h.points; ++i) {
        MeasurementRecord& r = block[std::size_t(i)];
        r.Energy = h.analyserStart + h.ramp * (i - 1);
        const double f = 300 + 4 * (r.Energy - 1190) + pv(r.Energy, 1197.1 + shift, 1.1, 6000) +
                         pv(r.Energy, 1195.6 + shift, 1.3, 2000);
        r.Co[0] = std::poisson_distribution<int>(f)(rng);
    }
    return saveSpectrumFile(path, h, SpectrumSaveOptions{}, block);
}

constexpr const char* kModel = R"({"region": {"from": 1192, "to": 1201}, "background": {"type": "linear"},
  "components": [
    {"name": "C1", "shape": "pseudo_voigt", "position": 1197, "fwhm": 1.2, "area": 5000, "eta": {"value": 0.3, "fixed": true},
     "element": "C", "level": "1s"},
    {"name": "C2", "shape": "pseudo_voigt", "position": {"value": 1195.5, "min": 1194, "max": 1196.5}, "fwhm": 1.2,
     "area": {"value": 1500, "min": 0}, "eta": "C1", "element": "O", "sensitivity": 2.5}]})";

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct FitRig : ViewerRig {
    FitRig() {
        EXPECT_TRUE(writeC1s(dir.file("c1s.dat"), 7));
        EXPECT_TRUE(writeC1s(dir.file("c1s_2.dat"), 8, 0.2));
        std::ofstream(dir.file("model.json")) << kModel;
        std::ofstream(dir.file("rsf.txt")) << "C, 1s, 0.296\n";
    }
    // A viewer of `files` with its Peak Fit window open.
    FitWindow& openFit(std::vector<QString> files) {
        viewer = open(std::move(files));
        EXPECT_NE(viewer, nullptr);
        return *viewer->peakFitCommand();
    }
    void loadModel(FitWindow& w, const std::string& name = "model.json") {
        dialogs.files.push_back(dir.file(name));
        w.loadModelCommand();
        dialogs.files.push_back(dir.file("rsf.txt"));
        w.loadSensitivitiesCommand();
    }
    std::vector<double> counts() const {
        std::vector<double> y;
        for (const SpectrumPoint& p : viewer->workspace().pool) y.push_back(p.y);
        return y;
    }
    TForm3* viewer = nullptr;
};

// Lets the window's timer run until its fit is over (a generous bound, never reached by a sound fit).
bool waitForFit(FitWindow& w, std::chrono::seconds bound = 120s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (w.running() && std::chrono::steady_clock::now() < end) {
        QApplication::processEvents();
        std::this_thread::sleep_for(2ms);
    }
    return !w.running();
}

std::vector<nlohmann::json> jsonLines(const std::string& text) {
    std::vector<nlohmann::json> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(nlohmann::json::parse(line));
    return all;
}

int pixelsOf(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

QImage plotImage(TForm3& viewer) {
    QImage image(viewer.plotBox()->size(), QImage::Format_RGB32);
    QPainter p(&image);
    viewer.paintPlot(p);
    return image;
}

TEST(FitWindow, FitsAsTheCommandLineDoesAndWritesFilesThatReadBack) {
    FitRig rig;
    FitWindow& w = rig.openFit({"c1s.dat", "c1s_2.dat"});
    rig.loadModel(w);
    ASSERT_EQ(w.modelTexts().components.size(), 2u);
    EXPECT_EQ(w.componentTable()->rowCount(), 8); // four parameters each
    const std::vector<double> before = rig.counts();

    // One spectrum, then every shown one in turn, each from the one before.
    for (const bool series : {false, true}) {
        SCOPED_TRACE(series ? "series" : "active spectrum");
        if (series) {
            w.seriesBox()->setChecked(true);
            w.button("Fit every shown spectrum")->click();
        } else {
            w.button("Fit")->click();
        }
        ASSERT_TRUE(waitForFit(w));
        ASSERT_EQ(w.results().size(), series ? 2u : 1u);
        EXPECT_TRUE(w.results()[0].result.converged()) << w.results()[0].result.message;
        EXPECT_EQ(rig.counts(), before); // fitting changes no counts
        const std::string report = series ? "series.json" : "one.json";
        rig.dialogs.files.push_back(rig.dir.file(report));
        w.saveReportCommand();
        const tvar& ws = rig.viewer->workspace();
        const std::string args = std::string("fit --json --sensitivities rsf.txt --model model.json") + (series ? " --series " : " ") + "'" +
                                 (series ? rig.dir.file("c1s.dat") + "' '" + rig.dir.file("c1s_2.dat")
                                         : ws.spectrum(ws.Active).PathName) +
                                 "'";
        const testing::CliResult cli = testing::runCli(rig.dir.path, args);
        ASSERT_EQ(cli.status, 0) << cli.err;
        // The same fit to the last digit: the same report lines.
        EXPECT_EQ(slurp(rig.dir.file(report)), cli.out);
        EXPECT_EQ(jsonLines(cli.out).size(), w.results().size());
    }
    // The results table shows every parameter with its error and the derived numbers.
    const fit::FitResult& r = w.results()[1].result;
    w.showResult(1);
    // pseudo-Voigt: four parameters, then height and area percent (area and FWHM are parameters).
    EXPECT_EQ(w.resultTable()->rowCount(), 2 * (4 + 2) + 2);
    const double error = r.components[0].parameters[0].estimate.error;
    EXPECT_NEAR(w.resultTable()->item(0, 3)->text().toDouble(), error, 1e-7 * error);
    EXPECT_TRUE(w.summaryLabel()->text().contains(QString::number(r.dof)));
    EXPECT_TRUE(w.summaryLabel()->text().contains(QStringLiteral("converged")));
    ASSERT_EQ(r.elements.size(), 2u);
    EXPECT_TRUE(w.detailsText()->toPlainText().contains(
        QStringLiteral("  C: %1 +- ").arg(QString::number(r.elements[0].atomicPercent.value, 'g', 8))));
    EXPECT_TRUE(w.detailsText()->toPlainText().contains(QStringLiteral("Correlations above 0.9:")));

    // A model refused for the spectrum fits nothing and says why.
    w.regionFromEdit()->setText("2000");
    w.regionFromEdit()->textEdited("2000");
    w.fitActiveCommand();
    EXPECT_FALSE(w.running());
    EXPECT_NE(rig.dialogs.texts().back().find("\"region\": 1201 to 2000 eV lies outside"), std::string::npos)
        << rig.dialogs.texts().back();
    EXPECT_EQ(w.results().size(), 2u);
    w.regionFromEdit()->textEdited("1192");

    // CSV report and the model file read back.
    rig.dialogs.files.push_back(rig.dir.file("series.csv"));
    w.saveReportCommand();
    const std::string csv = slurp(rig.dir.file("series.csv"));
    EXPECT_EQ(csv, fit::csvHeader() + fit::resultCsv(w.results()[0].result, rig.dir.file("c1s.dat")) +
                       fit::resultCsv(r, rig.dir.file("c1s_2.dat")));
    w.showResult(1);
    w.resultAsStartCommand(); // the fitted model as the next start
    EXPECT_EQ(w.modelTexts().components[1].parameters[0].value,
              fit::exactNumber(r.components[1].parameters[0].estimate.value));
    rig.dialogs.files.push_back(rig.dir.file("fitted.json"));
    w.saveModelCommand();
    const fit::ModelRead back = fit::readModelFile(rig.dir.file("fitted.json"));
    ASSERT_TRUE(back.model) << back.error;
    EXPECT_EQ(fit::modelJson(*back.model), fit::modelJson(*fit::modelOf(w.modelTexts()).model));
    EXPECT_EQ(back.model->components[0].parameter("area").value, r.components[0].parameters[2].estimate.value);

    // A report or model is never written over a spectrum file.
    const std::string spectrumBytes = slurp(rig.dir.file("c1s.dat"));
    rig.dialogs.files.push_back(rig.dir.file("c1s.dat"));
    w.saveReportCommand();
    rig.dialogs.files.push_back(rig.dir.file("c1s.dat"));
    w.saveModelCommand();
    EXPECT_EQ(slurp(rig.dir.file("c1s.dat")), spectrumBytes);
    EXPECT_TRUE(rig.dialogs.saw(rig.dir.file("c1s.dat") +
                                " is the spectrum file of c1s.dat; it is not overwritten. Nothing was saved."));
}

TEST(FitWindow, ClickedPeaksBecomeComponentsThatFit) {
    FitRig rig;
    FitWindow& w = rig.openFit({"c1s.dat"});
    TForm3& v = *rig.viewer;
    const tvar& ws = v.workspace();
    // Without picking a click zooms as ever: no component.
    testing::click(v.plotBox(), QPoint(ws.column(ws.Active, 1197.1), 100), Qt::LeftButton);
    EXPECT_TRUE(w.modelTexts().components.empty());
    for (double x : {1197.1, 1195.6}) {
        w.button("Add by click")->click();
        ASSERT_TRUE(w.picking());
        testing::click(v.plotBox(), QPoint(ws.column(ws.Active, x), 100), Qt::LeftButton);
        EXPECT_FALSE(w.picking()); // one click, one component
    }
    ASSERT_EQ(w.modelTexts().components.size(), 2u) << ::testing::PrintToString(rig.dialogs.texts());
    const fit::FitModel model = *fit::modelOf(w.modelTexts()).model;
    EXPECT_EQ(model.components[0].name, "C1");
    EXPECT_EQ(model.components[1].name, "C2");
    EXPECT_EQ(model.components[0].shape, fit::Shape::PseudoVoigt);
    // At the clicked energy (to a column's width), about as wide as the line.
    EXPECT_NEAR(model.components[0].parameter("position").value, 1197.1, 2 * ws.spectrum(ws.Active).XPerPixel);
    EXPECT_NEAR(model.components[0].parameter("fwhm").value, 1.1, 0.3);
    // The shoulder measured on what the first line leaves of it.
    EXPECT_NEAR(model.components[1].parameter("position").value, 1195.6, 2 * ws.spectrum(ws.Active).XPerPixel);
    EXPECT_NEAR(model.components[1].parameter("fwhm").value, 1.3, 0.4);

    w.backgroundBox()->setCurrentIndex(w.backgroundBox()->findText("linear"));
    w.backgroundBox()->activated(w.backgroundBox()->currentIndex());
    w.fitActiveCommand();
    ASSERT_TRUE(waitForFit(w));
    const fit::FitResult& r = w.results().at(0).result;
    ASSERT_TRUE(r.converged()) << r.message;
    EXPECT_NEAR(r.components[0].parameters[0].estimate.value, 1197.1, 0.05);
    EXPECT_NEAR(r.components[1].parameters[0].estimate.value, 1195.6, 0.1);

    // A click beside the spectrum adds nothing and says why.
    w.setPicking(true);
    EXPECT_FALSE(w.addComponentAt(1300));
    EXPECT_TRUE(rig.dialogs.saw("The click lies beside the spectrum; click on the peak of the new component."));
    EXPECT_EQ(w.modelTexts().components.size(), 2u);
}

TEST(FitWindow, CancelEndsTheFitPromptlyAndChangesNothing) {
    FitRig rig;
    FitWindow& w = rig.openFit({"c1s.dat"});
    rig.loadModel(w);
    const std::vector<double> before = rig.counts();
    // The fit is held in its first iteration until it is cancelled, as a long one would be.
    std::atomic<bool> held{false};
    w.watchJob = [&](const fit::FitJob& job, const fit::FitJobProgress&) {
        held = true;
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (!job.cancelled() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    };
    w.button("Fit")->click();
    ASSERT_TRUE(w.running());
    while (!held) std::this_thread::sleep_for(1ms);
    // The window answers while the fit runs: its table takes an edit, a second fit is not started.
    EXPECT_FALSE(w.button("Fit")->isEnabled());
    EXPECT_TRUE(w.button("Cancel")->isEnabled());
    w.componentTable()->item(0, 0)->setText("Main");
    EXPECT_EQ(w.modelTexts().components[0].name, "Main");
    const auto pressed = std::chrono::steady_clock::now();
    w.button("Cancel")->click();
    ASSERT_TRUE(waitForFit(w, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 5s);
    ASSERT_EQ(w.results().size(), 1u);
    EXPECT_EQ(w.results()[0].result.status, fit::FitStatus::Cancelled);
    EXPECT_LE(w.results()[0].result.iterations, 2);
    EXPECT_EQ(w.statusLabel()->text(), "The fit was cancelled.");
    EXPECT_EQ(rig.counts(), before);
    EXPECT_TRUE(w.button("Fit")->isEnabled());
}

TEST(FitWindow, ClosingTheWindowOrTheViewerDuringAFitIsSafe) {
    for (const bool viewerToo : {false, true}) {
        SCOPED_TRACE(viewerToo ? "viewer closed" : "fit window closed");
        FitRig rig;
        FitWindow& w = rig.openFit({"c1s.dat"});
        rig.loadModel(w);
        std::atomic<bool> held{false}, released{false};
        w.watchJob = [&](const fit::FitJob& job, const fit::FitJobProgress&) {
            held = true;
            const auto end = std::chrono::steady_clock::now() + 60s;
            while (!job.cancelled() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
            released = job.cancelled();
        };
        w.fitActiveCommand();
        while (!held) std::this_thread::sleep_for(1ms);
        if (!viewerToo) {
            w.close();
            EXPECT_FALSE(w.running());
            EXPECT_TRUE(released);
            EXPECT_EQ(rig.viewer->fitOverlay(), nullptr);
            continue;
        }
        QPointer<TForm3> viewer = rig.viewer;
        QPointer<FitWindow> fitWindow = &w;
        rig.dialogs.answers.push_back(DialogAnswer::Ok); // "Close Worksheet and loose unsaved data ?"
        ASSERT_TRUE(rig.viewer->close());
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(released);
        EXPECT_TRUE(viewer.isNull());
        EXPECT_TRUE(fitWindow.isNull());
    }
    // A viewer deleted outright (the program ends) joins its fit as well.
    FitRig rig;
    FitWindow& w = rig.openFit({"c1s.dat"});
    rig.loadModel(w);
    std::atomic<bool> held{false};
    w.watchJob = [&](const fit::FitJob& job, const fit::FitJobProgress&) {
        held = true;
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (!job.cancelled() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    };
    w.fitActiveCommand();
    while (!held) std::this_thread::sleep_for(1ms);
    delete rig.viewer;
}

TEST(FitWindow, TheFitIsDrawnOverItsSpectrumPrintedAndExported) {
    FitRig rig;
    FitWindow& w = rig.openFit({"c1s.dat", "c1s_2.dat"});
    rig.loadModel(w);
    TForm3& v = *rig.viewer;
    v.resize(700, 500);
    const QRgb envelope = qRgb(220, 0, 0);
    const QRgb residual = qRgb(0, 110, 160);
    EXPECT_EQ(pixelsOf(plotImage(v), envelope), 0);
    w.fitActiveCommand();
    ASSERT_TRUE(waitForFit(w));
    ASSERT_NE(v.fitOverlay(), nullptr);
    const QImage shown = plotImage(v);
    EXPECT_GT(pixelsOf(shown, envelope), 100);
    EXPECT_GT(pixelsOf(shown, residual), 50);
    // The residuals lie in the band along the bottom of the data area.
    const int bandTop = plot::kPlotTop + int(0.8 * v.workspace().spectrum(1).PlotHeightPx) - 2;
    for (int y = 0; y < bandTop; ++y)
        for (int x = 0; x < shown.width(); ++x) ASSERT_NE(shown.pixel(x, y) & 0xFFFFFF, residual & 0xFFFFFF) << x << "," << y;

    // Not shown, not drawn; a spectrum whose counts change loses its fit, and Undo brings it back.
    w.showFitBox()->setChecked(false);
    EXPECT_EQ(pixelsOf(plotImage(v), envelope), 0);
    w.showFitBox()->setChecked(true);
    v.action("Smoothing")->trigger();
    EXPECT_EQ(pixelsOf(plotImage(v), envelope), 0);
    v.undoCommand();
    EXPECT_GT(pixelsOf(plotImage(v), envelope), 100);

    // The EPS picture of the fitted spectrum holds the fit in black; the other's has none.
    tvar& ws = v.workspace();
    const EpsExport with = epsExport(ws, std::nullopt, v.fitOverlay());
    const EpsExport without = epsExport(ws);
    ASSERT_EQ(with.pictures.size(), 2u);
    EXPECT_NE(with.pictures[0].bytes, without.pictures[0].bytes);
    EXPECT_EQ(with.pictures[1].bytes, without.pictures[1].bytes);
    // A print cell draws it too.
    const auto cellPixels = [&](const FitOverlay* fit) {
        QImage cell(600, 400, QImage::Format_RGB32);
        cell.fill(Qt::white);
        QPainter p(&cell);
        print::drawBitmapCell(p, print::workspaceCell(ws, 1, std::nullopt, true, nullptr, fit), {600, 400}, {});
        p.end();
        return pixelsOf(cell, qRgb(0, 0, 0));
    };
    EXPECT_GT(cellPixels(v.fitOverlay()), cellPixels(nullptr) + 200);

    // Closing the fit window takes the fit off the plot.
    w.close();
    EXPECT_EQ(v.fitOverlay(), nullptr);
}

TEST(FitWindow, TheModelFollowsTheViewersAxis) {
    FitRig rig;
    FitWindow& w = rig.openFit({"c1s.dat"});
    rig.loadModel(w);
    w.fitActiveCommand();
    ASSERT_TRUE(waitForFit(w));
    const fit::FitResult kinetic = w.results().at(0).result;
    rig.viewer->bindingAxisCommand();
    ASSERT_TRUE(rig.viewer->bindingAxis());
    EXPECT_EQ(w.axisBox()->currentText(), "binding");
    const double e = kPhoton - kDefaultWorkFunction;
    EXPECT_EQ(w.regionFromEdit()->text().toDouble(), e - 1192);
    w.fitActiveCommand();
    ASSERT_TRUE(waitForFit(w));
    const fit::FitResult& binding = w.results().at(0).result;
    ASSERT_TRUE(binding.converged()) << binding.message;
    EXPECT_EQ(binding.axis, fit::Axis::Binding);
    // The same fit stated on the other axis.
    for (std::size_t c = 0; c < 2; ++c) {
        EXPECT_NEAR(binding.components[c].parameters[0].estimate.value,
                    e - kinetic.components[c].parameters[0].estimate.value, 1e-5);
        EXPECT_NEAR(binding.components[c].area.value, kinetic.components[c].area.value,
                    1e-5 * kinetic.components[c].area.value);
    }
    EXPECT_NEAR(binding.chi2, kinetic.chi2, 1e-6 * kinetic.chi2);
    // The region from the measuring marks comes in binding energy as well.
    rig.viewer->setMeasuring(true);
    tvar& ws = rig.viewer->workspace();
    ws.SelStartX = 1193.0, ws.SelEndX = 1199.5;
    w.regionFromMarksCommand();
    EXPECT_EQ(w.regionFromEdit()->text().toDouble(), e - 1199.5);
    EXPECT_EQ(w.regionToEdit()->text().toDouble(), e - 1193.0);
}

} // namespace
} // namespace korvo
