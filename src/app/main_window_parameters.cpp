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
    connect(continueButton_, &QPushButton::clicked, this, &TForm1::ContinueClick);
    connect(skipButton_, &QPushButton::clicked, this, &TForm1::SkipScanClick);
    connect(lastScanButton_, &QPushButton::clicked, this, &TForm1::LastScanClick);
    connect(saveButton_, &QPushButton::clicked, this, &TForm1::SaveClick);
    connect(zufallButton_, &QPushButton::clicked, this, &TForm1::ZufallClick);
    // The run re-reads the scans field after every scan and, in the CFS and CIS modes, the start
    // field at every point; it saves sample, comment and file name at its end. Whatever the user types
    // while it runs reaches the fields at once, so a field the run shows again is never put back.
    for (QLineEdit* e : panel_->findChildren<QLineEdit*>())
        connect(e, &QLineEdit::textEdited, this, [this] { controlsToFields(); });
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
    // The ramp and points views are the fields' own state; the buttons only show their captions.
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
    // still shows the move then, and the command takes the stop path.
    if (!station_.photon.moving()) {
        controlsToFields();
        // The model marks the move only inside the call; show it for the move's waits.
        if (station_.devices.monochromator->connected() && text::parseDouble(fields_.photon)) {
            photonButton_->setText(QString::fromLatin1(PhotonView::kStopCaption));
            paintField(photonEdit_, fromBgr(PhotonView::kMovingColour));
        }
    }
    // A failed move leaves the field at where the monochromator was last read to stand.
    if (station_.photonEnergyCommand() == PhotonOutcome::Failed)
        photonEdit_->setText(QString::fromStdString(fields_.photon));
    showPhotonView();
}

void TForm1::showPhotonView() {
    // The photon text is left alone: the monochromator link writes the position it read back.
    const PhotonView& view = station_.photon;
    photonButton_->setText(QString::fromLatin1(view.caption()));
    paintField(photonEdit_, fromBgr(view.colour()));
}

void TForm1::GetPosClick() {
    station_.devices.monochromator->MonoGetPosition();
}

void TForm1::StopMonoClick() {
    station_.devices.monochromator->MonoStop();
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
    if (view.showOptionsPage0) showOptionsPage(0);
}

void TForm1::writeSettings(bool withGeneral) {
    controlsToFields();
    settings_.write(ini_, settingsSectionFor(state_.MachineMode), withGeneral);
    fieldsToControls(); // the writer may settle the points field
}

} // namespace korvo
