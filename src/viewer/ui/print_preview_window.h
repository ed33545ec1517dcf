#pragma once
// The print preview Tform6: the page being composed (PageBitmap) shown stretched to its picture.
// The cell under the mouse is outlined; a left click puts the active viewer spectrum (CellBitmap)
// into it, a right press clears it. "Print" prints the composed page, "PrintSize" opens TForm4.
#include <QMainWindow>

#include <optional>

class QAction;

namespace korvo {

class Dialogs;
class PrintSettings;
class PrinterChoice;
class TForm4;

class Tform6 : public QMainWindow {
    Q_OBJECT
public:
    Tform6(PrintSettings& settings, PrinterChoice& printers, Dialogs& dialogs, TForm4& sizeDialog,
           QWidget* parent = nullptr);

    // The window and its picture take the sizes of the current scheme.
    void applyScheme();

    // ---- the picture's mouse, in picture pixels (public, so that tests drive it as the user would)
    void pictureMove(QPoint at);
    void picturePress(QPoint at, Qt::MouseButton button);
    struct Cell {
        int column = 0; // from 1
        int row = 0;
        bool operator==(const Cell&) const = default;
    };
    std::optional<Cell> outlinedCell() const { return outlined_; }
    void printCommand(); // "Print"

    QWidget* picture() const { return picture_; }
    QAction* printAction() const { return print_; }
    QAction* printSizeAction() const { return printSize_; }
    void paintPicture(QPainter& painter);

protected:
    void showEvent(QShowEvent* e) override;

private:
    PrintSettings& settings_;
    PrinterChoice& printers_;
    Dialogs& dialogs_;
    TForm4& sizeDialog_;
    QWidget* picture_;
    QAction* print_;
    QAction* printSize_;
    std::optional<Cell> outlined_;
};

} // namespace korvo
