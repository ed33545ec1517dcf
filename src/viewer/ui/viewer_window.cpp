#include "viewer/ui/viewer_window.h"

#include "viewer/colour_view.h"
#include "viewer/measuring.h"
#include "viewer/ui/fit_window.h"
#include "viewer/ui/load_dialog.h"
#include "viewer/ui/surface_view.h"
#include "viewer/ui/value_table.h"
#include "viewer/ui/viewer_context.h"
#include "viewer/viewer_paint.h"
#include "viewer/workspace_project.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

namespace korvo {

// The paint box: paints through the window and hands the mouse to it.
class ViewerPlotBox final : public QWidget {
public:
    ViewerPlotBox(TForm3& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        owner_.paintPlot(p);
    }
    void mousePressEvent(QMouseEvent* e) override {
        owner_.plotPress(e->position().toPoint(), e->button(), e->modifiers());
    }
    void mouseMoveEvent(QMouseEvent* e) override { owner_.plotMove(e->position().toPoint(), e->buttons()); }
    void mouseReleaseEvent(QMouseEvent* e) override { owner_.plotRelease(e->position().toPoint(), e->button()); }

private:
    TForm3& owner_;
};

namespace {

// The client area lays out the window's parts whenever it changes size.
class ViewerClient final : public QWidget {
public:
    ViewerClient(std::function<void()> onResize, QWidget* parent) : QWidget(parent), onResize_(std::move(onResize)) {
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, Qt::white);
        setPalette(pal);
    }

protected:
    void resizeEvent(QResizeEvent*) override { onResize_(); }

private:
    std::function<void()> onResize_;
};

constexpr int kBarWidth = 17;

} // namespace

TForm3::TForm3(ViewerContext& context, QWidget* parent) : QMainWindow(parent), ctx_(context), ws_(new tvar) {
    baseCaption_ = QStringLiteral("Spectrum %1").arg(ctx_.nextWindowNumber());
    setWindowTitle(baseCaption_);
    createControls();
    createMenus();
    resize(640, 480);
}

TForm3::~TForm3() {
    if (ctx_.hasValueTable()) ctx_.valueTable().forget(ws_.get());
}

QWidget* TForm3::plotBox() const {
    return plot_;
}

RangeScope TForm3::scope() const {
    return allButton_->isChecked() ? RangeScope::AllSpectra : RangeScope::Marked;
}

void TForm3::createControls() {
    auto* client = new ViewerClient([this] { layoutControls(); }, this);
    setCentralWidget(client);
    plot_ = new ViewerPlotBox(*this, client);
    hBar_ = new QScrollBar(Qt::Horizontal, client);
    vBar_ = new QScrollBar(Qt::Vertical, client);
    // The top of the vertical bar is the high-count end, as on the plot beside it.
    vBar_->setInvertedAppearance(true);
    for (QScrollBar* bar : {hBar_, vBar_}) bar->setRange(-20, 20);
    connect(hBar_, &QScrollBar::valueChanged, this, [this](int v) { scrollBarMoved(ScrollAxis::Energy, v); });
    connect(vBar_, &QScrollBar::valueChanged, this, [this](int v) { scrollBarMoved(ScrollAxis::Counts, v); });
    allButton_ = new QRadioButton(QStringLiteral("AllSpectra"), client);
    markedButton_ = new QRadioButton(QStringLiteral("Active Spectra"), client);
    allButton_->setChecked(true);
    connect(allButton_, &QRadioButton::toggled, this, [this] { setupScrollBars(); });
    colourSelector_ = new QSpinBox(client);
    colourSelector_->setRange(kColourSelectorMin, kColourSelectorMax);
    colourSelector_->setValue(kColourSelectorMin);
    colourSelector_->hide();
    connect(colourSelector_, &QSpinBox::valueChanged, this, [this] { repaintPlot(); });
    readout_ = new QLabel(client);
    for (QLabel*& panel : panelLabels_) {
        panel = new QLabel(client);
        panel->setAutoFillBackground(true);
        QPalette pal = panel->palette();
        pal.setColor(QPalette::Window, QColor(0, 0, 128));
        pal.setColor(QPalette::WindowText, Qt::white);
        panel->setPalette(pal);
        panel->setTextFormat(Qt::PlainText);
        panel->hide();
    }
}

