// Controls of the measurement panel, their placement on resize, and the machine modes.
#include "app/main_window.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>

namespace korvo {

namespace {

constexpr int kColumnWidth = 150; // the right-hand column of boxes
constexpr int kStatusHeight = 20;
constexpr int kChannelListTop = 440; // the last box of the column
constexpr int kMinChannelListHeight = 40;
constexpr int kFileFieldShortfall = 460; // the file-name field is the window width less this
constexpr int kMinFileFieldChars = 20;
constexpr int kRampRowTop[2] = {40, 180};
constexpr int kReadoutTop[2] = {188, 40};

struct ModeLook {
    const char* title;
    const char* settingsCaption;
    std::uint32_t settingsColour; // BGR
    const char* axisCaption;
};

ModeLook lookOf(std::uint8_t mode) {
    switch (mode) {
    case ModeCfs:
        return {"Korvo '02   -  CLAM - Constant Final State", "Settings CLAM4 CFS", 11402423,
                "- - -  Photon Energy  (eV) - - - >"};
    case ModeCis:
        return {"Korvo '02   -  CLAM - Constant Initial State", "Settings CLAM4 CIS", 10658012,
                "- - -  Photon Energy  (eV) - - - >"};
    case ModeKeithley:
        return {"Korvo '02   -  Keithley", "Settings Keithley", 0xFF9F95,
                "- - -  Photon Energy  (eV) - - - >"};
    default:
        return {"Korvo '02   -  CLAM", "Settings CLAM4", 9681117, "- - -  Kinetic Energy  (eV) - - - >"};
    }
}

void setBackground(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QLineEdit* rowEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaxLength(64); // a parameter never needs more; keeps pasted garbage out
    return e;
}

} // namespace

void TForm1::createPanel() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    panel_ = new QWidget(central);
    createPlotArea();
    createSettingsBox();
    createKindAndInfoBoxes();
    createRunBox();
    createSideLabels();
    createSampleBox();
    for (QWidget* w :
         std::initializer_list<QWidget*>{settingsBox_, runBox_, sampleBox_, infoBox_, plotBox_, scriptLabel_})
        w->installEventFilter(this);
    for (QWidget* w : std::initializer_list<QWidget*>{settingsBox_, kindBox_, infoBox_, runBox_, sampleBox_})
        w->setAutoFillBackground(true);

    // Names by which the script and history windows, and tests, find the controls.
    startLabel_->setObjectName(QStringLiteral("startLabel"));
    passCombo_->setObjectName(QStringLiteral("passEnergy"));
    energyLabel_->setObjectName(QStringLiteral("energyReadout"));
    infoBox_->setObjectName(QStringLiteral("infoBox"));
    channelList_->setObjectName(QStringLiteral("channelList"));
    axisCaption_->setObjectName(QStringLiteral("axisCaption"));
    rampButton_->setObjectName(QStringLiteral("rampButton"));
    pointsButton_->setObjectName(QStringLiteral("pointsButton"));
    sampleEdit_->setObjectName(QStringLiteral("sample"));
    commentEdit_->setObjectName(QStringLiteral("comment"));
    fileEdit_->setObjectName(QStringLiteral("fileName"));

    applyModeLayout(ModeClam); // the window design shows the CLAM layout
}

void TForm1::createPlotArea() {
    measurementsLabel_ = new QLabel(panel_);
    measurementsLabel_->setGeometry(8, 4, 480, 18);

    plotBox_ = new QFrame(panel_);
    plotBox_->setFrameShape(QFrame::Box);
    plotBox_->setGeometry(8, 25, 481, 400);
    setBackground(plotBox_, Qt::white);
    multiPlotBox_ = new QFrame(panel_);
    multiPlotBox_->setFrameShape(QFrame::Box);
    multiPlotBox_->setGeometry(8, 25, 481, 400);
    setBackground(multiPlotBox_, Qt::white);

    oben_ = new QScrollBar(Qt::Vertical, panel_);
    autoScale_ = new QCheckBox(panel_);
    autoScale_->setToolTip(QStringLiteral("Autoscale"));
}

