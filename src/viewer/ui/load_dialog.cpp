#include "viewer/ui/load_dialog.h"

#include "common/dialogs.h"
#include "common/event_pump.h"
#include "viewer/load_dialog_model.h"
#include "viewer/scienta_import.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>

#include <algorithm>

namespace korvo {

namespace {

// The pump runs at most this often during a load: often enough for the window to answer within a
// tenth of a second, rarely enough that 2000 small files do not spend their time in event handling.
constexpr qint64 kPumpEveryMs = 30;
// A load shorter than this shows no progress (it would only flicker).
constexpr qint64 kShowProgressAfterMs = 250;

QPushButton* button(QWidget* parent, const char* caption, int x, int y, int w) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setGeometry(x, y, w, 22);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TForm5::TForm5(LoadList& list, QWidget* parent) : QDialog(parent), list_(list) {
    setWindowTitle(QStringLiteral("Load"));
    setFixedSize(408, 332);
    setModal(true);

    drive_ = new QComboBox(this);
    drive_->setGeometry(8, 8, 184, 22);
    // Linux has no drive letters; the roots a user starts from take their place.
    for (const QString& root : {QDir::rootPath(), QDir::homePath(), QStringLiteral("/media"), QStringLiteral("/mnt")})
        if (QFileInfo(root).isDir() && drive_->findText(root) < 0) drive_->addItem(root);
    dirLabel_ = new QLabel(this);
    dirLabel_->setGeometry(8, 32, 184, 17);
    dirs_ = new QListWidget(this);
    dirs_->setGeometry(8, 50, 184, 152);
    filter_ = new QComboBox(this);
    filter_->setGeometry(8, 206, 184, 22);
    for (const std::string& f : kLoadFilters) filter_->addItem(QString::fromStdString(f));
    files_ = new QListWidget(this);
    files_->setGeometry(200, 8, 200, 220);
    files_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    overview_ = new QCheckBox(QStringLiteral("overview file"), this);
    overview_->setGeometry(200, 232, 200, 18);
    progress_ = new QProgressBar(this);
    progress_->setGeometry(8, 232, 184, 18);
    progress_->setRange(0, 1000);
    progress_->hide();

    load_ = button(this, "Load", 8, 254, 90);
    abord_ = button(this, "Abord", 102, 254, 90);
    project_ = button(this, "Load project", 200, 254, 98);
    update_ = button(this, "Update Dir !", 302, 254, 98);
    scienta_ = button(this, "Load Scienta", 8, 280, 90);
    vamas_ = button(this, "Load VAMAS", 102, 280, 90);
    multi_ = button(this, "Single Multi -> project", 196, 280, 204);
    nexus_ = button(this, "Load NeXus", 8, 306, 90);
    nexus_->setToolTip(QStringLiteral("NeXus (HDF5) files: every spectrum of every chosen file, Korvo's own and "
                                      "other programs' NXmpes and NXxps spectra"));
    // In the place of "Update Dir !", which has nothing to do while a load runs.
    cancel_ = button(this, "Cancel", 302, 254, 98);
    cancel_->hide();

    connect(load_, &QPushButton::clicked, this, &TForm5::loadClick);
    connect(abord_, &QPushButton::clicked, this, &TForm5::abordClick);
    connect(project_, &QPushButton::clicked, this, &TForm5::projectClick);
    connect(update_, &QPushButton::clicked, this, &TForm5::updateDir);
    connect(scienta_, &QPushButton::clicked, this, &TForm5::scientaClick);
    connect(vamas_, &QPushButton::clicked, this, &TForm5::vamasClick);
    connect(nexus_, &QPushButton::clicked, this, &TForm5::nexusClick);
    connect(multi_, &QPushButton::clicked, this, &TForm5::multiClick);
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel_requested_ = true; });
    connect(filter_, &QComboBox::currentIndexChanged, this, &TForm5::updateDir);
    connect(drive_, &QComboBox::textActivated, this, [this](const QString& root) { setDirectory(root.toStdString()); });
    connect(dirs_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { enter(item->text()); });
    setDirectory(QDir::currentPath().toStdString());
}

void TForm5::setDirectory(const std::string& directory) {
    directory_ = directory;
    dirLabel_->setText(QString::fromStdString(directory));
    dirLabel_->setToolTip(dirLabel_->text());
    files_->clear();
    updateDir();
}

void TForm5::enter(const QString& entry) {
    setDirectory(enterDirectory(directory_, entry.toStdString()));
}

bool TForm5::overviewFile() const {
    return overview_->isChecked();
}

void TForm5::updateDir() {
    if (loading_) return;
    QSet<QString> selected;
    for (const QListWidgetItem* item : files_->selectedItems()) selected.insert(item->text());
    const DirectoryListing listing = listDirectory(directory_, filter_->currentIndex());
    dirs_->clear();
    for (const std::string& d : listing.directories) dirs_->addItem(QString::fromStdString(d));
    files_->clear();
    for (const std::string& f : listing.files) {
        auto* item = new QListWidgetItem(QString::fromStdString(f), files_);
        item->setSelected(selected.contains(item->text()));
    }
}