void TForm3::layoutControls() {
    QWidget* client = centralWidget();
    const ViewerLayout l = viewerLayout(client->width(), client->height(), kBarWidth, panels_.height());
    ws_->InfoPanelsHeight = panels_.height();
    plot_->setGeometry(0, 0, l.plotWidth, l.plotHeight);
    vBar_->setGeometry(l.plotWidth, 0, kBarWidth, l.plotHeight);
    hBar_->setGeometry(0, l.scrollBarTop, l.plotWidth, kBarWidth);
    allButton_->setGeometry(4, l.radioRowTop, 100, kInfoPanelHeight);
    markedButton_->setGeometry(108, l.radioRowTop, 120, kInfoPanelHeight);
    int readoutLeft = 232;
    if (!colourSelector_->isHidden()) {
        colourSelector_->setGeometry(232, l.radioRowTop, 52, kInfoPanelHeight);
        readoutLeft += 56;
    }
    readout_->setGeometry(readoutLeft, l.radioRowTop, std::max(client->width() - readoutLeft, 0), kInfoPanelHeight);
    const std::vector<std::string> texts = infoPanelTexts(*ws_, panels_);
    for (std::size_t i = 0; i < panelLabels_.size(); ++i) {
        QLabel* panel = panelLabels_[i];
        if (i >= texts.size()) {
            panel->hide();
            continue;
        }
        panel->setGeometry(0, l.firstPanelTop + int(i) * kInfoPanelHeight, client->width(), kInfoPanelHeight);
        panel->setText(QString::fromStdString(texts[i]));
        panel->show();
    }
    ws_->PlotWidth = l.plotWidth;
    ws_->PlotHeight = l.plotHeight;
    setupScrollBars();
}

std::vector<QString> TForm3::panelTexts() const {
    std::vector<QString> texts;
    for (const QLabel* panel : panelLabels_)
        if (!panel->isHidden()) texts.push_back(panel->text());
    return texts;
}

bool TForm3::start() {
    loadProcedure();
    return ws_->Closed == 0;
}

void TForm3::loadProcedure() {
    TForm5& dialog = ctx_.loadDialog();
    std::optional<LoadOutcome> outcome;
    const TForm5::Choice choice = dialog.run([&] {
        LoadOptions options;
        if (dialog.overviewFile()) {
            // An overview file that exists is extended, never overwritten.
            if (auto path = ctx_.dialogs.chooseSaveFile("", dialog.directory(), "", "")) options.overviewPath = *path;
        }
        options.progress = dialog.progressHook(ctx_.pump);
        outcome = loadSpectrumFiles(*ws_, ctx_.loadList, options);
    });
    if (choice == TForm5::Choice::LoadProject || ctx_.loadList.LoadProjectFlag) {
        ctx_.loadList.LoadProjectFlag = false;
        loadProjectCommand();
        return;
    }
    if (!outcome) outcome = loadSpectrumFiles(*ws_, ctx_.loadList);
    takeOutcome(*outcome);
}

void TForm3::takeOutcome(const LoadOutcome& outcome) {
    switch (outcome.status) {
    case LoadStatus::Loaded:
        resetUndo(); // the loaded data are the new base of Undo
        if (outcome.geometry) {
            // A project brings the size and place its window had.
            move(outcome.geometry->left, outcome.geometry->top);
            resize(outcome.geometry->width, outcome.geometry->height);
        }
        rebuildSpectrumMenu();
        if (measuring_) startMeasuring(*ws_);
        rangesChanged();
        refresh();
        redrawCellBitmap();
        if (!outcome.message.empty()) ctx_.dialogs.show(outcome.message);
        return;
    case LoadStatus::Failed:
        ctx_.dialogs.message("", outcome.message, DialogIcon::Warning);
        break;
    case LoadStatus::Cancelled:
    case LoadStatus::Refused:
        ctx_.dialogs.show(outcome.message);
        break;
    case LoadStatus::Nothing:
        break;
    }
    if (outcome.closeWindow) {
        // A window that was never shown is dropped by whoever made it.
        if (isVisible()) close();
        return;
    }
    refresh();
}

void TForm3::rebuildSpectrumMenu() {
    spectrumMenu_->clear();
    for (int k : shownSpectra(*ws_)) {
        QAction* a = spectrumMenu_->addAction(QString::fromStdString(ws_->spectrum(k).ShortName));
        a->setCheckable(true);
        a->setData(k);
        connect(a, &QAction::triggered, this, [this, k] { makeActive(k); });
    }
}

