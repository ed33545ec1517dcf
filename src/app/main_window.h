#pragma once
// The acquisition console: menus, the measurement parameters, the run buttons and the place of the
// live plot. The window holds controls only; it copies their texts into MeasurementFields, calls the
// acquisition logic and shows what comes back.
#include "acquisition/station.h"
#include "common/ini_file.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <array>
#include <functional>
#include <map>
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

class RunConnection;
class TextEditorWindow;
class TForm11;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Shows `station` (which outlives the window) and reads the settings from `iniPath` at once (the
    // start-up read); the window is not shown yet.
    TForm1(Station& station, std::string iniPath, QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- model, as the rest of the program reads it
    Station& station() { return station_; }
    AcquisitionContext& context() { return station_.ctx; }
    MeasurementFields& fields() { return station_.fields; }
    RunState& state() { return station_.state; }
    std::uint8_t machineMode() const { return station_.state.MachineMode; }
    MeasurementSettings& settings() { return station_.settings; }
    // The "Set Pho. Energy" button and the photon field's colour, as the photon view stands.
    void showPhotonView();
    const std::string& saveDir() const { return station_.settings.store.saveDir; }
    const std::string& startDir() const { return station_.settings.store.startDir; }
    const std::string& iniPath() const { return ini_.path(); }
    int splashTimeMs() const { return station_.settings.store.splashTimeMs; }
    // The adapter of the run's display to this window's controls and live plot.
    RunConnection& run() { return *run_; }
    // A run is active, from its start until it has returned (after Stop it still winds down).
    bool runActive() const { return station_.engine.running(); }
    bool closing() const { return closing_; }
    // Shows the options window on a page; set by whoever owns that window.
    std::function<void(int page)> showOptionsPage = [](int) {};

    // The menu items of the windows that are added to the program from outside. Each stays disabled
    // until its window registers: registerWindow enables the item and connects `open` to it.
    enum class WindowCommand {
        ShowSpec,
        PrintPreview,
        PrinterSetup,
        QuickPrint,
        AesData,
        History,
        Korrelation,
        Script,
        Setup,
        MultichanneltronSetup,
        MakeScript,
        Help,
        Info,
    };
    void registerWindow(WindowCommand command, std::function<void()> open);
    QAction* windowCommand(WindowCommand command) const;
    // "Print-&Scheme" (one checked item, captioned as the scheme) and "&Inc line-type", which the
    // program's print settings follow.
    QActionGroup* printSchemeGroup() const { return printScheme_; }
    QAction* incLineTypeAction() const { return incLineType_; }

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
    void checkSaveDir(bool tellOptions = true);
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
    QScrollBar* obenScrollBar() const { return oben_; }
    QLabel* axisCaption() const { return axisCaption_; }
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
    // A raised bevel while an instrument link waits, lowered otherwise.
    void setStatusPanelRaised(int index, bool raised);
    bool statusPanelRaised(int index) const;
    QString statusPanel(int index) const;
    // Kind-of-measurement items as currently offered.
    QStringList kindItems() const;
    // The analyser tests were switched in the options window: "CRR" and "Zufall" come or go.
    void analyserTestsChanged() { rebuildKindItems(); }
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

    // ---- the run buttons (main_window_run.cpp). Start runs a whole measurement and returns at its
    // end; the others reach the run through the event pump while it goes on.
    void Start_buttonClick();
    void ContinueClick();
    void SkipScanClick();
    void LastScanClick();
    void SaveClick();
    // The hidden "Zufall" button: a random test run, offered only with the analyser tests enabled.
    void ZufallClick();

public slots:
    // Brings the window forward when another start of the program asks for it.
    void bringToFront();

signals:
    // A mode switch has set MachineMode to `mode` and laid out the window for it.
    void machineModeChanged(int mode);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // main_window_menus.cpp
    void createMenus();
    void createFileMenu();
    void createMeasureAndMachineMenus();
    void createWindowMenus();
    QAction* placeholder(QMenu* menu, const QString& caption, WindowCommand command);
    void openTextFile();
    void saveTextFile();
    void deleteFile();
    void openInDesktop(const QString& fileName);
    // main_window_layout.cpp
    void createPanel();
    void createPlotArea();
    void createSettingsBox();
    void createKindAndInfoBoxes();
    void createRunBox();
    void createSideLabels();
    void createSampleBox();
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

    Station& station_;
    AcquisitionContext& ctx_;
    MeasurementFields& fields_;     // station_.fields
    RunState& state_;               // station_.state
    MeasurementSettings& settings_; // station_.settings
    IniFile ini_;
    RunConnection* run_ = nullptr;
    bool closing_ = false;
    bool shownOnce_ = false;
    bool startPending_ = true;   // the one-time work of the first showing is still to be done
    QString lastPassEnergyText_; // text the last pass-energy change saw, to skip repeats

    // menus
    QMenu* fileMenu_ = nullptr;
    QMenu* machineMenu_ = nullptr;
    QAction* measureAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    std::array<QAction*, 4> modeActions_{};
    std::map<WindowCommand, QAction*> windowCommands_;
    QAction* addKeithley1_ = nullptr;
    QAction* addKeithley2_ = nullptr;
    QActionGroup* printScheme_ = nullptr;
    QAction* scheme4x2_ = nullptr;
    QAction* incLineType_ = nullptr;

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