void TForm1::createSettingsBox() {
    settingsBox_ = new QGroupBox(QStringLiteral("Settings CLAM4"), panel_);
    startLabel_ = new QLabel(QStringLiteral("Start Energy (eV)"), settingsBox_);
    startEdit_ = rowEdit(settingsBox_, "start");
    rampButton_ = new QPushButton(QStringLiteral("Ramp (eV)"), settingsBox_);
    secondEdit_ = rowEdit(settingsBox_, "second");
    pointsButton_ = new QPushButton(QStringLiteral("Points/Scan"), settingsBox_);
    thirdEdit_ = rowEdit(settingsBox_, "third");
    scansLabel_ = new QLabel(QStringLiteral("Scans"), settingsBox_);
    scansEdit_ = rowEdit(settingsBox_, "scans");
    passLabel_ = new QLabel(QStringLiteral("Pass Energy (eV)"), settingsBox_);
    passCombo_ = new QComboBox(settingsBox_);
    passCombo_->setEditable(true);
    passCombo_->lineEdit()->setMaxLength(64);
    for (const char* item : kPassEnergyItems) passCombo_->addItem(QString::fromLatin1(item));
    passCombo_->setCurrentIndex(-1);
    timeLabel_ = new QLabel(QStringLiteral("Time/Point (ms)"), settingsBox_);
    timeEdit_ = rowEdit(settingsBox_, "timePerPoint");
    photonButton_ = new QPushButton(QStringLiteral("Set Pho. Energy"), settingsBox_);
    photonEdit_ = rowEdit(settingsBox_, "photon");
    energyLabel_ = new QLabel(QStringLiteral("Energy (eV) : "), settingsBox_);

    struct Row {
        QWidget* caption;
        QWidget* field;
        int top;
    };
    for (const Row& r : {Row{startLabel_, startEdit_, 16}, Row{rampButton_, secondEdit_, 40},
                         Row{pointsButton_, thirdEdit_, 64}, Row{scansLabel_, scansEdit_, 88},
                         Row{passLabel_, passCombo_, 112}, Row{timeLabel_, timeEdit_, 136},
                         Row{photonButton_, photonEdit_, 160}}) {
        r.caption->setGeometry(3, r.top, 88, 20);
        r.field->setGeometry(92, r.top, 54, 20);
    }
    energyLabel_->setGeometry(6, 188, 140, 16);
    // The column is 150 px wide, as it always was; its captions need the small font of old.
    for (QWidget* w : std::initializer_list<QWidget*>{startLabel_, scansLabel_, passLabel_, timeLabel_,
                                                      rampButton_, pointsButton_, photonButton_})
        w->setFont(smallFont(w->font()));
}

void TForm1::createKindAndInfoBoxes() {
    kindBox_ = new QGroupBox(QStringLiteral("Kind of Measurement"), panel_);
    kindGroup_ = new QButtonGroup(kindBox_);
    kindGroup_->setExclusive(true);

    infoBox_ = new QGroupBox(QStringLiteral("Info"), panel_);
    extraPointsLabel_ = new QLabel(QStringLiteral("0 Extra Points"), infoBox_);
    extraPointsLabel_->setGeometry(6, 16, 140, 14);
    rangeLabel_ = new QLabel(infoBox_);
    rangeLabel_->setGeometry(6, 30, 140, 14);
}

void TForm1::createRunBox() {
    runBox_ = new QGroupBox(panel_);
    startButton_ = new QPushButton(QStringLiteral("Start"), runBox_);
    continueButton_ = new QPushButton(QStringLiteral("Wait"), runBox_);
    skipButton_ = new QPushButton(QStringLiteral("Skip Scan"), runBox_);
    lastScanButton_ = new QPushButton(QStringLiteral("Last Scan"), runBox_);
    saveButton_ = new QPushButton(QStringLiteral("Save"), runBox_);
    gateEdit_ = rowEdit(runBox_, "gateUnits");
    gateEdit_->setToolTip(QStringLiteral("Gate units (10 ms)"));
    startButton_->setGeometry(6, 8, 138, 26);
    continueButton_->setGeometry(6, 36, 68, 22);
    skipButton_->setGeometry(76, 36, 68, 22);
    lastScanButton_->setGeometry(6, 60, 68, 22);
    saveButton_->setGeometry(76, 60, 44, 22);
    gateEdit_->setGeometry(122, 61, 22, 20);
    for (QPushButton* b : {continueButton_, skipButton_, lastScanButton_, saveButton_}) b->setEnabled(false);
    // The run enables and disables the button; "&Save Measurements" follows it (eventFilter).
    saveButton_->installEventFilter(this);
    zufallButton_ = new QPushButton(QStringLiteral("Zufall"), infoBox_);
    zufallButton_->setGeometry(96, 12, 50, 18);
    zufallButton_->hide();
}