void TForm3::makeActive(int k) {
    if (k < 1 || k > ws_->spectrumCount()) return;
    ws_->Active = k;
    if (measuring_) startMeasuring(*ws_);
    refresh();
    redrawCellBitmap();
}

void TForm3::refresh() {
    checkBindingAxis();
    for (QAction* a : spectrumMenu_->actions()) a->setChecked(a->data().toInt() == ws_->Active);
    const std::string caption = measuring_ ? measuringCaption(*ws_, binding()) : activeCaption(*ws_);
    setWindowTitle(caption.empty() ? baseCaption_ : QString::fromStdString(caption));
    layoutControls();
    updateValueTable();
    repaintPlot();
}

void TForm3::repaintPlot() {
    fitPicture_.reset();
    plot_->update();
}

void TForm3::showFitPicture(const QImage& picture) {
    fitPicture_ = picture;
    plot_->repaint();
}

void TForm3::rangesChanged() {
    setupScrollBars();
    updateValueTable();
    repaintPlot();
}

void TForm3::setupScrollBars() {
    // The bars count in the per-pixel factors of the box as it is now.
    ViewMessages ignored;
    updateScalesForPaint(*ws_, ignored);
    settingUpBars_ = true;
    hSetup_ = setupScrollBar(*ws_, scope(), ScrollAxis::Energy);
    vSetup_ = setupScrollBar(*ws_, scope(), ScrollAxis::Counts);
    hBar_->setRange(hSetup_.min, hSetup_.max);
    hBar_->setValue(0);
    vBar_->setRange(vSetup_.min, vSetup_.max);
    vBar_->setValue(0);
    const int hPage = std::max(1, (hSetup_.max - hSetup_.min) / 10), vPage = std::max(1, (vSetup_.max - vSetup_.min) / 10);
    hBar_->setPageStep(hPage);
    vBar_->setPageStep(vPage);
    hBar_->setSingleStep(std::max(1, hPage / 10));
    vBar_->setSingleStep(std::max(1, vPage / 10));
    settingUpBars_ = false;
}

void TForm3::scrollBarMoved(ScrollAxis axis, int position) {
    if (settingUpBars_) return;
    scrollTo(*ws_, scope(), axis, axis == ScrollAxis::Energy ? hSetup_ : vSetup_, position);
    updateValueTable();
    repaintPlot();
}

void TForm3::report(const ViewMessages& messages) {
    for (const std::string& text : messages.texts) ctx_.dialogs.show(text);
}

void TForm3::paintPlot(QPainter& painter) {
    if (fitPicture_) {
        painter.drawImage(QPoint(0, 0), *fitPicture_);
        return;
    }
    ws_->PlotWidth = plot_->width();
    ws_->PlotHeight = plot_->height();
    ViewerPaintOptions options;
    options.frame.Closing = ctx_.closing();
    options.measuring = measuring_;
    if (colourView()) options.colourScale = colourSelector_->value();
    options.binding = binding_;
    options.fit = fitOverlay();
    if (ws_->ZoomDragging && zoomTo_) options.zoomRect = QRect(QPoint(ws_->ZoomStartCol, ws_->ZoomStartRow), *zoomTo_);
    ViewMessages messages;
    // Painted into an image first and shown in one piece: the curves go straight into its pixels,
    // which keeps a window of a hundred spectra quick to repaint (and the picture flicker-free).
    const qreal ratio = plot_->devicePixelRatioF();
    const QSize pixels = plot_->size() * ratio;
    if (picture_.size() != pixels) picture_ = QImage(pixels, QImage::Format_RGB32);
    picture_.setDevicePixelRatio(ratio);
    {
        QPainter p(&picture_);
        paintViewer(p, *ws_, options, messages);
    }
    painter.drawImage(QPoint(0, 0), picture_);
    // A box per paint would come back with every repaint; each finding is told once, until the
    // picture is sound again.
    if (messages.texts != paintReported_) {
        paintReported_ = messages.texts;
        if (!messages.empty()) QTimer::singleShot(0, this, [this, messages] { report(messages); });
    }
}

