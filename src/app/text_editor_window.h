#pragma once
// The small "edit file" window: one multi-line text box that the File menu loads, saves and shows.
#include <QWidget>

class QPlainTextEdit;

namespace korvo {

class TextEditorWindow : public QWidget {
    Q_OBJECT
public:
    explicit TextEditorWindow(QWidget* parent = nullptr);

    // Loads the file as text (UTF-8 when valid, else Windows-1252); false with a reason when it
    // cannot be read or is too large for a text box.
    bool loadFile(const QString& path, QString* error);
    // Writes the text with CR LF line ends, replacing the file atomically.
    bool saveFile(const QString& path, QString* error) const;

    QString text() const;
    void setText(const QString& text);
    QPlainTextEdit* editor() const { return edit_; }

    // Files beyond this size are refused rather than loaded into a text box.
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

private:
    QPlainTextEdit* edit_;
};

} // namespace korvo
