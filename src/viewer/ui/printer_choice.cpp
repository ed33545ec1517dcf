#include "viewer/ui/printer_choice.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace korvo {

namespace {

// The preview's bitmaps are half the printer page in printer pixels: 300 dpi keeps them at a size
// a monochrome bitmap of the page has always had.
constexpr int kResolution = 300;

} // namespace

SystemPrinterChoice::SystemPrinterChoice() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    printer_->setResolution(kResolution);
    printer_->setPageOrientation(QPageLayout::Portrait);
}

SystemPrinterChoice::~SystemPrinterChoice() = default;

QPrinter* SystemPrinterChoice::printerFor(QWidget* parent) {
    QPrintDialog dialog(printer_.get(), parent);
    return dialog.exec() == QDialog::Accepted ? printer_.get() : nullptr;
}

void SystemPrinterChoice::setup(QWidget* parent) {
    QPageSetupDialog dialog(printer_.get(), parent);
    dialog.exec();
}

PdfPrinterChoice::PdfPrinterChoice(const QString& outputFile)
    : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(outputFile);
    printer_->setResolution(kResolution);
    printer_->setPageSize(QPageSize(QPageSize::A4));
    printer_->setPageOrientation(QPageLayout::Portrait);
}

PdfPrinterChoice::~PdfPrinterChoice() = default;

} // namespace korvo
