#pragma once
// Where the program's prints go. The desktop program asks the system's print dialog (its "Print to
// File (PDF)" is always there); tests and unattended runs print into a PDF file without a dialog.
#include <QString>

#include <memory>

class QPrinter;
class QWidget;

namespace korvo {

class PrinterChoice {
public:
    virtual ~PrinterChoice() = default;
    // The printer of the next document; nullptr when the user cancelled.
    virtual QPrinter* printerFor(QWidget* parent) = 0;
    // "Printer S&etup", "printer control", "Printer Control": the printer set-up dialog.
    virtual void setup(QWidget* parent) = 0;
    // The printer as it is set up now (page size and resolution for the preview's bitmaps).
    virtual QPrinter& printer() = 0;
};

// The system's printers through QPrintDialog, one printer object for the whole program run so that
// the set-up is kept between prints.
class SystemPrinterChoice final : public PrinterChoice {
public:
    SystemPrinterChoice();
    ~SystemPrinterChoice() override;
    QPrinter* printerFor(QWidget* parent) override;
    void setup(QWidget* parent) override;
    QPrinter& printer() override { return *printer_; }

private:
    std::unique_ptr<QPrinter> printer_;
};

// Every document goes into one PDF file, written anew by each print.
class PdfPrinterChoice final : public PrinterChoice {
public:
    explicit PdfPrinterChoice(const QString& outputFile);
    ~PdfPrinterChoice() override;
    QPrinter* printerFor(QWidget*) override {
        ++documents;
        return printer_.get();
    }
    void setup(QWidget*) override { ++setups; }
    QPrinter& printer() override { return *printer_; }

    int documents = 0; // printers handed out
    int setups = 0;    // set-up dialogs asked for

private:
    std::unique_ptr<QPrinter> printer_;
};

} // namespace korvo
