#include "viewer/ui/satellite_dialog.h"

#include "common/dialogs.h"
#include "common/number_text.h"

#include <QFormLayout>

#include <algorithm>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace korvo {

using analysis::SatelliteSource;

namespace {

constexpr int kNarrowWidth = 280;
constexpr int kUserWidth = 180;

const char* const kHelp =
    "Satellite removing (IDH_sat)\n\n"
    "A gas-discharge lamp or an X-ray anode without monochromator emits further lines besides its main "
    "line, so every peak reappears weaker and shifted. For each chosen spectrum every point loses the "
    "count found E1 lower in energy times I1 and the count found E2 lower times I2.\n\n"
    "Choose the spectra, the source (or \"user dif.\" with your own shifts and intensities) and press "
    "\"Remove\".";

} // namespace

TForm16::TForm16(Dialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
    setWindowTitle(QStringLiteral("Satellite removing"));
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left->addWidget(list_);
    auto* sourceBox = new QGroupBox(QStringLiteral("Source :"), this);
    auto* sl = new QVBoxLayout(sourceBox);
    const std::array<const char*, 5> captions = {"HeI", "He II", "Al   K alpha", "Mg K alpha", "user dif."};
    for (std::size_t i = 0; i < captions.size(); ++i) {
        sources_[i] = new QRadioButton(QString::fromLatin1(captions[i]), sourceBox);
        sl->addWidget(sources_[i]);
        const auto s = static_cast<SatelliteSource>(i);
        connect(sources_[i], &QRadioButton::toggled, this, [this, s](bool on) {
            if (on) sourceChosen(s);
        });
    }
    left->addWidget(sourceBox);
    auto* buttons = new QHBoxLayout;
    remove_ = new QPushButton(QStringLiteral("Remove"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    help_ = new QPushButton(QStringLiteral("Help"), this);
    buttons->addWidget(remove_);
    buttons->addWidget(cancel);
    buttons->addWidget(help_);
    left->addLayout(buttons);
    top->addLayout(left);

    userGroup_ = new QGroupBox(QStringLiteral("user defined"), this);
    auto* form = new QFormLayout(userGroup_);
    const analysis::SatelliteLines d = analysis::satelliteLines(SatelliteSource::User);
    const std::array<std::pair<const char*, double>, 4> fields = {
        {{"Energy shift 1", d.e1}, {"rel. Intensity 1", d.i1}, {"Energy Shift 2", d.e2}, {"rel. Intensity 2", d.i2}}};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        user_[i] = new QLineEdit(QString::fromStdString(text::plainNumber(fields[i].second)), userGroup_);
        form->addRow(QString::fromLatin1(fields[i].first), user_[i]);
    }
    userGroup_->setFixedWidth(kUserWidth - 10);
    userGroup_->hide();
    top->addWidget(userGroup_);

    connect(remove_, &QPushButton::clicked, this, &TForm16::removeClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help_, &QPushButton::clicked, this,
            [this] { dialogs_.message("Satellite removing", kHelp, DialogIcon::Information); });
    resize(kNarrowWidth, 360);
}

void TForm16::setSpectra(const std::vector<std::string>& shortNames) {
    list_->clear();
    for (const std::string& n : shortNames) list_->addItem(QString::fromStdString(n));
}

std::vector<int> TForm16::chosenPositions() const {
    std::vector<int> out;
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->isSelected()) out.push_back(i + 1);
    return out;
}

void TForm16::sourceChosen(SatelliteSource s) {
    const bool user = s == SatelliteSource::User;
    if (user == !userGroup_->isHidden()) return;
    userGroup_->setVisible(user);
    layout()->activate(); // the minimum width follows the group at once
    // 280 pixels without the group, or as narrow as the controls allow.
    resize(user ? width() + kUserWidth : std::max(kNarrowWidth, minimumSizeHint().width()), height());
}

void TForm16::removeClicked() {
    int chosen = -1;
    for (std::size_t i = 0; i < sources_.size(); ++i)
        if (sources_[i]->isChecked()) chosen = int(i);
    if (chosen < 0) {
        dialogs_.message("", "Error : You have not chosen a source !!!", DialogIcon::None);
        return;
    }
    const auto source = static_cast<SatelliteSource>(chosen);
    if (source != SatelliteSource::User) {
        lines_ = analysis::satelliteLines(source);
    } else {
        double* fields[] = {&lines_.e1, &lines_.i1, &lines_.e2, &lines_.i2};
        analysis::SatelliteLines read;
        double* into[] = {&read.e1, &read.i1, &read.e2, &read.i2};
        for (std::size_t i = 0; i < 4; ++i) {
            const text::Parsed<double> v = text::parseDouble(user_[i]->text().toStdString());
            if (!v) {
                // Built up in place: "'" + text reads to GCC 12 as an overlapping copy (-Wrestrict).
                std::string why(1, '\'');
                why += user_[i]->text().toStdString();
                why += "' is not a valid floating point value";
                dialogs_.message("", why, DialogIcon::Error);
                return;
            }
            *into[i] = *v;
        }
        for (std::size_t i = 0; i < 4; ++i) *fields[i] = *into[i];
    }
    accept();
}

} // namespace korvo
