#include "instrument_windows/options_tests_page.h"

#include "acquisition/measurement_settings.h"
#include "common/number_text.h"
#include "instrument_windows/options_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

namespace korvo {

namespace {

// Upper limit (exclusive) of each switching point and the range it belongs to.
struct SwitchLimit {
    double limit;
    const char* message;
};
constexpr std::array<SwitchLimit, 3> kSwitchLimits{{
    {80, "Switching Point \"81.92\" to big !"},
    {140, "Switching Point \"163.84\" to big !"},
    {1600, "Switching Point \"1638.4\" to big !"},
}};

constexpr std::array<const char*, 3> kCards{"test", "sim", "port"};

std::string hexDigits(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "$%0*X", digits, value);
    return buffer;
}

// The read-outs carry the access-key marks of their labels ("&Inner Hemisphere : ..."); a label
// without a buddy would show the "&".
QString withoutAccessKey(const std::string& text) {
    QString t = QString::fromStdString(text);
    const qsizetype amp = t.indexOf(QLatin1Char('&'));
    if (amp >= 0 && amp + 1 < t.size() && t[amp + 1] != QLatin1Char('&')) t.remove(amp, 1);
    return t;
}

void paintLamp(QLabel* lamp, bool on) {
    lamp->setStyleSheet(on ? QStringLiteral("background: red; border: 1px solid black; border-radius: 7px;")
                           : QStringLiteral("background: lime; border: 1px solid black; border-radius: 7px;"));
}

} // namespace

AnalyserTestsPage::AnalyserTestsPage(Station& station, PortIo& port, QWidget* parent)
    : QWidget(parent), station_(station), options_(station.ctx.options), port_(port) {
    auto* column = new QVBoxLayout(this);
    test_ = new QCheckBox(QStringLiteral("Test (without Analysator)"), this);
    test_->setObjectName(QStringLiteral("test_ohne_analysator"));
    QObject::connect(test_, &QCheckBox::toggled, this, [this](bool on) { options_.testWithoutAnalyser = on; });
    column->addWidget(test_);
    enableTests_ = new QCheckBox(QStringLiteral("Enable all tests !  (Only for tests ! Do not use !)"), this);
    enableTests_->setObjectName(QStringLiteral("Enable_tests"));
    QObject::connect(enableTests_, &QCheckBox::toggled, this, [this](bool on) {
        options_.enableTests = on;
        panel_->setVisible(on);
        if (testsEnabledChanged) testsEnabledChanged(on);
    });
    column->addWidget(enableTests_);

    panel_ = new QWidget(this);
    auto* panelRow = new QHBoxLayout(panel_);
    panelRow->setContentsMargins(0, 0, 0, 0);
    createSwitchPoints(panel_);
    createPortTests(panel_);
    keepPlaceWhenHidden(panel_);
    column->addWidget(panel_);
    column->addWidget(createDisplays());
    column->addStretch();
    refresh();
}

void AnalyserTestsPage::createSwitchPoints(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Switching Points"), parent);
    auto* grid = new QGridLayout(box);
    const std::array<const std::string*, 3> texts{&options_.switchPoint1, &options_.switchPoint2,
                                                  &options_.switchPoint3};
    const char* ranges[3] = {"81.92 eV :", "163.84 eV :", "1638.4 eV :"};
    for (std::size_t i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(QString::fromLatin1(ranges[i]), box), int(i), 0);
        accepted_[i] = *texts[i];
        points_[i] = new QLineEdit(QString::fromStdString(accepted_[i]), box);
        // The run takes what the box shows as it is typed; a value the range cannot take is refused
        // when the box is left, and the box shows the value in use again.
        QObject::connect(points_[i], &QLineEdit::textEdited, this, [this, i] { switchPointEdited(i); });
        QObject::connect(points_[i], &QLineEdit::editingFinished, this, [this, i] { switchPointFinished(i); });
        grid->addWidget(points_[i], int(i), 1);
    }
    setValue_ = actionButton("Set Value !", box, [this] { setValueClicked(); });
    grid->addWidget(setValue_, 3, 0, 1, 2);
    parent->layout()->addWidget(box);
}

