// The viewer window's "&Print" menu and "S&ettings": the prints go through the program's print
// settings and printer choice, which every viewer shares (ViewerContext).
#include "viewer/print_cells.h"
#include "viewer/print_settings.h"
#include "viewer/ui/print_dialogs.h"
#include "viewer/ui/print_preview_window.h"
#include "viewer/ui/printer_choice.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/ui/viewer_window.h"

#include <QMenu>
#include <QMenuBar>
#include <QPrinter>

namespace korvo {

void TForm3::createPrintMenu(QMenuBar* bar) {
    QMenu* print = bar->addMenu(QStringLiteral("&Print"));
    connect(print->addAction(QStringLiteral("&Single")), &QAction::triggered, this, &TForm3::printSingleCommand);
    QMenu* multi = print->addMenu(QStringLiteral("&Multi"));
    connect(multi->addAction(QStringLiteral("&Handselect")), &QAction::triggered, this,
            &TForm3::printHandselectCommand);
    connect(multi->addAction(QStringLiteral("&Autoselect")), &QAction::triggered, this,
            &TForm3::printAutoselectCommand);
    connect(print->addAction(QStringLiteral("printer control")), &QAction::triggered, this,
            &TForm3::printerControlCommand);
    // A program run without print settings (some tests) has no printing.
    print->menuAction()->setEnabled(ctx_.hasPrinting());
}

void TForm3::createPrintSettingsItem(QMenuBar* bar) {
    QAction* settings = bar->addAction(QStringLiteral("S&ettings"));
    settings->setEnabled(ctx_.hasPrinting());
    connect(settings, &QAction::triggered, this, &TForm3::printSettingsCommand);
}

void TForm3::printSingleCommand() {
    if (!ctx_.hasPrinting() || ctx_.closing() || ws_->ShownCount == 0) return;
    QPrinter* printer = ctx_.printers->printerFor(this);
    if (!printer) return;
    print::ViewerPrintSettings settings = ctx_.print->viewerPrint();
    settings.style.frame.Closing = ctx_.closing();
    settings.binding = binding_;
    settings.fit = fitOverlay();
    std::string error;
    if (!print::printSingle(*printer, *ws_, scope() == RangeScope::AllSpectra, settings, error))
        ctx_.dialogs.error("", error);
}

void TForm3::printAutoselectCommand() {
    if (!ctx_.hasPrinting() || ctx_.closing()) return;
    TForm9 dialog(this);
    dialog.fill(*ws_);
    const bool accepted = answerPrintSelection ? (answerPrintSelection(dialog), dialog.result() == QDialog::Accepted)
                                               : dialog.exec() == QDialog::Accepted;
    const std::vector<int> positions = dialog.selectedPositions();
    if (!accepted || positions.empty()) return;
    QPrinter* printer = ctx_.printers->printerFor(this);
    if (!printer) return;
    print::ViewerPrintSettings settings = ctx_.print->viewerPrint();
    settings.binding = binding_;
    settings.fit = fitOverlay();
    std::string error;
    if (!print::printCells(*printer, *ws_, positions, settings, error))
        ctx_.dialogs.error("", error);
}

void TForm3::printHandselectCommand() {
    if (!ctx_.hasPrinting()) return;
    Tform6& preview = ctx_.printPreview();
    preview.show();
    preview.raise();
}

void TForm3::printerControlCommand() {
    if (ctx_.hasPrinting()) ctx_.printers->setup(this);
}

void TForm3::printSettingsCommand() {
    if (ctx_.hasPrinting()) ctx_.printSizeDialog().exec();
}

void TForm3::redrawCellBitmap() {
    if (!ctx_.hasPrinting() || ctx_.closing()) return;
    ctx_.print->drawCellBitmap(*ws_, ws_->Active, scope() == RangeScope::AllSpectra, binding(), fitOverlay());
}

} // namespace korvo
