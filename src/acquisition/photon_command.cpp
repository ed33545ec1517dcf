#include "acquisition/photon_command.h"

#include "acquisition/measurement_settings.h"
#include "common/number_text.h"

namespace korvo {

namespace {

void backToIdle(PhotonView& view) {
    view.caption = PhotonView::kSetCaption;
    view.colour = PhotonView::kIdleColour;
}

} // namespace

bool photonEnergyCommand(PhotonView& view, AcquisitionContext& ctx) {
    InstrumentValues& v = ctx.values;
    InstrumentLinks& link = *ctx.links;
    if (!link.monoConnected()) {
        ctx.dialogs.error(kInstrumentCaption, kMonoNotConnectedText);
        v.StopRequest = 1;
        return false;
    }

    if (view.caption == PhotonView::kStopCaption) {
        v.MonoStopRequest = true;
        v.StopRequest = 1;
        link.MonoStop();
        if (v.MonoError != 0) {
            v.StopRequest = 1;
            ctx.dialogs.error(kInstrumentCaption, kMonoProblemText);
        }
        backToIdle(view);
        return false;
    }

    // The link converts the energy into a wavelength; a text that is no number never reaches it.
    const auto photon = text::parseDouble(view.photon);
    if (!photon) {
        ctx.dialogs.warning(kWarningCaption, notAFloatText(view.photon));
        v.StopRequest = 1;
        return false;
    }

    v.MonoStopRequest = false;
    view.colour = PhotonView::kMovingColour;
    view.caption = PhotonView::kStopCaption;
    auto energy = [&] { return *photon == 0 ? link.monoZeroOrderText() : view.photon; };

    v.MonoQuiet = true;
    link.MonoGoEnergy(energy());
    v.MonoQuiet = false;
    // A move the user stopped is neither tried again (that would drive the monochromator on) nor
    // reported twice: the stop has set StopRequest and shown its own box if it failed.
    if (v.MonoStopRequest) {
        backToIdle(view);
        return false;
    }
    if (v.MonoError != 0) {
        v.MonoQuiet = true;
        link.MonoClose();
        link.MonoOpen();
        link.MonoGoEnergy(energy());
        v.MonoQuiet = false;
    }
    const bool ok = v.MonoError == 0;
    if (!ok) {
        v.StopRequest = 1;
        ctx.dialogs.error(kInstrumentCaption, kMonoProblemText);
    }
    backToIdle(view);
    return ok;
}

} // namespace korvo
