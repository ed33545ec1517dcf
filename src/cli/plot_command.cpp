#include "cli/plot_command.h"
#include "cli/binding_options.h"

#include "cli/gui_application.h"
#include "cli/output_guard.h"
#include "common/file_util.h"
#include "common/number_text.h"
#include "files/spectrum_info.h"
#include "viewer/fit/fit_workspace.h"
#include "viewer/fit/fit_solver.h"
#include "viewer/fit/model_file.h"
#include "viewer/viewer_paint.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <map>
#include <optional>
#include <memory>
#include <tuple>

namespace korvo {

namespace {

// The smallest box that still has a data area, and a largest one that a picture can be made of.
constexpr int kMinSide = 120;
constexpr int kMaxSide = 10000;

enum class Format { Png, Pdf, Svg, Unknown };

Format formatOf(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) return Format::Unknown;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "png") return Format::Png;
    if (ext == "pdf") return Format::Pdf;
    if (ext == "svg") return Format::Svg;
    return Format::Unknown;
}

void paint(QPainter& painter, tvar& ws, const std::optional<BindingAxis>& binding, const FitOverlay* fit) {
    ViewMessages ignored; // a picture has nobody to tell; an unscalable spectrum is simply not drawn
    ViewerPaintOptions options;
    options.binding = binding;
    options.fit = fit;
    paintViewer(painter, ws, options, ignored);
}

// The binding axis of the request, or a reason on `err`; nullopt without --binding.
bool bindingAxisOf(const PlotRequest& request, std::optional<BindingAxis>& axis, std::ostream& err) {
    if (!request.binding) {
        if (!request.workFunction.empty() || !request.photonEnergy.empty()) {
            err << "korvo-cli plot: --work-function and --photon-energy go with --binding\n";
            return false;
        }
        return true;
    }
    BindingAxis a;
    if (!readBindingOptions("plot", request.workFunction, request.photonEnergy, a, err)) return false;
    axis = a;
    return true;
}

QByteArray render(tvar& ws, Format format, const std::optional<BindingAxis>& binding, const FitOverlay* fit) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const int w = ws.PlotWidth, h = ws.PlotHeight;
    switch (format) {
    case Format::Png: {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            paint(p, ws, binding, fit);
        }
        image.save(&buffer, "PNG");
        break;
    }
    case Format::Pdf: {
        QPdfWriter writer(&buffer);
        // One page the size of the picture at 96 dpi, so that the painter works in the box's pixels.
        writer.setResolution(96);
        writer.setPageSize(QPageSize(QSizeF(w * 72.0 / 96, h * 72.0 / 96), QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setCreator(QStringLiteral("korvo-cli"));
        QPainter p(&writer);
        paint(p, ws, binding, fit);
        break;
    }
    case Format::Svg: {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(w, h));
        svg.setViewBox(QRect(0, 0, w, h));
        svg.setResolution(96);
        svg.setTitle(QStringLiteral("Spectra"));
        QPainter p(&svg);
        paint(p, ws, binding, fit);
        break;
    }
    case Format::Unknown:
        break;
    }
    return bytes;
}

// The active spectrum fitted with the model file's model; false with the reason on `err` when the
// model or the spectrum is refused. `converged` says whether the fit converged.
bool fitOverlayOf(const std::string& path, const tvar& ws, const BindingAxis& axis, std::optional<FitOverlay>& overlay,
                  bool& converged, std::ostream& err) {
    fit::ModelRead read = fit::readModelFile(path);
    if (!read.model) {
        err << "korvo-cli plot: " << escapeForTerminal(path) << ": " << escapeForTerminal(read.error) << '\n';
        return false;
    }
    // A picture shows no quantification: the elements need no sensitivity factors here.
    for (fit::Component& c : read.model->components) c.element.clear();
    const int k = ws.Active;
    const fit::Prepared p = fit::prepareSpectrum(*read.model, ws, k, axis);
    if (!p.problem) {
        err << "korvo-cli plot: " << escapeForTerminal(ws.spectrum(k).PathName) << ": " << escapeForTerminal(p.error)
            << " Nothing was written.\n";
        return false;
    }
    const fit::FitResult r = fit::solveFit(*p.problem);
    converged = r.converged();
    if (!converged) err << "korvo-cli plot: " << escapeForTerminal(ws.spectrum(k).PathName) << ": " << r.message << '\n';
    overlay = fit::overlayOf(*p.problem, fit::curvesOf(*p.problem, r), k);
    return true;
}

} // namespace

