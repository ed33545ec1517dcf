#pragma once
// The spectrum viewer window: the spectra of its own workspace as curves in one plot, with mouse
// zoom, scroll bars, information panels, measuring mode and the menu of the viewer commands. The
// window holds controls only: every command is a call into viewer/ over its workspace, followed by
// showing the workspace again.
#include "viewer/analysis/operations.h"
#include "viewer/binding_axis.h"
#include "viewer/exports.h"
#include "viewer/fit_overlay.h"
#include "viewer/load.h"
#include "viewer/undo_history.h"
#include "viewer/view_scale.h"
#include "viewer/viewer_texts.h"
#include "viewer/workspace.h"

#include <QImage>
#include <QMainWindow>

#include <array>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QRadioButton;
class QScrollBar;
class QSpinBox;

namespace korvo {

class FitWindow;
class Surface3dMode;
class ViewerContext;
class ViewerPlotBox;

class TForm3 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm3(ViewerContext& context, QWidget* parent = nullptr);
    ~TForm3() override;

    // Creation: the load dialog at once. false when it gave the empty window nothing (the window is
    // then to be dropped without being shown).
    bool start();

    tvar& workspace() { return *ws_; }
    const tvar& workspace() const { return *ws_; }
    RangeScope scope() const;
    bool measuring() const { return measuring_; }
    const InfoPanelSet& infoPanels() const { return panels_; }

    // ---- commands of the menu (public, so that tests drive them as the user would)
    void loadProcedure();           // "&Data" / "&Load"
    void loadProjectCommand();      // "&Korvo98 k98-file" and the dialog's "Load project"
    void originCommand();           // "&ORIGIN Dat-file"
    void saveProjectCommand();      // "as dat-file for &Korvo98"
    // "as dat-file for &ORIGIN" (values as displayed) and "Save RAW" (values as stored).
    void columnExportCommand(ColumnValues values);
    void surferCommand(); // "Export Surfer"
    void epsCommand();    // "EPS": pictures, "test.bmp" and "fit.tex" into the current directory
    void vamasExportCommand(); // "Save VAMAS"
    void selectData();              // "&Select"
    void markCommand();             // "&Mark"
    void toggleInfoPanel(InfoPanel panel);
    void showAllOrClear();
    void handScaleCommand();        // "&HandScale"
    void showValueTable();          // "&Value Table"
    void setMeasuring(bool on);     // "&Measure dist."
    void fullScaleCommand(FullScale command);
    // "&Display" / "&Binding energy axis": the x axis in binding energy (high on the left) or back in
    // kinetic energy; the spectra keep their kinetic energies.
    void bindingAxisCommand();
    const std::optional<BindingAxis>& bindingAxis() const { return binding_; }
    // "&Tools" / "Dead-time correction...": the counts of the shown spectra corrected for the
    // channeltrons' dead time (asked in ns).
    void deadTimeCommand();
    void makeActive(int k);         // a "&Spectrum" entry
    // "Experts", "Math", "a", "b", "c", "Normierung" and "&Integrate": one analysis command.
    void analysisCommand(const analysis::Operation& op);
    class TForm13* integrationWindow() const { return integration_; }
    void satelliteCommand(); // "&Satellite removing"
    // "&Tools" / "Peak Fit...": the fit window of this viewer, made on first use. Its fit is drawn
    // over its spectrum (and printed and exported with it) while setFitOverlay holds one.
    FitWindow* peakFitCommand();
    FitWindow* fitWindow() const { return fitWindow_; }
    void setFitOverlay(std::optional<FitOverlay> overlay);
    const FitOverlay* fitOverlay() const { return fitOverlay_ ? &*fitOverlay_ : nullptr; }
    // The axis a fit takes its photon energies and work function from: the binding axis when it is
    // shown, else the settings' work function.
    BindingAxis fitAxis() const;
    void colourModeCommand();     // "Color-Mode": the colour view on or off
    void colourViewOfAllCommand(); // "----": the whole spectra in the colour view with scale 2
    bool colourView() const;
    QSpinBox* colourSelector() const { return colourSelector_; }
    Surface3dMode* surface3d() const { return surface3d_; } // "3D Mode"
    // "&Undo" (Ctrl+Z) and "&Redo" (Ctrl+Y) of the commands that change spectra; a load starts anew.
    void undoCommand();
    void redoCommand();
    const UndoHistory& undoHistory() const { return undo_; }
    // "&Print" (viewer_window_print.cpp): "&Single", "&Multi" / "&Autoselect" and "&Handselect",
    // "printer control", and "S&ettings" (the print-size dialog).
    void printSingleCommand();
    void printAutoselectCommand();
    void printHandselectCommand();
    void printerControlCommand();
    void printSettingsCommand();
    // The print settings' CellBitmap drawn anew from the active spectrum.
    void redrawCellBitmap();

