#pragma once
// The acquisition console: menus, the measurement parameters, the run buttons and the place of the
// live plot. The window holds controls only; it copies their texts into MeasurementFields, calls the
// acquisition logic and shows what comes back.
#include "acquisition/context.h"
#include "acquisition/measurement_fields.h"
#include "acquisition/measurement_settings.h"
#include "acquisition/photon_command.h"
#include "acquisition/run_state.h"
#include "common/ini_file.h"
#include "common/port_io.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QScrollBar;
class QStatusBar;

namespace korvo {

class TextEditorWindow;
class TForm11;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Reads the settings from `iniPath` at once (the start-up read); the window is not shown yet.
    TForm1(AcquisitionContext& ctx, std::string iniPath, QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- model, as the rest of the program reads it
    AcquisitionContext& context() { return ctx_; }
    MeasurementFields& fields() { return fields_; }
    RunState& state() { return state_; }
    DataBlock& data() { return data_; }
    std::uint8_t machineMode() const { return state_.MachineMode; }
    MeasurementSettings& settings() { return settings_; }
    // State of the "Set Pho. Energy" button; the run's photon steps go through the same view.
    PhotonView& photonView() { return photonView_; }
    void showPhotonView(const PhotonView& view);
    const std::string& saveDir() const { return settings_.store.saveDir; }
    const std::string& startDir() const { return settings_.store.startDir; }
    const std::string& iniPath() const { return ini_.path(); }
    int splashTimeMs() const { return settings_.store.splashTimeMs; }
    // The analyser card back end chosen at start-up (not owned); the run reads and writes through it.
    PortIo* portIo() const { return port_; }
    void setPortIo(PortIo* port) { port_ = port; }
    // A run is active, from its start until it has returned (after Stop it still winds down). The
    // run reports it through setRunRunning(); the Start button's caption only shows it.
    bool runActive() const { return runRunning_; }
    void setRunRunning(bool on) { runRunning_ = on; }
    bool closing() const { return closing_; }

    // Control texts -> fields, and back. Everything that reads the fields calls the first one.
    void controlsToFields();
    void fieldsToControls();

    // ---- commands (menu items and buttons; public so that the script and history windows can use
    // them as the user would)
    void MeasureClick();
    void switchMode(std::uint8_t mode); // 2 CLAM, 3 CFS, 4 CIS, 5 Keithley
    void ExitClick();
    void RampButtonClick();
    void PointsButtonClick();
    void PassEnergie_ComboBoxChange();
    void KindOfMeasureClick();
    void ChannelListClick(int row);
    void SetPhoEnergyClick();
    void GetPosClick();
    void StopMonoClick();
    // Enters SaveDir or falls back to StartDir (telling the options window so).
    void checkSaveDir(bool showOptionsPage = true);
    // The settings of the current machine section with or without the general keys.
    void writeSettings(bool withGeneral);
    void readSettings(const std::string& section, bool startUp);

    // ---- controls the run, the live plot, the script and the instrument windows write into
    QPushButton* startButton() const { return startButton_; }
    QPushButton* continueButton() const { return continueButton_; }
    QPushButton* skipScanButton() const { return skipButton_; }
    QPushButton* lastScanButton() const { return lastScanButton_; }
    QPushButton* zufallButton() const { return zufallButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* photonButton() const { return photonButton_; }
    QLineEdit* photonEdit() const { return photonEdit_; }
    QLineEdit* scansEdit() const { return scansEdit_; }
    QLabel* measurementsLabel() const { return measurementsLabel_; }
    QLabel* energyLabel() const { return energyLabel_; }
    QLabel* monitorLabel() const { return monitorLabel_; }
    QLabel* rangeLabel() const { return rangeLabel_; }
    QLabel* extraPointsLabel() const { return extraPointsLabel_; }
    QLabel* ringCurrentLabel() const { return ringLabel_; }
    QLabel* scriptModeLabel() const { return scriptLabel_; }
    QLabel* progressStrip() const { return progressLabel_; }
    QFrame* plotBox() const { return plotBox_; }
    QFrame* multiPlotBox() const { return multiPlotBox_; }
    QCheckBox* autoScaleBox() const { return autoScale_; }
    QCheckBox* bigSpotsBox() const { return bigSpots_; }
    QGroupBox* settingsBox() const { return settingsBox_; }
    QGroupBox* kindBox() const { return kindBox_; }
    QListWidget* channelList() const { return channelList_; }
    QComboBox* passEnergyCombo() const { return passCombo_; }
    QWidget* measurementPanel() const { return panel_; }
    QMenu* machineMenu() const { return machineMenu_; }
    QAction* measureAction() const { return measureAction_; }
    // "&Save Measurements": enabled exactly while the Save button is.
    QAction* saveMeasurementsAction() const { return saveAction_; }
    QAction* addKeithley1Action() const { return addKeithley1_; }
    QAction* addKeithley2Action() const { return addKeithley2_; }
    TextEditorWindow* textEditor() const { return editor_; }
    TForm11* warningDialog() const { return warning_; }
    QStatusBar* statusPanels() const { return status_; }
    // Status bar panel 0 "Status", 1 " Monochromator: ", 2 "Main Motor: ", 3 unnamed.
    void setStatusPanel(int index, const QString& text);
    QString statusPanel(int index) const;
    // Kind-of-measurement items as currently offered.
    QStringList kindItems() const;
    QStringList channelItems() const;
    // Fills the channel list ("Energy Positions") with `items`.
    void setChannelItems(const std::vector<std::string>& items);

    // Colour choice of the Ctrl + right click; replaceable so that it can be driven without a
    // modal dialog.
    std::function<std::optional<QColor>(const QColor&)> chooseColour;

    // Every colour of the window design is a Windows BGR value.
    static QColor fromBgr(std::uint32_t bgr);
    // The small font of the window design, whose column and panel widths were made for it.
    static QFont smallFont(QFont font);

public slots:
    // The measurement run. The run engine connects here; until it does, pressing Start says so.
    void Start_buttonClick();
    // Brings the window forward when another start of the program asks for it.
    void bringToFront();

signals:
    // Emitted by the Start button, which reads "Stop" during a run; the run integration tells start
    // from stop by its own state.
    void runRequested();
    void stopRequested();
    void continueClicked();
    void skipScanClicked();
    void lastScanClicked();
    void saveMeasurementRequested();
    // The hidden "Zufall" button: a random test run, offered only with the analyser tests enabled.
    void randomStartRequested();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // main_window_menus.cpp
    void createMenus();
    void openTextFile();
    void saveTextFile();
    void deleteFile();
    void openInDesktop(const QString& fileName);
    // main_window_layout.cpp
    void createPanel();
    void createStatusBar();
    void applyResize();
    // The smallest measurement view in which the right-hand column and the sample box stay whole.
    QSize measurementMinimumSize() const;
    void applyModeLayout(std::uint8_t mode);
    void modeSwitchSteps(std::uint8_t mode); // steps shared by the mode switch and "Measure"
    void rebuildKindItems();
    void selectKind();
    void paintParameterFields();
    void paintField(QLineEdit* edit, const QColor& colour);
    // main_window_parameters.cpp
    void connectParameters();
    void showExtraPoints();
    void applySettingsView(const SettingsView& view);

    AcquisitionContext& ctx_;
    IniFile ini_;
    MeasurementFields fields_;
    RunState state_;
    DataBlock data_;
    MeasurementSettings settings_{fields_, state_, ctx_};
    PortIo* port_ = nullptr;
    PhotonView photonView_;
    bool closing_ = false;
    bool runRunning_ = false;
    bool shownOnce_ = false;
    bool startPending_ = true;   // the one-time work of the first showing is still to be done
    QString lastPassEnergyText_; // text the last pass-energy change saw, to skip repeats

    // menus
    QMenu* fileMenu_ = nullptr;
    QMenu* machineMenu_ = nullptr;
    QAction* measureAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    std::array<QAction*, 4> modeActions_{};
    QAction* addKeithley1_ = nullptr;
    QAction* addKeithley2_ = nullptr;
    QActionGroup* printScheme_ = nullptr;
    QAction* scheme4x2_ = nullptr;

    // measurement panel
    QWidget* panel_ = nullptr;
    QLabel* measurementsLabel_ = nullptr;
    QFrame* plotBox_ = nullptr;
    QFrame* multiPlotBox_ = nullptr;
    QScrollBar* oben_ = nullptr;
    QCheckBox* autoScale_ = nullptr;
    QGroupBox* settingsBox_ = nullptr;
    QLabel* startLabel_ = nullptr;
    QLineEdit* startEdit_ = nullptr;
    QPushButton* rampButton_ = nullptr;
    QLineEdit* secondEdit_ = nullptr;
    QPushButton* pointsButton_ = nullptr;
    QLineEdit* thirdEdit_ = nullptr;
    QLabel* scansLabel_ = nullptr;
    QLineEdit* scansEdit_ = nullptr;
    QLabel* passLabel_ = nullptr;
    QComboBox* passCombo_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLineEdit* timeEdit_ = nullptr;
    QPushButton* photonButton_ = nullptr;
    QLineEdit* photonEdit_ = nullptr;
    QLabel* energyLabel_ = nullptr;
    QGroupBox* kindBox_ = nullptr;
    QButtonGroup* kindGroup_ = nullptr;
    QGroupBox* infoBox_ = nullptr;
    QLabel* extraPointsLabel_ = nullptr;
    QLabel* rangeLabel_ = nullptr;
    QGroupBox* runBox_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* continueButton_ = nullptr;
    QPushButton* skipButton_ = nullptr;
    QPushButton* lastScanButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* zufallButton_ = nullptr;
    QLineEdit* gateEdit_ = nullptr;
    QLabel* channelCaption_ = nullptr;
    QListWidget* channelList_ = nullptr;
    QLabel* scriptLabel_ = nullptr;
    QLabel* axisCaption_ = nullptr;
    QLabel* monitorLabel_ = nullptr;
    QLabel* ringLabel_ = nullptr;
    QGroupBox* sampleBox_ = nullptr;
    QLineEdit* sampleEdit_ = nullptr;
    QLineEdit* commentEdit_ = nullptr;
    QLineEdit* fileEdit_ = nullptr;
    QCheckBox* bigSpots_ = nullptr;
    QLabel* progressLabel_ = nullptr;
    QStatusBar* status_ = nullptr;
    std::array<QLabel*, 4> statusLabels_{};

    TextEditorWindow* editor_ = nullptr;
    TForm11* warning_ = nullptr;
};

} // namespace korvo