void TForm3::plotPress(QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    if (ws_->ShownCount <= 0) return;
    if (fitWindow_ && fitWindow_->picking() && button == Qt::LeftButton && ws_->Active >= 1) {
        fitWindow_->addComponentAt(ws_->xAtColumn(ws_->Active, at.x()));
        return;
    }
    if (measuring_) {
        if (modifiers & Qt::ShiftModifier) {
            UndoHistory::Before before = UndoHistory::capture(*ws_);
            if (removeSpike(*ws_, at.x())) {
                recordStep(std::move(before));
                updateValueTable();
                repaintPlot();
            }
            return;
        }
        if (button != Qt::LeftButton && button != Qt::RightButton) return;
        ws_->SelDragging = 1;
        ws_->SelDragWhich = button == Qt::LeftButton ? 1 : 0;
        moveMark(*ws_, ws_->SelDragWhich ? MeasureMark::Start : MeasureMark::End, at.x());
        refresh();
        return;
    }
    if (button == Qt::LeftButton) {
        ws_->ZoomDragging = 1;
        ws_->ZoomStartCol = at.x();
        ws_->ZoomStartRow = at.y();
        zoomTo_ = at;
        repaintPlot();
    }
}

void TForm3::plotMove(QPoint at, Qt::MouseButtons) {
    readout_->setText(QString::fromStdString(cursorReadout(*ws_, at.x(), at.y(), binding())));
    if (measuring_ && ws_->SelDragging) {
        if (moveMark(*ws_, ws_->SelDragWhich ? MeasureMark::Start : MeasureMark::End, at.x())) {
            setWindowTitle(QString::fromStdString(measuringCaption(*ws_, binding())));
            repaintPlot();
        }
        return;
    }
    if (ws_->ZoomDragging) {
        zoomTo_ = at;
        repaintPlot();
    }
}

void TForm3::plotRelease(QPoint at, Qt::MouseButton button) {
    if (measuring_) {
        ws_->SelDragging = 0;
        return;
    }
    if (button == Qt::LeftButton && ws_->ZoomDragging) {
        ws_->ZoomDragging = 0;
        zoomTo_.reset();
        ViewMessages messages;
        if (zoomIn(*ws_, scope(), ws_->ZoomStartCol, ws_->ZoomStartRow, at.x(), at.y(), messages)) {
            report(messages);
            rangesChanged();
        } else {
            repaintPlot();
        }
        return;
    }
    if (button == Qt::RightButton && ws_->ShownCount > 0) {
        ViewMessages messages;
        zoomOut(*ws_, scope(), messages);
        report(messages);
        rangesChanged();
    }
}

void TForm3::updateValueTable() {
    if (!ctx_.hasValueTable()) return;
    TForm12& table = ctx_.valueTable();
    if (table.workspace() == ws_.get()) table.showWorkspace(*ws_);
}

void TForm3::showValueTable() {
    TForm12& table = ctx_.valueTable();
    table.showWorkspace(*ws_);
    table.show();
    table.raise();
}

void TForm3::closeEvent(QCloseEvent* e) {
    // An empty window that nothing is waiting to be loaded into has nothing to lose.
    if (ws_->spectrumCount() == 0 && ctx_.loadList.LoadCount() == 0) {
        e->accept();
        return;
    }
    if (ctx_.dialogs.ask("Korvo 98", "Close Worksheet and loose unsaved data ?", DialogIcon::Warning,
                         DialogButtons::OkCancel) != DialogAnswer::Ok) {
        e->ignore();
        return;
    }
    // A fit under way ends here: its thread is joined before the data go.
    if (fitWindow_) fitWindow_->close();
    if (surface3d_) surface3d_->switchOff();
    if (measuring_) setMeasuring(false);
    ws_->release();
    resetUndo();
    if (ctx_.hasValueTable()) ctx_.valueTable().forget(ws_.get());
    e->accept();
}

void TForm3::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
}

void TForm3::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) {
        if (ctx_.hasValueTable() && ctx_.valueTable().isVisible()) ctx_.valueTable().showWorkspace(*ws_);
        return;
    }
    // Zooms, scrolls and commands leave the print cell picture alone; whatever takes the focus next
    // (the main window's "Print - Preview", the preview itself) finds the plot as it is now.
    if (ws_->Closed == 0) redrawCellBitmap();
}

void TForm3::growBy(int pixels) {
    if (isMaximized() || isFullScreen()) {
        layoutControls();
        return;
    }
    resize(width(), height() + pixels);
    layoutControls();
}

} // namespace korvo
