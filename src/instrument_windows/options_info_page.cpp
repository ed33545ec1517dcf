#include "instrument_windows/options_info_page.h"

#include "acquisition/measurement_settings.h"
#include "common/number_text.h"
#include "common/platform_info.h"
#include "instrument_windows/options_widgets.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

namespace korvo {

namespace {

QString programInfo(const std::string& iniPath) {
    QStringList lines;
    lines << QStringLiteral("Korvo '02  -  version %1").arg(QStringLiteral(KORVO_VERSION))
          << QStringLiteral("Measurement program of the photoemission end station: analyser card, "
                            "monochromator, main motor, manipulator, Keithley electrometers, ring current.")
          << QString()
          << QStringLiteral("System: %1 %2 (%3)")
                 .arg(QSysInfo::kernelType(), QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture())
          << QStringLiteral("User: %1").arg(QString::fromStdString(loggedOnUserName()))
          << QStringLiteral("Settings: %1").arg(QString::fromStdString(iniPath))
          << QString()
          << QStringLiteral("Serial links: \"COM 1\" .. \"COM 4\" are the devices named in the settings "
                            "file, section [ports], keys COM1 .. COM4 (defaults /dev/ttyS0 .. /dev/ttyS3). "
                            "A device typed into a page's \"Device:\" box is used instead, e.g. the "
                            "pseudo-terminal that korvo-sim prints.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace

InfoPage::InfoPage(Station& station, const std::string& iniPath, QWidget* parent)
    : QWidget(parent), station_(station) {
    auto* column = new QVBoxLayout(this);
    text_ = new QPlainTextEdit(programInfo(iniPath), this);
    // Information only: no key changes it.
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(text_);

    auto* row = new QHBoxLayout;
    timeGroup_ = new QGroupBox(QStringLiteral("time correction"), this);
    auto* timeRow = new QHBoxLayout(timeGroup_);
    time_ = new QLineEdit(timeGroup_);
    timeRow->addWidget(time_);
    timeRow->addWidget(actionButton("Change", timeGroup_, [this] { changeClicked(); }));
    colourGroup_ = new QGroupBox(QStringLiteral("Color "), this);
    auto* colourRow = new QHBoxLayout(colourGroup_);
    colourRow->addWidget(actionButton("Reset", colourGroup_, [this] { resetClicked(); }));
    for (QGroupBox* g : {timeGroup_, colourGroup_}) {
        keepPlaceWhenHidden(g);
        row->addWidget(g);
        g->hide();
    }
    row->addStretch();
    column->addLayout(row);
    showTimeCorrection();
}

void InfoPage::setHiddenGroupsVisible(bool visible) {
    timeGroup_->setVisible(visible);
    colourGroup_->setVisible(visible);
}

void InfoPage::showTimeCorrection() {
    showText(time_, std::to_string(station_.state.TimeCorrection));
}

void InfoPage::changeClicked() {
    const std::string typed = time_->text().toStdString();
    const auto ms = text::parseInt(typed);
    if (!ms) {
        station_.ctx.dialogs.warning(kWarningCaption, typed + " is no whole number of milliseconds.");
        showTimeCorrection();
        return;
    }
    // The next run copies the settings state (which the INI file keeps); the option says the same.
    station_.state.TimeCorrection = *ms;
    station_.ctx.options.timeCorrection = *ms;
    if (closeWindow) closeWindow();
}

void InfoPage::resetClicked() {
    station_.settings.store.plotColour = kResetPlotColour;
    if (closeWindow) closeWindow();
    if (plotColourReset) plotColourReset();
}

} // namespace korvo
