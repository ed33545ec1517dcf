#include "common/qt/qt_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace korvo {

QString dialogCaption(const std::string& caption) {
    return QString::fromStdString(caption.empty() ? std::string(kProgramCaption) : caption);
}

QString dialogText(const std::string& text) {
    QString t = QString::fromStdString(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

QMessageBox::Icon dialogIcon(DialogIcon icon) {
    switch (icon) {
    case DialogIcon::Information:
        return QMessageBox::Information;
    case DialogIcon::Warning:
        return QMessageBox::Warning;
    case DialogIcon::Error:
        return QMessageBox::Critical;
    case DialogIcon::Question:
        return QMessageBox::Question;
    case DialogIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons dialogButtons(DialogButtons buttons) {
    switch (buttons) {
    case DialogButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case DialogButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case DialogButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case DialogButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

DialogAnswer dialogAnswer(int clicked, DialogButtons buttons) {
    switch (clicked) {
    case QMessageBox::Ok:
        return DialogAnswer::Ok;
    case QMessageBox::Yes:
        return DialogAnswer::Yes;
    case QMessageBox::No:
        return DialogAnswer::No;
    case QMessageBox::Cancel:
        return DialogAnswer::Cancel;
    default:
        break;
    }
    switch (buttons) {
    case DialogButtons::Ok:
        return DialogAnswer::Ok;
    case DialogButtons::YesNo:
        return DialogAnswer::No;
    case DialogButtons::OkCancel:
    case DialogButtons::YesNoCancel:
        break;
    }
    return DialogAnswer::Cancel;
}

QString dialogFilter(const std::string& filter) {
    const QString f = QString::fromStdString(filter);
    if (!f.contains(QLatin1Char('|'))) return f;
    const QStringList parts = f.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString& name = parts[i];
        // Names often already show their patterns ("Spectra (*.dat)"); Qt takes the patterns from
        // the last parenthesis, so a name is only extended when it carries none.
        entries << (name.contains(QLatin1Char('(')) && name.trimmed().endsWith(QLatin1Char(')'))
                        ? name.left(name.lastIndexOf(QLatin1Char('('))) + QLatin1Char('(') + patterns +
                              QLatin1Char(')')
                        : name + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

namespace {

void prepareMessageBox(QMessageBox& box) {
    // Texts carry INI values, file names and file contents; "<h1>" in one of them must show as typed
    // and not swallow the rest of the message.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
}

} // namespace

void QtDialogs::showMessage(const std::string& caption, const std::string& text, DialogIcon icon) {
    QMessageBox box(dialogIcon(icon), dialogCaption(caption), dialogText(text), QMessageBox::Ok, parent_);
    prepareMessageBox(box);
    box.exec();
}

DialogAnswer QtDialogs::ask(const std::string& caption, const std::string& text, DialogIcon icon,
                            DialogButtons buttons) {
    QMessageBox box(dialogIcon(icon), dialogCaption(caption), dialogText(text), dialogButtons(buttons),
                    parent_);
    prepareMessageBox(box);
    if (buttons == DialogButtons::YesNo) box.setEscapeButton(QMessageBox::No);
    return dialogAnswer(box.exec(), buttons);
}

std::optional<std::string> QtDialogs::chooseOpenFile(const std::string& caption, const std::string& dir,
                                                     const std::string& filter) {
    const QString file = QFileDialog::getOpenFileName(parent_, dialogCaption(caption),
                                                      QString::fromStdString(dir), dialogFilter(filter));
    if (file.isEmpty()) return std::nullopt;
    return file.toStdString();
}

std::optional<std::string> QtDialogs::chooseSaveFile(const std::string& caption, const std::string& dir,
                                                     const std::string& proposed, const std::string& filter) {
    QString start = QString::fromStdString(dir);
    if (!proposed.empty()) start = QDir(start).filePath(QString::fromStdString(proposed));
    const QString file =
        QFileDialog::getSaveFileName(parent_, dialogCaption(caption), start, dialogFilter(filter));
    if (file.isEmpty()) return std::nullopt;
    return file.toStdString();
}

} // namespace korvo
