#include "acquisition/photon_command.h"

#include "acquisition/measurement_settings.h"
#include "common/number_text.h"

namespace korvo {

bool photonEnergyCommand(PhotonView& view, const std::string& photonText, Monochromator& mono,
                         AcquisitionContext& ctx) {
    InstrumentValues& v = ctx.values;
    if (!mono.connected()) {
        ctx.dialogs.error(kInstrumentCaption, kMonoNotConnectedText);
        v.StopRequest = 1;
        return false;
    }

    if (view.moving()) {
        v.MonoStopRequest = true;
        v.StopRequest = 1;
        mono.MonoStop();
        if (v.MonoError != 0) {
            v.StopRequest = 1;
            ctx.dialogs.error(kInstrumentCaption, kMonoProblemText);
        }
        view.move = PhotonView::Move::Idle;
        return false;
    }

    // The link converts the energy into a wavelength; a text that is no number never reaches it.
    const auto photon = text::parseDouble(photonText);
    if (!photon) {
        ctx.dialogs.warning(kWarningCaption, notAFloatText(photonText));
        v.StopRequest = 1;
        return false;
    }

    v.MonoStopRequest = false;
    view.move = PhotonView::Move::Moving;
    const std::string energy = *photon == 0 ? mono.zeroOrderText() : photonText;

    v.MonoQuiet = true;
    mono.MonoGoEnergy(energy);
    v.MonoQuiet = false;
    // A move the user stopped is neither tried again (that would drive the monochromator on) nor
    // reported twice: the stop has set StopRequest and shown its own box if it failed.
    if (v.MonoStopRequest) {
        view.move = PhotonView::Move::Idle;
        return false;
    }
    if (v.MonoError != 0) {
        v.MonoQuiet = true;
        mono.MonoClose();
        mono.MonoOpen();
        mono.MonoGoEnergy(energy);
        v.MonoQuiet = false;
    }
    const bool ok = v.MonoError == 0;
    if (!ok) {
        v.StopRequest = 1;
        ctx.dialogs.error(kInstrumentCaption, kMonoProblemText);
    }
    view.move = PhotonView::Move::Idle;
    return ok;
}

} // namespace korvo