TForm5::Choice TForm5::run(const std::function<void()>& load) {
    load_fn_ = load;
    choice_ = Choice::Abord;
    if (const QScreen* screen = this->screen()) move(screen->geometry().center() - rect().center());
    exec();
    load_fn_ = nullptr;
    return choice_;
}

std::vector<std::string> TForm5::selectedNames() const {
    std::vector<std::string> names;
    // In list order, not in the order the files were clicked.
    for (int i = 0; i < files_->count(); ++i)
        if (files_->item(i)->isSelected()) names.push_back(files_->item(i)->text().toStdString());
    return names;
}

std::vector<std::string> TForm5::selectedPaths() const {
    LoadList chosen;
    fillLoadList(chosen, directory_, selectedNames());
    return chosen.paths;
}

void TForm5::runLoad() {
    if (load_fn_) {
        setLoading(true);
        load_fn_();
        setLoading(false);
    }
    accept();
}

void TForm5::loadClick() {
    if (loading_) return;
    fillLoadList(list_, directory_, selectedNames());
    choice_ = Choice::Load;
    runLoad();
}

void TForm5::scientaClick() {
    if (loading_) return;
    const ScientaImportOutcome imported = importScientaFiles(selectedPaths(), list_);
    for (const ScientaImportMessage& m : imported.messages)
        if (dialogs_) dialogs_->show(m.text);
    choice_ = Choice::LoadScienta;
    runLoad();
}

void TForm5::vamasClick() {
    if (loading_) return;
    fillLoadList(list_, directory_, selectedNames());
    list_.VamasFlag = true;
    choice_ = Choice::LoadVamas;
    runLoad();
}

void TForm5::nexusClick() {
    if (loading_) return;
    fillLoadList(list_, directory_, selectedNames());
    list_.NexusFlag = true;
    choice_ = Choice::LoadNexus;
    runLoad();
}

void TForm5::multiClick() {
    if (loading_) return;
    list_.paths.clear();
    const MultichanneltronWindowValues values = multiValues_();
    for (const std::string& path : selectedPaths()) {
        const MultichanneltronConversion done = convertMultichanneltronFile(path, values);
        const bool ends = done.read.fault == MultichanneltronFault::NoChanneltrons;
        if (dialogs_) {
            if (ends) dialogs_->show(std::string(kNoChanneltrons));
            else if (done) dialogs_->show(done.target);
            else dialogs_->message("", done.error, DialogIcon::Warning);
        }
        if (ends) break; // the files after it are not converted
    }
    updateDir(); // the new projects appear in the list; the dialog stays open
}

void TForm5::abordClick() {
    list_.paths.clear();
    choice_ = Choice::Abord;
    accept();
}

void TForm5::projectClick() {
    list_.LoadProjectFlag = true;
    choice_ = Choice::LoadProject;
    accept();
}

void TForm5::setLoading(bool on) {
    loading_ = on;
    cancel_requested_ = false;
    for (QWidget* w : std::initializer_list<QWidget*>{drive_, dirs_, files_, filter_, overview_, load_, abord_,
                                                      project_, update_, scienta_, vamas_, nexus_, multi_})
        w->setEnabled(!on);
    if (on) {
        loadTimer_.start();
        lastPump_ = 0;
        progress_->setValue(0);
    } else {
        progress_->hide();
        cancel_->hide();
        update_->show();
        overview_->show();
    }
}

LoadProgressHook TForm5::progressHook(EventPump& pump) {
    return [this, &pump](const LoadProgress& p) {
        if (!loading_) return true;
        const qint64 now = loadTimer_.elapsed();
        if (now - lastPump_ < kPumpEveryMs) return !cancel_requested_;
        lastPump_ = now;
        if (now >= kShowProgressAfterMs && progress_->isHidden()) {
            overview_->hide();
            progress_->show();
            update_->hide();
            cancel_->show();
        }
        double done = p.filesTotal > 0 ? double(p.filesDone) / double(p.filesTotal) : 0;
        if (p.bytesTotal > 0 && p.filesTotal > 0)
            done += double(p.bytesDone) / double(p.bytesTotal) / double(p.filesTotal);
        progress_->setValue(std::clamp(int(done * 1000), 0, 1000));
        const QString name = QFileInfo(QString::fromStdString(std::string(p.path))).fileName();
        progress_->setFormat(name + QStringLiteral("  %p%"));
        progress_->setToolTip(QString::fromStdString(std::string(p.path)));
        pump.pump();
        return !cancel_requested_;
    };
}

void TForm5::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    updateDir();
}

void TForm5::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange) updateDir();
}

void TForm5::mousePressEvent(QMouseEvent* e) {
    QDialog::mousePressEvent(e);
    updateDir();
}

void TForm5::reject() {
    // Escape or the title bar during a load cancels the load; the dialog closes when it has ended.
    if (loading_) {
        cancel_requested_ = true;
        return;
    }
    abordClick();
}

} // namespace korvo
