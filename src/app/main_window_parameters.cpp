// The parameter controls of the main window: copying them to and from the fields, and handing the
// toggles, the pass-energy change, the channel list and the settings file to the settings model.
#include "app/main_window.h"

#include "acquisition/photon_command.h"
#include "common/number_text.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace korvo {

namespace {
std::string textOf(const QLineEdit* e) {
    return e->text().toStdString();
}
void setText(QLineEdit* e, const std::string& s) {
    QSignalBlocker block(e);
    e->setText(QString::fromStdString(s));
}
} // namespace

void TForm1::connectParameters() {
    connect(rampButton_, &QPushButton::clicked, this, &TForm1::RampButtonClick);
    connect(pointsButton_, &QPushButton::clicked, this, &TForm1::PointsButtonClick);
    connect(passCombo_, &QComboBox::activated, this, [this] {
        lastPassEnergyText_.clear(); // choosing an item always recomputes, even the same one
        PassEnergie_ComboBoxChange();
    });
    connect(passCombo_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (passCombo_->currentText() != lastPassEnergyText_) PassEnergie_ComboBoxChange();
    });
    connect(kindGroup_, &QButtonGroup::idClicked, this, [this] { KindOfMeasureClick(); });
    connect(channelList_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ChannelListClick(channelList_->row(item)); });
    connect(photonButton_, &QPushButton::clicked, this, &TForm1::SetPhoEnergyClick);
    connect(startButton_, &QPushButton::clicked, this, &TForm1::Start_buttonClick);
    connect(continueButton_, &QPushButton::clicked, this, &TForm1::continueClicked);
    connect(skipButton_, &QPushButton::clicked, this, &TForm1::skipScanClicked);
    connect(lastScanButton_, &QPushButton::clicked, this, &TForm1::lastScanClicked);
    connect(saveButton_, &QPushButton::clicked, this, &TForm1::saveMeasurementRequested);
}

void TForm1::controlsToFields() {
    fields_.start = textOf(startEdit_);
    fields_.second = textOf(secondEdit_);
    fields_.third = textOf(thirdEdit_);
    fields_.scans = textOf(scansEdit_);
    fields_.timePerPoint = textOf(timeEdit_);
    fields_.photon = textOf(photonEdit_);
    fields_.gateUnits = textOf(gateEdit_);
    fields_.sample = textOf(sampleEdit_);
    fields_.comment = textOf(commentEdit_);
    fields_.fileName = textOf(fileEdit_);
    const QString pass = passCombo_->currentText();
    fields_.passEnergyText = pass.toStdString();
    int index = passCombo_->currentIndex();
    // Typing into the list leaves its old index behind; the text is what counts.
    if (index < 0 || passCombo_->itemText(index) != pass)
        index = pass.isEmpty() ? -1 : passEnergyIndexOf(fields_.passEnergyText);
    fields_.passEnergyIndex = index;
    fields_.rampView = rampButton_->text() == QStringLiteral("Ramp (eV)");
    fields_.pointsView = pointsButton_->text() == QStringLiteral("Points/Scan");
    if (kindGroup_->checkedId() >= 0) fields_.kindOfMeasure = kindGroup_->checkedId();
}

void TForm1::fieldsToControls() {
    setText(startEdit_, fields_.start);
    setText(secondEdit_, fields_.second);
    setText(thirdEdit_, fields_.third);
    setText(scansEdit_, fields_.scans);
    setText(timeEdit_, fields_.timePerPoint);
    setText(photonEdit_, fields_.photon);
    setText(gateEdit_, fields_.gateUnits);
    setText(sampleEdit_, fields_.sample);
    setText(commentEdit_, fields_.comment);
    setText(fileEdit_, fields_.fileName);
    {
        QSignalBlocker block(passCombo_);
        if (fields_.passEnergyIndex >= 0 && fields_.passEnergyIndex < passCombo_->count()) {
            passCombo_->setCurrentIndex(fields_.passEnergyIndex);
        } else {
            passCombo_->setCurrentIndex(-1);
            passCombo_->setEditText(QString::fromStdString(fields_.passEnergyText));
        }
    }
    rampButton_->setText(QString::fromLatin1(fields_.rampCaption()));
    pointsButton_->setText(QString::fromLatin1(fields_.pointsCaption()));
    selectKind();
}

