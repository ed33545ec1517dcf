// The run buttons of the main window: each copies the fields from the controls where the run reads
// them and hands the press to the station's run engine.
#include "app/main_window.h"

#include <QComboBox>

namespace korvo {

void TForm1::Start_buttonClick() {
    RunEngine& engine = station_.engine;
    if (engine.running()) {
        // "Stop", pressed from inside the running measurement's waits.
        engine.requestStop();
        return;
    }
    controlsToFields();
    engine.startClicked(); // returns when the run has ended
}

void TForm1::ContinueClick() {
    // During a run only the pause flag changes; after a finished run the further scans run inside
    // this call.
    if (!station_.engine.running()) controlsToFields();
    station_.engine.continueClicked();
}

void TForm1::SkipScanClick() {
    station_.engine.skipScanClicked();
}

void TForm1::LastScanClick() {
    station_.engine.lastScanClicked();
}

void TForm1::SaveClick() {
    if (station_.engine.running()) return;
    controlsToFields();
    station_.engine.saveClicked();
    fieldsToControls();
}

void TForm1::ZufallClick() {
    RunEngine& engine = station_.engine;
    if (engine.running()) return;
    controlsToFields();
    const RandomFollowUp next = engine.randomTestStart(std::uint64_t(ctx_.clock.nowUs()));
    // Afterwards a random mode, kind and pass energy, so that the next press tries another setting.
    switchMode(next.machineMode);
    controlsToFields();
    fields_.kindOfMeasure = next.kindOfMeasure;
    fields_.passEnergyIndex = next.passEnergyIndex;
    fields_.passEnergyText = kPassEnergyItems[next.passEnergyIndex];
    fieldsToControls();
    PassEnergie_ComboBoxChange();
}

} // namespace korvo
