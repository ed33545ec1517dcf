#include "acquisition/photon_command.h"

#include "acquisition/measurement_settings.h"
#include "common/number_text.h"

namespace korvo {

PhotonOutcome photonEnergyCommand(PhotonView& view, const std::string& photonText, Monochromator& mono,
                                  AcquisitionContext& ctx) {
    InstrumentValues& v = ctx.values;
    if (!mono.connected()) {
        ctx.dialogs.error(kInstrumentCaption, kMonoNotConnectedText);
        v.StopRequest = 1;
        return PhotonOutcome::Failed;
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
        return PhotonOutcome::Stopped;
    }

    // The link converts the energy into a wavelength; a text that is no number never reaches it.
    const auto photon = text::parseDouble(photonText);
    if (!photon) {
        ctx.dialogs.warning(kWarningCaption, notAFloatText(photonText));
        v.StopRequest = 1;
        return PhotonOutcome::Failed;
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
        return PhotonOutcome::Stopped;
    }
    if (v.MonoError != 0) {
        v.MonoQuiet = true;
        mono.MonoClose();
        mono.MonoOpen();
        mono.MonoGoEnergy(energy);
        v.MonoQuiet = false;
    }
    // A stop pressed during the retry is a stop, not a failure.
    PhotonOutcome outcome = PhotonOutcome::Reached;
    if (v.MonoStopRequest) {
        outcome = PhotonOutcome::Stopped;
    } else if (v.MonoError != 0) {
        outcome = PhotonOutcome::Failed;
        v.StopRequest = 1;
        ctx.dialogs.error(kInstrumentCaption, kMonoProblemText);
    }
    view.move = PhotonView::Move::Idle;
    return outcome;
}

PhotonOutcome photonMoveTo(PhotonView& view, std::string& field, const std::string& target,
                           Monochromator& mono, AcquisitionContext& ctx) {
    const std::string before = field;
    field = target;
    const PhotonOutcome outcome = photonEnergyCommand(view, target, mono, ctx);
    if (outcome == PhotonOutcome::Failed) field = mono.positionRead().value_or(before);
    return outcome;
}

} // namespace korvo