void TForm1::RampButtonClick() {
    controlsToFields();
    if (settings_.toggleRamp()) fieldsToControls();
}

void TForm1::PointsButtonClick() {
    controlsToFields();
    if (settings_.togglePoints()) fieldsToControls();
}

void TForm1::PassEnergie_ComboBoxChange() {
    controlsToFields();
    lastPassEnergyText_ = passCombo_->currentText();
    PassEnergyView view = settings_.passEnergyChanged();
    if (view.listRebuilt) setChannelItems(view.channelItems);
    if (!view.infoText.empty()) extraPointsLabel_->setText(QString::fromStdString(view.infoText));
}

void TForm1::KindOfMeasureClick() {
    controlsToFields();
    const QColor colour = rowsInactiveForKind(fields_.kindOfMeasure) ? QColor(0xC0, 0xC0, 0xC0)
                                                                     : palette().color(QPalette::Base);
    paintField(secondEdit_, colour);
    paintField(scansEdit_, colour);
}

void TForm1::ChannelListClick(int row) {
    ChannelListView view = settings_.channelListSelected(row);
    setChannelItems(view.items);
    channelCaption_->setText(QString::fromStdString(view.infoText));
}

void TForm1::setChannelItems(const std::vector<std::string>& items) {
    channelList_->clear();
    for (const auto& item : items) channelList_->addItem(QString::fromStdString(item));
}

QStringList TForm1::channelItems() const {
    QStringList out;
    for (int i = 0; i < channelList_->count(); ++i) out << channelList_->item(i)->text();
    return out;
}

void TForm1::SetPhoEnergyClick() {
    // A press while the monochromator moves arrives here from inside the move's waits; the view
    // still reads "Stop Monoc." then, and the command takes the stop path.
    const bool nested = photonView_.caption == PhotonView::kStopCaption;
    if (!nested) {
        controlsToFields();
        photonView_.photon = fields_.photon;
        // The model changes the caption only inside the call; show the moving state for its waits.
        if (ctx_.links->monoConnected() && text::parseDouble(fields_.photon))
            showPhotonView(PhotonView{PhotonView::kStopCaption, fields_.photon, PhotonView::kMovingColour});
    }
    photonEnergyCommand(photonView_, ctx_);
    showPhotonView(photonView_);
}

void TForm1::showPhotonView(const PhotonView& view) {
    // The photon text is left alone: the monochromator link writes the position it read back.
    photonButton_->setText(QString::fromStdString(view.caption));
    paintField(photonEdit_, fromBgr(view.colour));
}

void TForm1::GetPosClick() {
    ctx_.links->MonoGetPosition();
}

void TForm1::StopMonoClick() {
    ctx_.links->MonoStop();
}

void TForm1::readSettings(const std::string& section, bool startUp) {
    controlsToFields();
    if (settings_.store.startDir.empty()) settings_.store.startDir = QDir::currentPath().toStdString();
    SettingsView view = settings_.read(ini_, section, startUp);
    fieldsToControls();
    applySettingsView(view);
}

void TForm1::applySettingsView(const SettingsView& view) {
    startLabel_->setText(QString::fromStdString(view.startLabel));
    scansLabel_->setText(QString::fromStdString(view.scansLabel));
    passLabel_->setText(QString::fromStdString(view.passEnergyLabel));
    if (view.showOptionsPage0) ctx_.links->showOptionsPage(0);
}

void TForm1::writeSettings(bool withGeneral) {
    controlsToFields();
    settings_.write(ini_, settingsSectionFor(state_.MachineMode), withGeneral);
    fieldsToControls(); // the writer may settle the points field
}

} // namespace korvo
