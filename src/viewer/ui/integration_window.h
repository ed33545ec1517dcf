#pragma once
// The integration window (TForm13): the four lines of the integration's parameters, its area and
// "Close"; shown beside the viewer without blocking it.
#include "viewer/analysis/integration.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace korvo {

class TForm13 : public QWidget {
    Q_OBJECT
public:
    explicit TForm13(QWidget* parent = nullptr);
    void show(const analysis::Integration& result);
    QString memoText() const;
    QString areaText() const;

private:
    QPlainTextEdit* memo_ = nullptr;
    QLabel* area_ = nullptr;
};

} // namespace korvo
