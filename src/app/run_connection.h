#pragma once
// What the station's run shows, in the main window's controls: the live plot, captions and enabling
// of the run buttons, the labels, the progress strip, field texts, the info box and the channel list.
// Owned by the window (its Qt child).
#include "acquisition/run/run_display.h"
#include "acquisition/station.h"

#include <QObject>

namespace korvo {

class TForm1;
class LiveDisplay;

class RunConnection final : public QObject, public RunDisplay {
    Q_OBJECT
public:
    // Becomes the station's run display; the energy read-outs of the card routines go to the window.
    RunConnection(TForm1& window, Station& station);

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
    TForm1& window_;
    LiveDisplay* live_ = nullptr;
    int stripExtra_ = -1, stripDone_ = -1; // last strip drawn, to skip identical ones
};

} // namespace korvo
