#include "viewer/ui/print_preview_window.h"

#include "common/dialogs.h"
#include "viewer/print_settings.h"
#include "viewer/ui/print_dialogs.h"
#include "viewer/ui/printer_choice.h"

#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>

namespace korvo {

namespace {

class PreviewPicture final : public QWidget {
public:
    PreviewPicture(Tform6& window, QWidget* parent) : QWidget(parent), window_(window) {
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        window_.paintPicture(p);
    }
    void mouseMoveEvent(QMouseEvent* e) override { window_.pictureMove(e->position().toPoint()); }
    void mousePressEvent(QMouseEvent* e) override { window_.picturePress(e->position().toPoint(), e->button()); }

private:
    Tform6& window_;
};

} // namespace

Tform6::Tform6(PrintSettings& settings, PrinterChoice& printers, Dialogs& dialogs, TForm4& sizeDialog,
               QWidget* parent)
    : QMainWindow(parent), settings_(settings), printers_(printers), dialogs_(dialogs), sizeDialog_(sizeDialog) {
    setWindowTitle(QStringLiteral("Print - Preview"));
    print_ = menuBar()->addAction(QStringLiteral("Print"));
    printSize_ = menuBar()->addAction(QStringLiteral("PrintSize"));
    connect(print_, &QAction::triggered, this, &Tform6::printCommand);
    connect(printSize_, &QAction::triggered, this, [this] { sizeDialog_.exec(); });
    auto* client = new QWidget(this);
    setCentralWidget(client);
    picture_ = new PreviewPicture(*this, client);
    applyScheme();
}

void Tform6::applyScheme() {
    const print::SchemeInfo& s = print::schemeInfo(settings_.scheme());
    setFixedSize(s.windowWidth, s.windowHeight + menuBar()->sizeHint().height());
    picture_->setGeometry((s.windowWidth - s.pictureWidth) / 2, 10, s.pictureWidth, s.pictureHeight);
    outlined_.reset();
    picture_->update();
}

void Tform6::showEvent(QShowEvent* e) {
    applyScheme();
    QMainWindow::showEvent(e);
}

void Tform6::paintPicture(QPainter& p) {
    const QRect r(0, 0, picture_->width(), picture_->height());
    // Shrunk by averaging: a plain stretch of a monochrome page drops most of its thin lines.
    p.drawImage(r.topLeft(), settings_.pageBitmap()
                                 .convertToFormat(QImage::Format_Grayscale8)
                                 .scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    if (!outlined_) return;
    // The outline inverts what lies under it, so it shows on black and on white alike.
    const int cw = r.width() / settings_.SchemeColumns, ch = r.height() / settings_.SchemeRows;
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(cw * (outlined_->column - 1) + 1, ch * (outlined_->row - 1) + 1, cw - 2, ch - 2));
}

void Tform6::pictureMove(QPoint at) {
    const auto cell = print::previewCellAt({picture_->width(), picture_->height()}, settings_.SchemeColumns,
                                           settings_.SchemeRows, at.x(), at.y());
    std::optional<Cell> now;
    if (cell) now = Cell{cell->column, cell->row};
    if (now == outlined_) return;
    outlined_ = now;
    picture_->update();
}

void Tform6::picturePress(QPoint at, Qt::MouseButton button) {
    pictureMove(at);
    if (!outlined_) return;
    if (button == Qt::LeftButton)
        settings_.fillPreviewCell(outlined_->column, outlined_->row);
    else if (button == Qt::RightButton)
        settings_.clearPreviewCell(outlined_->column, outlined_->row);
    else
        return;
    picture_->update();
}

void Tform6::printCommand() {
    QPrinter* printer = printers_.printerFor(this);
    if (!printer) return;
    std::string error;
    if (!settings_.printPage(*printer, error)) dialogs_.error("", error);
}

} // namespace korvo
