// The menu bar of the main window and the commands that only need the window itself.
#include "app/main_window.h"

#include "app/text_editor_window.h"

#include <QAction>
#include <QActionGroup>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

namespace korvo {

namespace {

QAction* addItem(QMenu* menu, const QString& caption, bool enabled = true) {
    QAction* a = menu->addAction(caption);
    a->setEnabled(enabled);
    return a;
}

// A menu title with a shortcut: the shortcut opens the menu, as pressing the title would. The
// shortcut belongs to the title's own action; a second QShortcut on the same keys would make both
// ambiguous and neither would fire.
void openWithShortcut(QMainWindow* window, QMenu* menu, const QKeySequence& keys) {
    QAction* title = menu->menuAction();
    title->setShortcut(keys);
    QObject::connect(title, &QAction::triggered, window, [window, title] {
        if (title->isEnabled() && title->isVisible()) window->menuBar()->setActiveAction(title);
    });
}

} // namespace

void TForm1::createMenus() {
    createFileMenu();
    createMeasureAndMachineMenus();
    createWindowMenus();
}

QAction* TForm1::placeholder(QMenu* menu, const QString& caption, WindowCommand command) {
    QAction* a = addItem(menu, caption, false);
    windowCommands_[command] = a;
    return a;
}

void TForm1::createFileMenu() {
    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    openWithShortcut(this, fileMenu_, QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(addItem(fileMenu_, QStringLiteral("Open Textfile")), &QAction::triggered, this,
            &TForm1::openTextFile);
    connect(addItem(fileMenu_, QStringLiteral("Save Textfile")), &QAction::triggered, this,
            &TForm1::saveTextFile);
    connect(addItem(fileMenu_, QStringLiteral("Delete File")), &QAction::triggered, this,
            &TForm1::deleteFile);
    fileMenu_->addSeparator();
    // Enabled and disabled with the Save button (see eventFilter): like the button it saves only a
    // finished measurement, never one in progress.
    saveAction_ = addItem(fileMenu_, QStringLiteral("&Save Measurements"), false);
    connect(saveAction_, &QAction::triggered, this, &TForm1::SaveClick);
    addItem(fileMenu_, QStringLiteral("Load Measurements"), false);
    fileMenu_->addSeparator();
    placeholder(fileMenu_, QStringLiteral("Print - &Preview"), WindowCommand::PrintPreview);
    QMenu* scheme = fileMenu_->addMenu(QStringLiteral("Print-&Scheme"));
    printScheme_ = new QActionGroup(this);
    for (const char* caption : {"1 X 1 (vert)", "2 X 1", "3 X 2", "4 X 2"}) {
        QAction* a = addItem(scheme, QString::fromLatin1(caption));
        a->setCheckable(true);
        printScheme_->addAction(a);
        scheme4x2_ = a; // the last one, "4 X 2", is the default scheme
    }
    scheme4x2_->setChecked(true);
    placeholder(fileMenu_, QStringLiteral("Printer S&etup"), WindowCommand::PrinterSetup);
    incLineType_ = addItem(fileMenu_, QStringLiteral("&Inc line-type"));
    incLineType_->setCheckable(true);
    QAction* grid = addItem(fileMenu_, QStringLiteral("&Grid"));
    grid->setCheckable(true);
    grid->setChecked(true);
    placeholder(fileMenu_, QStringLiteral("&Quick Print  (Print16)"), WindowCommand::QuickPrint);
    fileMenu_->addSeparator();
    connect(addItem(fileMenu_, QStringLiteral("&Exit")), &QAction::triggered, this, &TForm1::ExitClick);
}

void TForm1::createMeasureAndMachineMenus() {
    QMenuBar* bar = menuBar();
    // "Measure" is a command on the bar itself.
    measureAction_ = bar->addAction(QStringLiteral("&Measure"));
    measureAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    measureAction_->setShortcutContext(Qt::ApplicationShortcut);
    addAction(measureAction_); // keeps the shortcut alive while the item is hidden from the bar
    connect(measureAction_, &QAction::triggered, this, [this] {
        if (measureAction_->isVisible() && measureAction_->isEnabled()) MeasureClick();
    });

    machineMenu_ = bar->addMenu(QStringLiteral("&Machine"));
    openWithShortcut(this, machineMenu_, QKeySequence(Qt::CTRL | Qt::Key_A));
    const char* modeCaptions[4] = {"&CLAM4", "CLAM4  C&FS", "CLAM4  C&IS", "&Keithley 1 && Mono"};
    for (int i = 0; i < 4; ++i) {
        QAction* a = addItem(machineMenu_, QString::fromLatin1(modeCaptions[i]));
        a->setCheckable(true);
        modeActions_[i] = a;
        std::uint8_t mode = std::uint8_t(ModeClam + i);
        connect(a, &QAction::triggered, this, [this, mode] { switchMode(mode); });
    }
    machineMenu_->addSeparator();
    addKeithley1_ = addItem(machineMenu_, QStringLiteral("Add Keithley  &1"));
    addKeithley1_->setCheckable(true);
    addKeithley2_ = addItem(machineMenu_, QStringLiteral("Add Keithley  &2"));
    addKeithley2_->setCheckable(true);
    connect(addKeithley1_, &QAction::toggled, this, [this](bool on) { ctx_.options.addKeithley1 = on; });
    connect(addKeithley2_, &QAction::toggled, this, [this](bool on) { ctx_.options.addKeithley2 = on; });
    QAction* test = addItem(machineMenu_, QStringLiteral("&Testbetrieb"), false);
    test->setVisible(false);
}

// The items of the windows that are added to the program from outside: disabled until their window
// registers (see registerWindow).
void TForm1::createWindowMenus() {
    QMenuBar* bar = menuBar();
    QAction* showSpec = bar->addAction(QStringLiteral("&ShowSpec"));
    showSpec->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    showSpec->setEnabled(false);
    windowCommands_[WindowCommand::ShowSpec] = showSpec;

    QMenu* data = bar->addMenu(QStringLiteral("&Data"));
    openWithShortcut(this, data, QKeySequence(Qt::CTRL | Qt::Key_D));
    data->menuAction()->setEnabled(false);
    placeholder(data, QStringLiteral("&AES-Data"), WindowCommand::AesData);

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    placeholder(tools, QStringLiteral("&History"), WindowCommand::History);
    placeholder(tools, QStringLiteral("&Korrelation"), WindowCommand::Korrelation);
    placeholder(tools, QStringLiteral("&Script"), WindowCommand::Script);
    addItem(tools, QStringLiteral("e-mail - Alert")); // offered, but has never done anything

    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    openWithShortcut(this, options, QKeySequence(Qt::CTRL | Qt::Key_O));
    placeholder(options, QStringLiteral("&Setup"), WindowCommand::Setup);
    placeholder(options, QStringLiteral("&Multichanneltron Setup"), WindowCommand::MultichanneltronSetup);
    placeholder(options, QStringLiteral("Make S&cript"), WindowCommand::MakeScript);

    // Monochromator commands on the bar itself.
    connect(bar->addAction(QStringLiteral("Get Pos !")), &QAction::triggered, this, &TForm1::GetPosClick);
    connect(bar->addAction(QStringLiteral("Stop Mono !")), &QAction::triggered, this, &TForm1::StopMonoClick);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    openWithShortcut(this, help, QKeySequence(Qt::CTRL | Qt::Key_H));
    placeholder(help, QStringLiteral("&Help"), WindowCommand::Help);
    placeholder(help, QStringLiteral("&Info"), WindowCommand::Info);
    addItem(help, QStringLiteral("&noch zu ändern"), false);
    connect(addItem(help, QStringLiteral("Bugs !!!!")), &QAction::triggered, this,
            [this] { openInDesktop(QStringLiteral("bugs.txt")); });
}

QAction* TForm1::windowCommand(WindowCommand command) const {
    auto it = windowCommands_.find(command);
    return it == windowCommands_.end() ? nullptr : it->second;
}

void TForm1::registerWindow(WindowCommand command, std::function<void()> open) {
    QAction* a = windowCommand(command);
    if (!a) return;
    a->setEnabled(true);
    // A menu whose items all wait for their windows ("&Data") opens once one of them is there.
    if (auto* menu = qobject_cast<QMenu*>(a->parent())) menu->menuAction()->setEnabled(true);
    connect(a, &QAction::triggered, this, std::move(open));
}

void TForm1::openTextFile() {
    auto path = ctx_.dialogs.chooseOpenFile("Open Textfile", settings_.store.saveDir,
                                            "Text files (*.txt);;All files (*)");
    if (!path) return;
    QString error;
    if (!editor_->loadFile(QString::fromStdString(*path), &error)) {
        ctx_.dialogs.error("Korvo 02", "Cannot open " + *path + "\r" + error.toStdString());
        return;
    }
    editor_->setWindowTitle(QStringLiteral("edit file"));
    editor_->show();
    editor_->raise();
}

void TForm1::saveTextFile() {
    auto path = ctx_.dialogs.chooseSaveFile("Save Textfile", settings_.store.saveDir, "",
                                            "Text files (*.txt);;All files (*)");
    if (!path || path->empty()) return;
    QString error;
    if (!editor_->saveFile(QString::fromStdString(*path), &error))
        ctx_.dialogs.error("Korvo 02", "Cannot save " + *path + "\r" + error.toStdString());
}

void TForm1::deleteFile() {
    auto path = ctx_.dialogs.chooseOpenFile("zu löschende Datei", settings_.store.saveDir, "All files (*)");
    if (!path || path->empty()) return;
    QFileInfo info(QString::fromStdString(*path));
    // Only plain files: a directory chosen by mistake is never removed.
    if (!info.isFile() || !QFile::remove(info.absoluteFilePath()))
        ctx_.dialogs.error("Korvo 02", "Cannot delete " + *path);
}

void TForm1::openInDesktop(const QString& fileName) {
    QString dir = settings_.store.startDir.empty() ? QDir::currentPath()
                                                   : QString::fromStdString(settings_.store.startDir);
    QString path = QDir(dir).filePath(fileName);
    if (!QFileInfo::exists(path)) {
        ctx_.dialogs.show(QDir::toNativeSeparators(path).toStdString() + " not found.");
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ctx_.dialogs.show("No program to show " + QDir::toNativeSeparators(path).toStdString() + ".");
}

} // namespace korvo
