// The main window's print items joined to the program's print settings, preview and batch window.
#include "app/print_wiring.h"
#include "app_test_support.h"
#include "viewer/print_settings.h"
#include "viewer/ui/batch_print_window.h"
#include "viewer/ui/print_preview_window.h"
#include "viewer/ui/printer_choice.h"
#include "viewer/ui/viewer_context.h"

#include <gtest/gtest.h>

#include <QActionGroup>
#include <QPrinter>

namespace korvo {
namespace {

using testing::findAction;

TEST(PrintWiring, SchemesLineTypeAndTheWindowsBehindTheMenuItems) {
    testing::WindowRig rig;
    TForm1& w = *rig.window;
    PrintSettings settings;
    PdfPrinterChoice printers(QString::fromStdString(rig.dir.filePath("p.pdf").toStdString()));
    ViewerContext viewers(rig.dialogs, rig.pump);
    viewers.print = &settings;
    viewers.printers = &printers;
    TForm17 batch(settings, printers, rig.dialogs);
    connectPrinting(w, viewers, batch);
    const auto all = w.menuBar()->actions();

    // "4 X 2" at start: 2 x 4 cells on a portrait page.
    EXPECT_EQ(settings.scheme(), print::Scheme::FourByTwo);
    EXPECT_LT(settings.pageBitmap().width(), settings.pageBitmap().height());
    findAction(all, QStringLiteral("1 X 1 (vert)"))->trigger();
    EXPECT_EQ(settings.scheme(), print::Scheme::OneByOne);
    EXPECT_EQ(settings.SchemeColumns, 1);
    EXPECT_EQ(printers.printer().pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_GT(settings.pageBitmap().width(), settings.pageBitmap().height());
    EXPECT_EQ(viewers.printPreview().picture()->size(), QSize(250, 150));
    findAction(all, QStringLiteral("3 X 2"))->trigger();
    EXPECT_EQ(settings.SchemeRows, 3);
    EXPECT_EQ(printers.printer().pageLayout().orientation(), QPageLayout::Portrait);

    findAction(all, QStringLiteral("&Inc line-type"))->trigger();
    EXPECT_TRUE(settings.incLineType);

    QAction* setup = findAction(all, QStringLiteral("Printer S&etup"));
    ASSERT_TRUE(setup->isEnabled());
    setup->trigger();
    EXPECT_EQ(printers.setups, 1);
    findAction(all, QStringLiteral("&Quick Print  (Print16)"))->trigger();
    EXPECT_TRUE(batch.isVisible());
    EXPECT_EQ(batch.directory(), w.saveDir());
    findAction(all, QStringLiteral("Print - &Preview"))->trigger();
    EXPECT_TRUE(viewers.printPreview().isVisible());
}

} // namespace
} // namespace korvo
