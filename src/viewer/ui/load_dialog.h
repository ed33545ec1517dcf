#pragma once
// The "Load" dialog: choose a directory and files, then "Load" (into the load list, and the load
// runs at once while the dialog shows its progress), "Abord", "Load project". One dialog serves all
// viewer windows, as the load list it fills is the program's.
#include "files/multichanneltron.h"
#include "viewer/load.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace korvo {

class Dialogs;
class EventPump;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(LoadList& list, QWidget* parent = nullptr);

    enum class Choice { Load, Abord, LoadProject, LoadScienta, LoadVamas, LoadNexus };
    // Shows the dialog modally. "Load" fills the load list, runs `load` with the dialog still open
    // (its progress bar and "Cancel" work through progressHook), then closes it. "Load Scienta"
    // fills it with the temporary spectrum files of the chosen Scienta files and does the same;
    // "Load VAMAS" lists the chosen files with VamasFlag set, so that the load reads their blocks;
    // "Load NeXus" with NexusFlag set, so that it reads their spectra.
    Choice run(const std::function<void()>& load);
    // A progress hook for the load procedure: shows the file being read and keeps the program
    // answering through `pump`; false once "Cancel" was pressed.
    LoadProgressHook progressHook(EventPump& pump);

    // Where "Load Scienta" and "Single Multi -> project" say what they did, and the main window's
    // values that a converted project keeps.
    void setMessages(Dialogs& dialogs) { dialogs_ = &dialogs; }
    void setMultichanneltronValues(std::function<MultichanneltronWindowValues()> values) {
        multiValues_ = std::move(values);
    }

    void setDirectory(const std::string& directory);
    const std::string& directory() const { return directory_; }
    bool overviewFile() const;
    // "Update Dir !": the lists read again from disk; selected files stay selected.
    void updateDir();

    QComboBox* driveBox() const { return drive_; }
    QListWidget* directoryList() const { return dirs_; }
    QListWidget* fileList() const { return files_; }
    QComboBox* filterBox() const { return filter_; }
    QCheckBox* overviewBox() const { return overview_; }
    QPushButton* loadButton() const { return load_; }
    QPushButton* abordButton() const { return abord_; }
    QPushButton* projectButton() const { return project_; }
    QPushButton* scientaButton() const { return scienta_; }
    QPushButton* vamasButton() const { return vamas_; }
    QPushButton* nexusButton() const { return nexus_; }
    QPushButton* multiButton() const { return multi_; }
    QPushButton* updateButton() const { return update_; }
    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* progressBar() const { return progress_; }
    bool loading() const { return loading_; }

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void reject() override;

private:
    void loadClick();
    void abordClick();
    void projectClick();
    void scientaClick();
    void vamasClick();
    void nexusClick();
    void multiClick();
    std::vector<std::string> selectedNames() const;
    std::vector<std::string> selectedPaths() const;
    void runLoad();
    void enter(const QString& entry);
    void setLoading(bool on);

    LoadList& list_;
    Dialogs* dialogs_ = nullptr;
    std::function<MultichanneltronWindowValues()> multiValues_ = [] { return MultichanneltronWindowValues{}; };
    std::string directory_;
    Choice choice_ = Choice::Abord;
    std::function<void()> load_fn_;
    bool loading_ = false;
    bool cancel_requested_ = false;
    QElapsedTimer loadTimer_;
    qint64 lastPump_ = 0;

    QComboBox* drive_ = nullptr;
    QLabel* dirLabel_ = nullptr;
    QListWidget* dirs_ = nullptr;
    QListWidget* files_ = nullptr;
    QComboBox* filter_ = nullptr;
    QCheckBox* overview_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* abord_ = nullptr;
    QPushButton* project_ = nullptr;
    QPushButton* scienta_ = nullptr;
    QPushButton* vamas_ = nullptr;
    QPushButton* nexus_ = nullptr;
    QPushButton* multi_ = nullptr;
    QPushButton* update_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

} // namespace korvo
