#include "instrument_windows/options_saving_page.h"

#include "instrument_windows/options_widgets.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvo {

namespace {

// The entry that leads one directory up.
const QString kParent = QStringLiteral("[..]");

} // namespace

SavingPage::SavingPage(Station& station, QWidget* parent) : QWidget(parent), station_(station) {
    auto* column = new QVBoxLayout(this);
    saveDir_ = new QLabel(this);
    saveDir_->setTextFormat(Qt::PlainText);
    column->addWidget(saveDir_);
    path_ = new QLineEdit(this);
    path_->setToolTip(QStringLiteral("Type a directory and press Enter, or double-click in the list"));
    QObject::connect(path_, &QLineEdit::returnPressed, this, [this] {
        if (!pointAt(path_->text().toStdString())) showText(path_, directory_);
    });
    column->addWidget(path_);
    list_ = new QListWidget(this);
    list_->setMinimumHeight(200);
    QObject::connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString name = item->text();
        const QString target = name == kParent ? QFileInfo(QString::fromStdString(directory_)).dir().absolutePath()
                                               : QDir(QString::fromStdString(directory_)).filePath(name);
        pointAt(target.toStdString());
    });
    column->addWidget(list_);
    auto* row = new QHBoxLayout;
    set_ = actionButton("Set Directory !", this, [this] { setDirectoryClicked(); });
    row->addWidget(set_);
    row->addStretch();
    column->addLayout(row);

    AcquisitionOptions& o = station_.ctx.options;
    extraPoints_ = new QCheckBox(QStringLiteral("Save Extrapoints"), this);
    QObject::connect(extraPoints_, &QCheckBox::toggled, this, [&o](bool on) { o.saveExtraPoints = on; });
    rawData_ = new QCheckBox(QStringLiteral("Save Raw Data"), this);
    QObject::connect(rawData_, &QCheckBox::toggled, this, [&o](bool on) { o.saveRawData = on; });
    // A run that ends in the night is saved without waiting for the save dialog.
    autoSave_ = new QCheckBox(QStringLiteral("Autosave: every run under the proposed name, without the dialog"), this);
    autoSave_->setObjectName(QStringLiteral("autosave"));
    QObject::connect(autoSave_, &QCheckBox::toggled, this, [&o](bool on) { o.autoSave = on; });
    // For the facility's catalogue: the same spectrum as NXmpes, "c_021205.001.nxs" beside "c_021205.001".
    nexus_ = new QCheckBox(QStringLiteral("NeXus: a NeXus file (.nxs) beside every saved spectrum"), this);
    nexus_->setObjectName(QStringLiteral("nexus"));
    QObject::connect(nexus_, &QCheckBox::toggled, this, [&o](bool on) { o.saveNexus = on; });
    column->addWidget(extraPoints_);
    column->addWidget(rawData_);
    column->addWidget(autoSave_);
    column->addWidget(nexus_);
    column->addStretch();

    if (!pointAt(station_.settings.store.saveDir)) pointAt(QDir::currentPath().toStdString());
    refresh();
}

bool SavingPage::pointAt(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (path.empty() || !info.isDir() || !info.isExecutable()) return false;
    directory_ = QDir::cleanPath(info.absoluteFilePath()).toStdString();
    showText(path_, directory_);
    listDirectory();
    return true;
}

void SavingPage::listDirectory() {
    list_->clear();
    const QDir dir(QString::fromStdString(directory_));
    if (!dir.isRoot()) list_->addItem(kParent);
    list_->addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
}

void SavingPage::refresh() {
    const AcquisitionOptions& o = station_.ctx.options;
    showChecked(extraPoints_, o.saveExtraPoints);
    showChecked(rawData_, o.saveRawData);
    showChecked(autoSave_, o.autoSave);
    showChecked(nexus_, o.saveNexus);
    saveDir_->setText(QStringLiteral("Save directory: ") + QString::fromStdString(station_.settings.store.saveDir));
}

void SavingPage::setDirectoryClicked() {
    // The list may show a directory that has gone meanwhile; SaveDir only ever takes one that is there.
    if (!pointAt(directory_)) {
        station_.ctx.dialogs.information("", directory_ + " cannot be entered.");
        return;
    }
    station_.settings.store.saveDir = directory_;
    refresh();
    if (closeWindow) closeWindow();
}

} // namespace korvo
