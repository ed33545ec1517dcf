#pragma once
// The "Peak Fit" window of a viewer: the fit model of the active spectrum in an editable table
// (components with shape, parameters, fixed, links and bounds; region, axis, background, weights),
// components added by a click on their peak in the viewer's plot, the fit run on a thread of its own
// with its curves drawn over the spectrum as it goes, the results, and the model file and reports.
// The window holds controls only: the model's texts, the fit job and the reports are plain C++ in
// viewer/fit; it never changes a count of the workspace.
#include "viewer/fit/fit_job.h"
#include "viewer/fit/model_texts.h"
#include "viewer/fit/sensitivity_table.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace korvo {

class TForm3;
class ViewerContext;

class FitWindow : public QWidget {
    Q_OBJECT
public:
    FitWindow(TForm3& viewer, ViewerContext& context);
    ~FitWindow() override;

    // ---- commands (public, so that tests drive them as the user would)
    void fitActiveCommand(); // "Fit": the viewer's active spectrum
    void fitShownCommand();  // "Fit every shown spectrum": in display order, results per spectrum
    void cancelCommand();    // "Cancel"
    void loadModelCommand();
    void saveModelCommand();
    void loadSensitivitiesCommand();
    void saveReportCommand();     // "Save report...": JSON (one line per spectrum) or CSV by extension
    void resultAsStartCommand();  // "Fitted model as next start"
    void regionFromMarksCommand(); // "From marks": the region between the viewer's measuring marks
    void removeComponentCommand(); // the component of the table's current row
    // "Add by click" on: the viewer's next left click in its plot adds a component there.
    void setPicking(bool on);
    bool picking() const;
    // A click in the viewer's plot at kinetic energy x of the active spectrum while picking.
    bool addComponentAt(double x);
    // The viewer's axis changed: the model follows it where it can be restated.
    void viewerAxisChanged();
    // The fit under way cancelled and its thread joined (the viewer is being closed).
    void stop();

    // ---- the model
    const fit::ModelTexts& modelTexts() const { return texts_; }
    void setModel(const fit::FitModel& model);

    // ---- what the window shows, for tests
    bool running() const { return job_ != nullptr; }
    struct Fitted {
        fit::FitTask task;
        fit::FitResult result;
    };
    const std::vector<Fitted>& results() const { return fitted_; }
    int shownResult() const { return shownResult_; }
    void showResult(int index);
    QTableWidget* componentTable() const { return table_; }
    QTableWidget* resultTable() const { return results_; }
    QLabel* statusLabel() const { return status_; }
    QLabel* summaryLabel() const { return summary_; }
    QPlainTextEdit* detailsText() const { return details_; }
    QPushButton* button(const QString& caption) const;
    QCheckBox* showFitBox() const { return showFit_; }
    QCheckBox* seriesBox() const { return series_; }
    QComboBox* backgroundBox() const { return background_; }
    QComboBox* axisBox() const { return axis_; }
    QLineEdit* regionFromEdit() const { return from_; }
    QLineEdit* regionToEdit() const { return to_; }
    QSpinBox* maxIterationsBox() const { return maxIterations_; }
    // Told of every iteration on the fit's thread (tests hold a fit there).
    fit::FitJob::Watch watchJob;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void createControls();
    QWidget* createModelPart();
    QWidget* createRunPart();
    QWidget* createResultPart();
    // The table and the boxes shown anew from texts_ (fit_window_model.cpp).
    void showModel();
    void cellEdited(int row, int column);
    void shapeChosen(std::size_t component, int index);
    void axisChosen(int index);
    // The model of the cells, or nullopt after saying why.
    std::optional<fit::FitModel> currentModel();
    // Restates the model on `to`; false after saying why (the axis box goes back).
    bool moveToAxis(fit::Axis to);
    std::optional<double> activePhotonEnergy() const;

    void run(const std::vector<int>& spectra, bool series);
    void poll();
    void finish();
    void updateButtons();
    void showOverlay(const fit::FitTask& task, std::span<const double> free, std::span<const double> background);
    void clearOverlay();
    // The result list, the summary, the table and the details of one result (fit_window_results.cpp).
    void fillResultList();
    void fillResult(const Fitted& fitted);
    // A path the window may write: not one of the workspace's spectrum files.
    bool writable(const std::string& path);

    TForm3& viewer_;
    ViewerContext& ctx_;
    fit::ModelTexts texts_;
    std::optional<fit::SensitivityTable> sensitivities_;
    std::unique_ptr<fit::FitJob> job_;
    std::uint64_t serial_ = 0;
    std::vector<Fitted> fitted_;
    int shownResult_ = -1;
    bool building_ = false;
    std::vector<std::pair<std::size_t, std::size_t>> rows_; // table row -> component, parameter

    QTimer* poll_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QComboBox* axis_ = nullptr;
    QComboBox* background_ = nullptr;
    QLineEdit* tougaardB_ = nullptr;
    QComboBox* weights_ = nullptr;
    QComboBox* newShape_ = nullptr;
    QPushButton* pick_ = nullptr;
    QLabel* sensitivityLabel_ = nullptr;
    QPushButton* fit_ = nullptr;
    QPushButton* fitShown_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QCheckBox* series_ = nullptr;
    QCheckBox* showFit_ = nullptr;
    QSpinBox* maxIterations_ = nullptr;
    QLabel* status_ = nullptr;
    QComboBox* resultList_ = nullptr;
    QLabel* summary_ = nullptr;
    QTableWidget* results_ = nullptr;
    QPlainTextEdit* details_ = nullptr;
};

} // namespace korvo