void AnalyserTestsPage::createPortTests(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Port Tests"), parent);
    auto* grid = new QGridLayout(box);
    address_ = new QLineEdit(QStringLiteral("$0378"), box);
    byte_ = new QLineEdit(QStringLiteral("$FF"), box);
    grid->addWidget(new QLabel(QStringLiteral("Address :"), box), 0, 0);
    grid->addWidget(address_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Byte :"), box), 0, 2);
    grid->addWidget(byte_, 0, 3);
    grid->addWidget(actionButton("Set Byte", box, [this] { setByteClicked(); }), 1, 1);
    grid->addWidget(actionButton("Read Byte", box, [this] { readByteClicked(); }), 1, 3);
    low_ = new QLineEdit(QStringLiteral("$0510"), box);
    high_ = new QLineEdit(QStringLiteral("$0514"), box);
    word_ = new QLineEdit(QStringLiteral("$0000"), box);
    wordDecimal_ = new QLabel(box);
    grid->addWidget(new QLabel(QStringLiteral("L-Address :"), box), 2, 0);
    grid->addWidget(low_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("H-Address :"), box), 2, 2);
    grid->addWidget(high_, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("Word :"), box), 3, 0);
    grid->addWidget(word_, 3, 1);
    grid->addWidget(wordDecimal_, 3, 2, 1, 2);
    grid->addWidget(actionButton("Set Word", box, [this] { setWordClicked(); }), 4, 1);
    grid->addWidget(actionButton("Read Word", box, [this] { readWordClicked(); }), 4, 3);
    parent->layout()->addWidget(box);
}

QWidget* AnalyserTestsPage::createDisplays() {
    auto* box = new QGroupBox(QStringLiteral("Analyser"), this);
    auto* grid = new QGridLayout(box);
    auto* lampRow = new QHBoxLayout;
    lampRow->addWidget(new QLabel(QStringLiteral("Control byte (bit 7 .. 0) :"), box));
    for (int bit = 7; bit >= 0; --bit) {
        auto* lamp = new QLabel(box);
        lamp->setFixedSize(14, 14);
        lamp->setToolTip(QStringLiteral("bit %1").arg(bit));
        paintLamp(lamp, false);
        lamps_[std::size_t(bit)] = lamp;
        lampRow->addWidget(lamp);
    }
    lampRow->addStretch();
    grid->addLayout(lampRow, 0, 0, 1, 2);
    for (std::size_t i = 0; i < readouts_.size(); ++i) {
        readouts_[i] = new QLabel(box);
        readouts_[i]->setTextFormat(Qt::PlainText);
        // Voltage, monitor and the hemispheres down the left, the lenses on the right.
        grid->addWidget(readouts_[i], 1 + int(i < 5 ? i : i - 5), i < 5 ? 0 : 1);
    }
    showReadouts(AnalyserReadouts{"Voltage (0..10V) ( x ) :", "", "&Inner Hemisphere : ",
                                  "&Outer Hemisphere : ", "&Retard : ", "", "", ""});

    lens_ = new QComboBox(box);
    for (int i = 1; i <= 5; ++i) lens_->addItem(QStringLiteral("Lens Mode %1").arg(i));
    lens_->setPlaceholderText(QStringLiteral("Lens Mode"));
    lens_->setCurrentIndex(options_.lensIndex);
    QObject::connect(lens_, &QComboBox::currentIndexChanged, this, [this](int i) { options_.lensIndex = i; });
    grid->addWidget(lens_, 6, 0);

    auto* cardRow = new QHBoxLayout;
    cardRow->addWidget(new QLabel(QStringLiteral("Analyser card (takes effect at the next start) :"), box));
    card_ = new QComboBox(box);
    for (const char* c : kCards) card_->addItem(QString::fromLatin1(c));
    QObject::connect(card_, &QComboBox::activated, this,
                     [this](int i) { station_.settings.store.card = kCards.at(std::size_t(i)); });
    cardRow->addWidget(card_);
    cardInUse_ = new QLabel(box);
    cardRow->addWidget(cardInUse_);
    cardRow->addStretch();
    grid->addLayout(cardRow, 7, 0, 1, 2);
    return box;
}

void AnalyserTestsPage::refresh() {
    showChecked(test_, options_.testWithoutAnalyser);
    test_->setEnabled(options_.testSwitchEnabled);
    showChecked(enableTests_, options_.enableTests);
    panel_->setVisible(options_.enableTests);
    const int card = card_->findText(QString::fromStdString(station_.settings.store.card));
    if (card >= 0) card_->setCurrentIndex(card);
}

void AnalyserTestsPage::setCardInUse(const std::string& card) {
    cardInUse_->setText(QStringLiteral("(in use: %1)").arg(QString::fromStdString(card)));
}

void AnalyserTestsPage::showLamps(std::uint8_t controlByte) {
    const std::string bits = text::IntToBinText(controlByte);
    // A 0 bit green, a 1 bit red; the text holds bit 7 first.
    for (int bit = 0; bit < 8; ++bit) paintLamp(lamps_[std::size_t(bit)], bits[bits.size() - 1 - std::size_t(bit)] == '1');
}

void AnalyserTestsPage::showReadouts(const AnalyserReadouts& r) {
    const std::array<std::string, 8> texts{r.voltage, "Monitor : " + r.monitor, r.inner, r.outer,
                                           r.retard,  r.lens1,                  r.lens2, r.lens3};
    for (std::size_t i = 0; i < texts.size(); ++i) readouts_[i]->setText(withoutAccessKey(texts[i]));
}

