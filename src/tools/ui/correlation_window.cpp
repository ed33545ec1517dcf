#include "tools/ui/correlation_window.h"

#include "tools/correlation.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvo {
namespace {

QString lines(const std::vector<std::string>& texts) {
    QStringList out;
    for (const std::string& t : texts) out << QString::fromStdString(t);
    return out.join(QLatin1Char('\n'));
}

} // namespace

TForm21::TForm21(Dialogs& dialogs, EventPump& pump, QWidget* parent)
    : QWidget(parent, Qt::Window), dialogs_(dialogs), pump_(pump) {
    setWindowTitle(QStringLiteral("Korrelation"));
    workingDirectory = [] { return QDir::currentPath().toStdString(); };

    auto* boxes = new QGridLayout;
    for (int c = 1; c <= kChanneltrons; ++c) {
        auto* box = new QCheckBox(QStringLiteral("Channeltron %1").arg(c), this);
        box->setChecked(true);
        boxes->addWidget(box, (c - 1) % 3, (c - 1) / 3);
        channeltrons_[static_cast<std::size_t>(c - 1)] = box;
    }
    ableiten_ = new QCheckBox(QStringLiteral("Ableiten"), this);
    make_ = new QPushButton(QStringLiteral("Make Korrelation"), this);
    progress_ = new QLabel(QString::fromStdString(progressText(0, 0, 0)), this);
    results_ = new QPlainTextEdit(this);
    offsets_ = new QPlainTextEdit(this);

    auto* controls = new QHBoxLayout;
    controls->addWidget(ableiten_);
    controls->addWidget(make_);
    controls->addWidget(progress_);
    controls->addStretch();
    auto* texts = new QHBoxLayout;
    texts->addWidget(results_);
    texts->addWidget(offsets_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addLayout(controls);
    layout->addLayout(texts);
    resize(560, 420);

    connect(make_, &QPushButton::clicked, this, [this] { MakeKorrelationClick(); });
}

void TForm21::MakeKorrelationClick() {
    if (running_) return;
    const std::string dir = workingDirectory();
    const auto path = dialogs_.chooseOpenFile("Korrelation", dir, "All files (*)");
    if (!path) return;
    running_ = true;
    make_->setEnabled(false);
    results_->clear();
    offsets_->clear();
    pump_.pump();

    CorrelationOptions options;
    for (int c = 0; c < kChanneltrons; ++c)
        options.ticked[static_cast<std::size_t>(c)] = channeltrons_[static_cast<std::size_t>(c)]->isChecked();
    options.derivative = ableiten_->isChecked();

    std::string error;
    const ChanneltronSpectrumRead read = readChanneltronSpectrumFile(*path);
    if (!read) {
        error = read.error;
    } else {
        const CorrelationResult result =
            correlateChanneltrons(read.spectrum, options, [this](int done, int total, int points) {
                progress_->setText(QString::fromStdString(progressText(done, total, points)));
                pump_.pump();
            });
        if (!result) {
            error = result.error;
        } else {
            results_->setPlainText(lines(result.summary));
            offsets_->setPlainText(lines(result.offsetLines));
            writeCorrelationFiles(result, dir, error);
        }
    }
    make_->setEnabled(true);
    running_ = false;
    if (!error.empty()) dialogs_.show(error);
}

} // namespace korvo