    // ---- the plot's mouse, in paint-box pixels
    void plotPress(QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void plotMove(QPoint at, Qt::MouseButtons buttons);
    void plotRelease(QPoint at, Qt::MouseButton button);
    void paintPlot(QPainter& painter);

    // ---- what the window shows, for tests
    QMenu* spectrumMenu() const { return spectrumMenu_; }
    QAction* action(const QString& caption) const; // a menu item by caption (first found)
    QScrollBar* horizontalBar() const { return hBar_; }
    QScrollBar* verticalBar() const { return vBar_; }
    QRadioButton* allSpectraButton() const { return allButton_; }
    QRadioButton* activeSpectraButton() const { return markedButton_; }
    QLabel* readout() const { return readout_; }
    QWidget* plotBox() const;
    std::vector<QString> panelTexts() const;
    // Hooks in place of the modal dialogs, so tests can answer them (nullptr: the real dialog).
    std::function<void(class TForm7&)> answerHandScale;
    std::function<void(class TForm8&)> answerSelection;
    std::function<void(class SpectrumChoiceDialog&)> answerMark;
    std::function<void(class TForm16&)> answerSatellite;
    std::function<void(class TForm9&)> answerPrintSelection;
    std::function<std::optional<double>()> askTougaardB; // B for "Tougaard background..."; nullopt: cancelled
    std::function<std::optional<double>()> askDeadTime;     // ns for "Dead-time correction..."
    std::function<std::optional<double>()> askPhotonEnergy; // eV for spectra without one (binding axis)

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    bool writeExport(const std::string& path, const std::string& text); // false after the message
    void createControls();
    void createMenus();
    void createAnalysisMenus();
    void createPrintMenu(QMenuBar* bar);
    void createPrintSettingsItem(QMenuBar* bar);
    void layoutControls();
    void rebuildSpectrumMenu();
    void refresh();              // info panels, caption, menu check marks, value table, repaint
    void rangesChanged();        // scroll bars set up again, value table, repaint
    void repaintPlot();          // the plot painted anew (a clipping fit's picture goes)
    void showFitPicture(const QImage& picture); // shown at once, until the next repaintPlot()
    void setupScrollBars();
    void scrollBarMoved(ScrollAxis axis, int position);
    void report(const ViewMessages& messages);
    void takeOutcome(const LoadOutcome& outcome);
    void updateValueTable();
    void growBy(int pixels);
    const BindingAxis* binding() const { return binding_ ? &*binding_ : nullptr; }
    // A number from a small dialog, as the window asks for numbers (the hook answers in tests).
    std::optional<double> askNumber(const std::function<std::optional<double>()>& hook, const QString& title,
                                    const QString& label, double value, double min, double max, int decimals);
    // The binding axis given up, with the reason, when the shown spectra no longer allow it.
    void checkBindingAxis();
    // Undo and Redo (viewer_window_undo.cpp): the items at the end of `menu`, a command's step taken
    // from the workspace as it was before, the history dropped by a load or close.
    void createUndoActions(QMenu* menu);
    void recordStep(UndoHistory::Before before);
    void resetUndo();
    void showRestored(const UndoHistory::Restored& restored);
    void updateUndoActions();

    ViewerContext& ctx_;
    std::unique_ptr<tvar> ws_;
    InfoPanelSet panels_;
    bool measuring_ = false;
    bool settingUpBars_ = false;
    ScrollBarSetup hSetup_, vSetup_;
    std::optional<QPoint> zoomTo_; // the pointer during a zoom drag
    std::vector<std::string> paintReported_;
    QImage picture_; // the plot as last painted
    std::optional<QImage> fitPicture_; // a clipping fit's drawing, shown instead of the plot
    QString baseCaption_;

    ViewerPlotBox* plot_ = nullptr;
    QScrollBar* hBar_ = nullptr;
    QScrollBar* vBar_ = nullptr;
    QRadioButton* allButton_ = nullptr;
    QRadioButton* markedButton_ = nullptr;
    QLabel* readout_ = nullptr;
    std::array<QLabel*, kInfoPanelCount> panelLabels_{};
    QMenu* spectrumMenu_ = nullptr;
    std::array<QAction*, kInfoPanelCount> panelActions_{};
    QAction* measureAction_ = nullptr;
    QAction* integrateAction_ = nullptr;
    QAction* normierungAction_ = nullptr;
    QAction* colourAction_ = nullptr;
    QAction* bindingAction_ = nullptr;
    std::optional<BindingAxis> binding_; // the x axis in binding energy
    double deadTimeNs_ = 50;             // the dead time last asked for
    QSpinBox* colourSelector_ = nullptr; // shown while the colour view is on
    class TForm13* integration_ = nullptr;
    FitWindow* fitWindow_ = nullptr;
    std::optional<FitOverlay> fitOverlay_;
    Surface3dMode* surface3d_ = nullptr;
    UndoHistory undo_;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
};

} // namespace korvo
