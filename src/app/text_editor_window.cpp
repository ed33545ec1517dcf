#include "app/text_editor_window.h"

#include "common/file_util.h"
#include "common/text_codec.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace korvo {

TextEditorWindow::TextEditorWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("edit file"));
    edit_ = new QPlainTextEdit(this);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit_);
    resize(520, 420);
}

bool TextEditorWindow::loadFile(const QString& path, QString* error) {
    std::string why;
    auto bytes = readFile(path.toStdString(), &why, static_cast<std::size_t>(kMaxBytes));
    if (!bytes) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    QString text = QString::fromStdString(fileTextToUtf8(*bytes));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace('\r', '\n');
    edit_->setPlainText(text);
    return true;
}

bool TextEditorWindow::saveFile(const QString& path, QString* error) const {
    QString text = edit_->toPlainText();
    text.replace('\n', QStringLiteral("\r\n"));
    std::string why;
    if (!writeFileAtomic(path.toStdString(), utf8ToWindows1252(text.toStdString()), &why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    return true;
}

QString TextEditorWindow::text() const {
    return edit_->toPlainText();
}

void TextEditorWindow::setText(const QString& text) {
    edit_->setPlainText(text);
}

} // namespace korvo
