#include "cli/print_command.h"

#include "cli/gui_application.h"
#include "cli/output_guard.h"
#include "common/file_util.h"
#include "files/spectrum_info.h"
#include "viewer/print_cells.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

#include <iostream>

namespace korvo {

namespace {

// 300 dpi like a printer of the lab, and the unprintable rim of one.
constexpr int kPrintDpi = 300;
const QMarginsF kPrinterMarginsMm{5, 5, 5, 5};

} // namespace

int runPrint(const PrintRequest& request, std::ostream& out, std::ostream& err) {
    print::BatchFieldTexts fields;
    if (!request.scheme.empty()) {
        const auto scheme = print::schemeByCaption(request.scheme);
        if (!scheme) {
            err << "korvo-cli print: --scheme wants \"1 X 1 (vert)\", \"2 X 1\", \"3 X 2\" or \"4 X 2\"\n";
            return 2;
        }
        const print::SchemeInfo& s = print::schemeInfo(*scheme);
        fields.perRow = std::to_string(s.columns);
        fields.perColumn = std::to_string(s.rows);
        fields.landscape = s.landscape;
    }
    if (!request.columns.empty()) fields.perRow = request.columns;
    if (!request.rows.empty()) fields.perColumn = request.rows;
    if (request.landscape) fields.landscape = true;
    fields.xFactor = request.xFactor;
    fields.yFactor = request.yFactor;

    if (const std::string why = CommandInputs(request.files).refusal(request.pdf); !why.empty()) {
        err << "korvo-cli print: " << escapeForTerminal(why) << "; no PDF written\n";
        return 2;
    }
    const print::BatchSelection selection = print::selectBatchFiles(request.files);
    for (const std::string& m : selection.messages) out << m << '\n';
    const print::BatchLayoutCheck check = print::checkBatchLayout(fields);
    if (!check.layout) {
        err << "korvo-cli print: " << check.error << '\n';
        return 2;
    }

    const auto app = guiApplication();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    int skipped = 0;
    print::BatchOutcome outcome;
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kPrintDpi);
        writer.setCreator(QStringLiteral("korvo-cli"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, kPrinterMarginsMm,
                                         QPageLayout::Millimeter));
        outcome = print::printBatch(writer, selection.files, *check.layout, {}, [&](const std::string& m) {
            err << m << '\n';
            ++skipped;
        });
    }
    if (outcome.printed == 0) {
        err << "korvo-cli print: " << (outcome.error.empty() ? "nothing was printed" : outcome.error)
            << "; no PDF written\n";
        return 2;
    }
    std::string error;
    if (!writeFileAtomic(request.pdf, std::string_view(bytes.constData(), std::size_t(bytes.size())), &error,
                         LinkPolicy::FollowOwn)) {
        err << "korvo-cli print: " << request.pdf << ": " << error << '\n';
        return 2;
    }
    out << outcome.printed << " spectra printed on " << outcome.pages << (outcome.pages == 1 ? " page" : " pages")
        << " to " << request.pdf << '\n';
    return (skipped > 0 || request.files.size() > selection.files.size()) ? 1 : 0;
}

void addPrintCommand(CLI::App& app, int& exitStatus) {
    auto request = std::make_shared<PrintRequest>();
    CLI::App* cmd = app.add_subcommand("print", "Print spectrum files into a PDF, as the batch print window does");
    cmd->add_option("--pdf", request->pdf, "Output PDF file")->required();
    cmd->add_option("--scheme", request->scheme,
                    "Print scheme: \"1 X 1 (vert)\", \"2 X 1\", \"3 X 2\" or \"4 X 2\" (cells and orientation)");
    cmd->add_option("--rows", request->rows, "Cells down the page (\"Column :\", spectra per column; default 4)");
    cmd->add_option("--columns", request->columns, "Cells across the page (\"Row :\", spectra per row; default 2)");
    cmd->add_flag("--landscape", request->landscape, "Paper orientation \"Horizontal\" (default \"Vertical\")");
    cmd->add_option("--x-factor", request->xFactor, "Share of the page width used, percent (default 100)");
    cmd->add_option("--y-factor", request->yFactor, "Share of the page height used, percent (default 100)");
    cmd->add_option("files", request->files, "Spectrum files, at most 50 are printed")->required();
    cmd->callback([request, &exitStatus] { exitStatus = runPrint(*request, std::cout, std::cerr); });
}

} // namespace korvo