int runPlot(const PlotRequest& request, std::ostream& err) {
    const Format format = formatOf(request.out);
    if (format == Format::Unknown) {
        err << "korvo-cli plot: " << request.out << ": the picture is written as .png, .pdf or .svg\n";
        return 2;
    }
    if (request.width < kMinSide || request.height < kMinSide || request.width > kMaxSide ||
        request.height > kMaxSide) {
        err << "korvo-cli plot: the size must lie between " << kMinSide << " and " << kMaxSide << " pixels\n";
        return 2;
    }
    std::optional<FullScale> scale;
    if (!request.fullScale.empty()) {
        static const std::map<std::string, FullScale> commands = {
            {"all", FullScale::All}, {"special", FullScale::Special}, {"x", FullScale::X}, {"y", FullScale::Y}};
        const auto it = commands.find(request.fullScale);
        if (it == commands.end()) {
            err << "korvo-cli plot: --full-scale wants all, special, x or y\n";
            return 2;
        }
        scale = it->second;
    }
    std::optional<BindingAxis> binding;
    if (!bindingAxisOf(request, binding, err)) return 2;
    CommandInputs inputs(request.load.inputPaths());
    if (!request.fitModel.empty()) inputs.add(request.fitModel);
    const std::unique_ptr<tvar> ws = loadForCli(request.load, err);
    if (!ws) return 2;
    if (const std::string why = inputs.refusal(request.out); !why.empty()) {
        err << "korvo-cli plot: " << escapeForTerminal(why) << "; nothing was written\n";
        return 2;
    }
    if (binding)
        if (const std::string why = bindingAxisRefusal(*ws, *binding); !why.empty()) {
            err << "korvo-cli plot: " << escapeForTerminal(why) << " Nothing was written.\n";
            return 2;
        }
    std::optional<FitOverlay> overlay;
    bool converged = true;
    if (!request.fitModel.empty() && ws->Active >= 1 &&
        !fitOverlayOf(request.fitModel, *ws, binding.value_or(BindingAxis{}), overlay, converged, err))
        return 2;
    if (scale) fullScale(*ws, *scale, binding ? &*binding : nullptr);
    ws->PlotWidth = request.width;
    ws->PlotHeight = request.height;
    const auto app = guiApplication();
    const QByteArray bytes = render(*ws, format, binding, overlay ? &*overlay : nullptr);
    if (bytes.isEmpty()) {
        err << "korvo-cli plot: the picture could not be made\n";
        return 2;
    }
    std::string error;
    if (!writeFileAtomic(request.out, std::string_view(bytes.constData(), std::size_t(bytes.size())), &error,
                         LinkPolicy::FollowOwn)) {
        err << "korvo-cli plot: " << request.out << ": " << error << '\n';
        return 2;
    }
    return converged ? 0 : 3;
}

void addPlotCommand(CLI::App& app, int& exitStatus) {
    auto request = std::make_shared<PlotRequest>();
    auto size = std::make_shared<std::string>();
    CLI::App* plot = app.add_subcommand("plot", "Draw the viewer's picture of spectrum files into a PNG, PDF or SVG");
    plot->add_option("--size", *size, "Picture size WxH in pixels (default 800x600)");
    plot->add_option("--full-scale", request->fullScale,
                     "One range for all spectra, as the viewer's \"Not Scaled\" menu: all, special (with headroom), x, y");
    plot->add_flag("--binding", request->binding,
                   "The x axis in binding energy = photon energy - kinetic energy - work function, high on the left");
    plot->add_option("--work-function", request->workFunction, "Work function in eV for --binding (default 4.5)");
    plot->add_option("--photon-energy", request->photonEnergy,
                     "Photon energy in eV for --binding, for the files whose header gives none");
    plot->add_option("--fit", request->fitModel,
                     "A fit model (JSON, see fit): the active spectrum fitted and the fit drawn over it");
    plot->add_option("--out", request->out, "Output file: .png, .pdf or .svg")->required();
    addLoadOptions(*plot, request->load);
    plot->callback([request, size, &exitStatus] {
        if (!size->empty()) {
            const auto wh = parseSize(*size);
            if (!wh) {
                std::cerr << "korvo-cli plot: --size wants WIDTHxHEIGHT, e.g. 800x600\n";
                exitStatus = 2;
                return;
            }
            std::tie(request->width, request->height) = *wh;
        }
        exitStatus = runPlot(*request, std::cerr);
    });
}

} // namespace korvo