// The channel list, the script-mode panel and the axis caption with its monitor and ring-current
// labels.
void TForm1::createSideLabels() {
    channelCaption_ = new QLabel(QStringLiteral("Energy Positions"), panel_);
    channelList_ = new QListWidget(panel_);
    channelList_->setToolTip(QStringLiteral("Energy Positions"));
    channelList_->installEventFilter(this);

    scriptLabel_ = new QLabel(panel_);
    scriptLabel_->setAlignment(Qt::AlignCenter);
    scriptLabel_->setStyleSheet(QStringLiteral("background: red; color: yellow; font-weight: bold;"));
    scriptLabel_->hide();

    axisCaption_ = new QLabel(panel_);
    axisCaption_->setAlignment(Qt::AlignCenter);
    axisCaption_->setFrameShape(QFrame::Panel);
    monitorLabel_ = new QLabel(axisCaption_);
    monitorLabel_->setStyleSheet(QStringLiteral("color: red;"));
    monitorLabel_->setGeometry(2, 1, 90, 14);
    ringLabel_ = new QLabel(axisCaption_);
    ringLabel_->hide(); // shown only while the ring current is polled
}

void TForm1::createSampleBox() {
    sampleBox_ = new QGroupBox(panel_);
    auto* sampleCaption = new QLabel(QStringLiteral("Sample"), sampleBox_);
    auto* commentCaption = new QLabel(QStringLiteral("Comment"), sampleBox_);
    auto* fileCaption = new QLabel(QStringLiteral("File name"), sampleBox_);
    sampleEdit_ = new QLineEdit(sampleBox_);
    commentEdit_ = new QLineEdit(sampleBox_);
    fileEdit_ = new QLineEdit(sampleBox_);
    for (QLineEdit* e : {sampleEdit_, commentEdit_, fileEdit_}) e->setMaxLength(255);
    sampleCaption->setGeometry(8, 6, 70, 20);
    commentCaption->setGeometry(8, 29, 70, 20);
    fileCaption->setGeometry(8, 52, 70, 20);
    bigSpots_ = new QCheckBox(QStringLiteral("Big Spots"), sampleBox_);
    progressLabel_ = new QLabel(sampleBox_);
}

void TForm1::createStatusBar() {
    // Part of the central area (not QMainWindow's own bar) so that the panel can leave it its 20 px.
    status_ = new QStatusBar(centralWidget());
    status_->setSizeGripEnabled(false);
    status_->setFont(smallFont(status_->font()));
    const char* captions[4] = {"Status", " Monochromator: ", "Main Motor: ", ""};
    const int widths[4] = {150, 100, 75, 50};
    for (int i = 0; i < 4; ++i) {
        auto* l = new QLabel(QString::fromLatin1(captions[i]), status_);
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setFixedWidth(widths[i]);
        l->setTextFormat(Qt::PlainText); // instrument replies land here
        status_->addWidget(l);
        statusLabels_[i] = l;
    }
}

void TForm1::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    applyResize();
}

void TForm1::applyResize() {
    if (!centralWidget()) return;
    const int W = centralWidget()->width();
    const int H = centralWidget()->height();
    status_->setGeometry(0, H - kStatusHeight, W, kStatusHeight);
    panel_->setGeometry(0, 0, W, H - kStatusHeight);
    const int pw = panel_->width(), ph = panel_->height();
    const int plotW = pw - 180, plotH = ph - 115;
    plotBox_->resize(plotW, plotH);
    multiPlotBox_->resize(plotW, plotH);
    measurementsLabel_->resize(plotW, 18);
    oben_->setGeometry(W - 184, 30, 14, plotH - 53);
    autoScale_->setGeometry(W - 185, plotH - 21, 18, 18);
    autoScale_->raise();

    const int col = W - 160;
    settingsBox_->setGeometry(col, 0, kColumnWidth, 210);
    kindBox_->setGeometry(col, 212, kColumnWidth, 72);
    infoBox_->setGeometry(col, 286, kColumnWidth, 48);
    runBox_->setGeometry(col, 336, kColumnWidth, 88);
    channelCaption_->setGeometry(col, kChannelListTop - 14, kColumnWidth, 14);
    channelList_->setGeometry(col, kChannelListTop, kColumnWidth,
                              std::max(kMinChannelListHeight, ph - kChannelListTop - 4));
    scriptLabel_->setGeometry(W - 105, 336, 95, 40);

    axisCaption_->setGeometry(8, plotH + 20, plotW, 16);
    ringLabel_->setGeometry(axisCaption_->width() - 60, 1, 58, 14);

    sampleBox_->setGeometry(8, ph - 80, W - 180, 78);
    sampleEdit_->setGeometry(80, 6, W - 268, 20);
    commentEdit_->setGeometry(80, 29, W - 268, 20);
    fileEdit_->setGeometry(80, 52, W - kFileFieldShortfall, 20);
    progressLabel_->move(W - 375, 53);
    bigSpots_->setGeometry(W - 265, 52, 80, 20);
}

QSize TForm1::measurementMinimumSize() const {
    // The column's boxes stand at fixed tops; the channel list below them needs its least height and
    // the status bar its strip. The width keeps a file name readable: the other widths grow with it.
    const int fileField = kMinFileFieldChars * fileEdit_->fontMetrics().averageCharWidth() + 8;
    return {kFileFieldShortfall + fileField, kChannelListTop + kMinChannelListHeight + 4 + kStatusHeight};
}