std::string& AnalyserTestsPage::switchPointOption(std::size_t i) {
    return i == 0 ? options_.switchPoint1 : i == 1 ? options_.switchPoint2 : options_.switchPoint3;
}

bool AnalyserTestsPage::switchPointAcceptable(std::size_t i, const std::string& typed) const {
    const auto v = text::parseDouble(typed);
    return v && *v < kSwitchLimits[i].limit;
}

// Tells why `typed` cannot be the switching point and shows the one in use again.
void AnalyserTestsPage::refuseSwitchPoint(std::size_t i, const std::string& typed) {
    if (!text::parseDouble(typed))
        station_.ctx.dialogs.warning(kWarningCaption, notAFloatText(typed));
    else
        station_.ctx.dialogs.information("", kSwitchLimits[i].message);
    showText(points_[i], switchPointOption(i));
    markSwitchPoint(i, true);
}

void AnalyserTestsPage::markSwitchPoint(std::size_t i, bool inUse) {
    points_[i]->setStyleSheet(inUse ? QString() : QStringLiteral("color: red;"));
    points_[i]->setToolTip(inUse ? QString()
                                 : QStringLiteral("Not taken: the run uses %1")
                                       .arg(QString::fromStdString(switchPointOption(i))));
}

void AnalyserTestsPage::switchPointEdited(std::size_t i) {
    const std::string typed = points_[i]->text().toStdString();
    // A text on its way to a refused value (or the value in use before the edit) leaves that value
    // in use, never a prefix typed on the way.
    const bool takes = switchPointAcceptable(i, typed) || typed == accepted_[i];
    switchPointOption(i) = takes ? typed : accepted_[i];
    markSwitchPoint(i, takes);
}

void AnalyserTestsPage::switchPointFinished(std::size_t i) {
    const std::string typed = points_[i]->text().toStdString();
    if (typed != switchPointOption(i)) refuseSwitchPoint(i, typed);
    accepted_[i] = switchPointOption(i);
}

void AnalyserTestsPage::setValueClicked() {
    // Each point is checked on its own; one that is refused keeps the value in use, and the box
    // shows it again.
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const std::string typed = points_[i]->text().toStdString();
        if (switchPointAcceptable(i, typed)) {
            switchPointOption(i) = typed;
            markSwitchPoint(i, true);
        } else {
            refuseSwitchPoint(i, typed);
        }
        accepted_[i] = switchPointOption(i);
    }
}

std::optional<std::uint16_t> AnalyserTestsPage::hexValue(QLineEdit* edit, int max, const char* what) {
    const std::string typed = edit->text().toStdString();
    const std::int32_t v = text::HexTextToInt(typed);
    if (v < 0 || v > max) {
        const int digits = max > 0xFF ? 4 : 2;
        station_.ctx.dialogs.information("", typed + " is no " + what + " (" + hexDigits(0, digits) + " to " +
                                                 hexDigits(unsigned(max), digits) + ") !");
        return std::nullopt;
    }
    return std::uint16_t(v);
}

void AnalyserTestsPage::setByteClicked() {
    const auto address = hexValue(address_, 0xFFFF, "port address");
    const auto value = address ? hexValue(byte_, 0xFF, "byte") : std::nullopt;
    if (!value) return;
    station_.ctx.dialogs.information("", std::to_string(*address) + " : " + std::to_string(*value));
    port_.PortWrite(*address, std::uint8_t(*value));
}

void AnalyserTestsPage::readByteClicked() {
    const auto address = hexValue(address_, 0xFFFF, "port address");
    if (!address) return;
    showText(byte_, hexDigits(port_.PortRead(*address), 2));
}

void AnalyserTestsPage::setWordClicked() {
    const auto low = hexValue(low_, 0xFFFF, "port address");
    const auto high = low ? hexValue(high_, 0xFFFF, "port address") : std::nullopt;
    const auto word = high ? hexValue(word_, 0xFFFF, "word") : std::nullopt;
    if (!word) return;
    port_.PortWrite(*low, std::uint8_t(*word & 0xFF));
    port_.PortWrite(*high, std::uint8_t(*word >> 8));
}

void AnalyserTestsPage::readWordClicked() {
    const auto low = hexValue(low_, 0xFFFF, "port address");
    const auto high = low ? hexValue(high_, 0xFFFF, "port address") : std::nullopt;
    if (!high) return;
    const unsigned lo = port_.PortRead(*low);
    const unsigned hi = port_.PortRead(*high);
    const unsigned word = hi << 8 | lo;
    showText(word_, hexDigits(word, 4));
    wordDecimal_->setText(QString::number(word));
}

} // namespace korvo
