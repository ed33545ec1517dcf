#pragma once
// "HandScale": the active spectrum's range in four edits laid out as a cross, the scope and kind of
// scaling, and the buttons of the hand-scaling commands. The dialog only collects what was typed and
// which button was pressed; hand_scale.h does the rest.
#include "viewer/hand_scale.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korvo {

class TForm7 : public QDialog {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);

    // Fills the edits (the shifts back to 0, the factor to 1).
    void setTexts(const HandScaleTexts& texts);
    HandScaleTexts texts() const;
    // The button that closed the dialog; nothing for "Abort" or a closed dialog.
    std::optional<HandScaleAction> action() const { return action_; }

    QLineEdit* yMaxEdit() const { return yMax_; }
    QLineEdit* xMinEdit() const { return xMin_; }
    QLineEdit* xMaxEdit() const { return xMax_; }
    QLineEdit* yMinEdit() const { return yMin_; }
    QLineEdit* factorEdit() const { return factor_; }
    QLineEdit* yShiftEdit() const { return yShift_; }
    QLineEdit* xShiftEdit() const { return xShift_; }
    QCheckBox* xScaleBox() const { return xScale_; }
    QCheckBox* yScaleBox() const { return yScale_; }
    QRadioButton* allSpectraButton() const { return all_; }
    QRadioButton* activeSpectraButton() const { return marked_; }
    QRadioButton* absoluteButton() const { return absolute_; }
    QRadioButton* relativeButton() const { return relative_; }
    QPushButton* button(HandScaleAction a) const;
    QPushButton* abortButton() const { return abort_; }
    // "Do it !" of "Scienta-Mix" closed the dialog: the window runs the slice mix with these texts.
    bool mixRequested() const { return mixRequested_; }
    QLineEdit* mixSlicesEdit() const { return mixSlices_; }
    QLineEdit* mixOverlapEdit() const { return mixOverlap_; }
    QPushButton* mixButton() const { return mix_; }
    QPushButton* sliceSumButton() const { return sliceSum_; }

private:
    void finish(HandScaleAction a);

    std::optional<HandScaleAction> action_;
    bool mixRequested_ = false;
    QLineEdit *mixSlices_, *mixOverlap_;
    QLineEdit *yMax_, *xMin_, *xMax_, *yMin_, *factor_, *yShift_, *xShift_;
    QCheckBox *xScale_, *yScale_;
    QRadioButton *all_, *marked_, *absolute_, *relative_;
    QPushButton *ok_, *abort_, *reset_, *maximize_, *multiply_, *shifting_, *mix_, *sliceSum_;
};

} // namespace korvo