void TForm1::paintField(QLineEdit* edit, const QColor& colour) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, colour);
    edit->setPalette(p);
}

void TForm1::paintParameterFields() {
    const QColor window = palette().color(QPalette::Base);
    for (QLineEdit* e : {startEdit_, secondEdit_, thirdEdit_}) paintField(e, window);
}

void TForm1::modeSwitchSteps(std::uint8_t mode) {
    paintParameterFields();
    setWindowTitle(QString::fromLatin1(lookOf(mode).title));
    for (int i = 0; i < 4; ++i) modeActions_[i]->setChecked(ModeClam + i == mode);
    station_.engine.endContinuation();
    readSettings("CLAM", false);
    state_.MachineMode = mode;
    rebuildKindItems();
    emit machineModeChanged(mode);
}

void TForm1::rebuildKindItems() {
    for (QAbstractButton* b : kindGroup_->buttons()) {
        kindGroup_->removeButton(b);
        delete b;
    }
    zufallButton_->setVisible(ctx_.options.enableTests);
    QStringList items{QStringLiteral("c(t)")};
    if (state_.MachineMode == ModeKeithley)
        items << QStringLiteral("KEI");
    else {
        items << QStringLiteral("CAE");
        if (ctx_.options.enableTests) items << QStringLiteral("CRR");
    }
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], kindBox_);
        b->setGeometry(8, 16 + 18 * i, 130, 18);
        b->show();
        kindGroup_->addButton(b, i);
    }
    selectKind();
}

void TForm1::selectKind() {
    // A stored kind this mode does not offer ("CRR" without the tests, anything past "KEI") becomes
    // the last one offered: the run must never measure a kind the window does not show as chosen.
    const int count = int(kindGroup_->buttons().size());
    if (count == 0) return;
    fields_.kindOfMeasure = std::clamp(fields_.kindOfMeasure, 0, count - 1);
    QSignalBlocker block(kindGroup_);
    kindGroup_->button(fields_.kindOfMeasure)->setChecked(true);
}

QStringList TForm1::kindItems() const {
    QStringList out;
    for (QAbstractButton* b : kindGroup_->buttons()) out << b->text();
    return out;
}

void TForm1::applyModeLayout(std::uint8_t mode) {
    const ModeLook look = lookOf(mode);
    settingsBox_->setTitle(QString::fromLatin1(look.settingsCaption));
    setBackground(settingsBox_, fromBgr(look.settingsColour));
    axisCaption_->setText(QString::fromLatin1(look.axisCaption));

    const int v = mode == ModeClam ? 0 : 1;
    rampButton_->move(rampButton_->x(), kRampRowTop[v]);
    secondEdit_->move(secondEdit_->x(), kRampRowTop[v]);
    energyLabel_->move(energyLabel_->x(), kReadoutTop[v]);

    const bool analyser = mode != ModeKeithley;
    startLabel_->setVisible(analyser);
    startEdit_->setVisible(analyser);
    passLabel_->setVisible(analyser);
    passCombo_->setVisible(analyser);
    timeLabel_->setVisible(analyser);
    timeEdit_->setVisible(analyser);
    energyLabel_->setVisible(analyser);
    infoBox_->setVisible(analyser);
    channelList_->setVisible(analyser);
    channelCaption_->setVisible(analyser);
    extraPointsLabel_->setVisible(mode == ModeClam);
    startLabel_->setText(mode == ModeCfs ? QStringLiteral("Fixed Energy (eV)")
                                         : QStringLiteral("Start Energy (eV)"));
    if (!analyser) ctx_.channels.view = false;
    if (mode == ModeClam) setChannelItems(settings_.channelListItems());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == saveButton_) {
        if (event->type() == QEvent::EnabledChange) saveAction_->setEnabled(saveButton_->isEnabled());
        return QMainWindow::eventFilter(watched, event);
    }
    if (watched == channelList_ && event->type() == QEvent::FocusIn)
        channelCaption_->setText(QStringLiteral("Energy Positions"));
    if (event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton && (me->modifiers() & Qt::ControlModifier)) {
            auto* box = qobject_cast<QWidget*>(watched);
            if (box && chooseColour) {
                if (auto c = chooseColour(box->palette().color(QPalette::Window))) {
                    if (box == scriptLabel_) {
                        scriptLabel_->setStyleSheet(
                            QStringLiteral("background: %1; color: yellow; font-weight: bold;")
                                .arg(c->name()));
                        setBackground(kindBox_, *c);
                    } else {
                        setBackground(box, *c);
                    }
                }
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace korvo
