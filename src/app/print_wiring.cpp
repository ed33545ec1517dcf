#include "app/print_wiring.h"

#include "app/main_window.h"
#include "viewer/print_settings.h"
#include "viewer/ui/batch_print_window.h"
#include "viewer/ui/print_preview_window.h"
#include "viewer/ui/printer_choice.h"
#include "viewer/ui/viewer_context.h"

#include <QAction>
#include <QActionGroup>
#include <QPrinter>

namespace korvo {

void applyPrintScheme(PrintSettings& settings, PrinterChoice& printers, const char* caption) {
    const auto scheme = print::schemeByCaption(caption);
    if (!scheme) return;
    QPrinter& printer = printers.printer();
    printer.setPageOrientation(print::schemeInfo(*scheme).landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    settings.chooseScheme(*scheme, {page.width(), page.height()});
}

void connectPrinting(TForm1& window, ViewerContext& viewers, TForm17& batch) {
    PrintSettings& settings = *viewers.print;
    PrinterChoice& printers = *viewers.printers;
    auto scheme = [&settings, &printers, &viewers](QAction* a) {
        applyPrintScheme(settings, printers, a->text().toLatin1().constData());
        viewers.printPreview().applyScheme();
    };
    QObject::connect(window.printSchemeGroup(), &QActionGroup::triggered, &window, scheme);
    if (QAction* checked = window.printSchemeGroup()->checkedAction()) scheme(checked);
    QAction* incLine = window.incLineTypeAction();
    settings.incLineType = incLine->isChecked();
    QObject::connect(incLine, &QAction::toggled, &window, [&settings](bool on) { settings.incLineType = on; });
    window.registerWindow(TForm1::WindowCommand::PrintPreview, [&viewers] {
        Tform6& preview = viewers.printPreview();
        preview.show();
        preview.raise();
    });
    window.registerWindow(TForm1::WindowCommand::PrinterSetup, [&window, &printers] { printers.setup(&window); });
    window.registerWindow(TForm1::WindowCommand::QuickPrint, [&window, &batch] {
        batch.setDirectory(window.saveDir());
        batch.show();
        batch.raise();
    });
}

} // namespace korvo
