#pragma once
// Connects the main window to the measurement run: the run buttons and "&Save Measurements" reach
// the run engine, and everything the run shows (live plot, captions, labels, progress strip, field
// texts, info box, channel list) reaches the window's controls. Owned by the window (its Qt child).
#include "acquisition/analyser_io/analyser_io.h"
#include "acquisition/run/run_display.h"
#include "acquisition/run/run_engine.h"
#include "acquisition/run/saving.h"

#include <QObject>

namespace korvo {

class TForm1;
class LiveDisplay;

class RunConnection final : public QObject, public RunDisplay {
    Q_OBJECT
public:
    // `port` is the analyser card back end chosen at start-up; it must outlive the run. The timer is
    // programmed at once; a card that does not answer the presence test leaves the program in its
    // test mode.
    RunConnection(TForm1& window, PortIo& port);

    RunEngine& engine() { return engine_; }
    Measurement& measurement() { return measurement_; }
    MeasurementSaver& saver() { return saver_; }
    AnalyserIo& analyser() { return io_; }
    LiveDisplay& live() { return *live_; }

    // RunDisplay
    void runStarted() override;
    void drawPoint(std::size_t record) override;
    void redraw() override;
    void measurementsLabel(const std::string& text) override;
    void progress(const ProgressStrip& strip) override;
    void controlsChanged(const RunControls& controls) override;
    void fieldsChanged() override;
    void rangeText(const std::string& text) override;
    void extraPoints(std::int64_t count) override;
    void channelList(const std::vector<std::string>& items) override;

private:
    void startClicked();
    void continueClicked();
    void saveClicked();
    void randomStartClicked();
    // The saver works on copies of the window's directories and last file name: in before a run or
    // a save, back out after it.
    void settingsToSaver();
    void saverToSettings();

    TForm1& window_;
    Measurement measurement_;
    AnalyserIo io_;
    MeasurementSaver saver_;
    RunEngine engine_;
    LiveDisplay* live_ = nullptr;
    int stripExtra_ = -1, stripDone_ = -1; // last strip drawn, to skip identical ones
};

} // namespace korvo
