// The run and the ring current. The poll reads the status page beside the run; after every counted
// point the run looks at the last reading and its age. With the beam-loss pause on, a count is kept
// only when a recent reading shows the beam at or above the threshold: a count made while the beam
// was lost, or while nothing told whether it was there (the page could not be read, the last reading
// is too old), is made again once the beam is known to be back. Not knowing is treated like a loss
// because a count without beam is a wrong measurement kept for good, a pause only costs time; and the
// beam may have gone and come back unseen meanwhile, so the recovery time applies as after a loss.
// Only the wait for the poll's very first reading ends as soon as that reading shows the beam.
#include "acquisition/run/run_engine.h"

#include "common/number_text.h"

namespace korvo {

namespace {

using Kind = BeamInformation::Kind;

bool missing(const BeamInformation& info) {
    return info.kind == Kind::Stale || info.kind == Kind::Unreadable;
}

} // namespace

void RunEngine::sayBeamInformation(const std::string& text) {
    ctx_.statusPanels().setStatusPanel(0, text);
    if (beamInformationNotice) beamInformationNotice(text);
}

RunEngine::BeamVerdict RunEngine::beamVerdict() {
    const AcquisitionOptions& o = ctx_.options;
    const BeamInformation info = beamInformation(ctx_.values, ctx_.clock.nowMs());
    // Said once when it goes and once when it comes back, pause or not; a pause says it itself.
    if (missing(info) != beamInformationMissing_) {
        beamInformationMissing_ = missing(info);
        if (!o.beamPause)
            sayBeamInformation(beamInformationMissing_ ? "No beam information (" + info.why + ")"
                                                       : "Beam information back: ring current " +
                                                             text::formatPattern(ctx_.values.RingCurrent, "0.0") +
                                                             " mA");
    }
    if (!o.beamPause) return BeamVerdict::Keep;
    switch (info.kind) {
    case Kind::NotPolled:
        // The pause follows the poll; without it there is nothing to follow (the beam page says so).
        return BeamVerdict::Keep;
    case Kind::Awaited:
        return BeamVerdict::Awaited;
    case Kind::Stale:
    case Kind::Unreadable:
        return BeamVerdict::NoInformation;
    case Kind::Current:
        break;
    }
    return ctx_.values.RingCurrent < o.beamThresholdMa ? BeamVerdict::Lost : BeamVerdict::Keep;
}

void RunEngine::pauseForBeam(BeamVerdict verdict) {
    const AcquisitionOptions& o = ctx_.options;
    StatusPanels& status = ctx_.statusPanels();
    // Why the run waits now; it may change while it waits (a page that was awaited cannot be read).
    auto whyWaiting = [&](BeamVerdict v) -> std::string {
        switch (v) {
        case BeamVerdict::Lost:
            return "Beam lost: ring current " + text::formatPattern(ctx_.values.RingCurrent, "0.0") + " mA below " +
                   text::plainNumber(o.beamThresholdMa) + " mA, the run waits";
        case BeamVerdict::NoInformation:
            return "No beam information (" + beamInformation(ctx_.values, ctx_.clock.nowMs()).why +
                   "), the run waits";
        case BeamVerdict::Awaited:
        case BeamVerdict::Keep:
            break;
        }
        return "No beam information yet (the ring current is being read), the run waits";
    };
    BeamVerdict shown = verdict;
    const std::string why = whyWaiting(verdict);
    status.setStatusPanel(0, why);
    // The first reading of a poll just switched on is a matter of moments: no alert for it.
    if (verdict == BeamVerdict::Awaited) {
        if (beamInformationNotice) beamInformationNotice(why);
    } else if (beamLossNotice) {
        beamLossNotice(why);
    }
    beamPaused_ = true;
    controls_.paused = true;
    changed();
    bool recover = verdict != BeamVerdict::Awaited;
    std::int64_t backSince = -1;
    while (controls_.paused && ctx_.values.StopRequest == 0) {
        ctx_.pump.pump();
        ctx_.clock.sleepMs(20);
        if (!o.beamPause) break; // switched off meanwhile: nothing to wait for
        const BeamVerdict now = beamVerdict();
        if (now != BeamVerdict::Keep) {
            backSince = -1;
            if (now != BeamVerdict::Awaited) recover = true;
            if (now != shown) {
                shown = now;
                sayBeamInformation(whyWaiting(now));
            }
        } else if (!recover) {
            break;
        } else if (backSince < 0) {
            backSince = ctx_.clock.nowMs();
            status.setStatusPanel(0, "Beam back: the run goes on if it stays");
            shown = BeamVerdict::Keep;
        } else if (ctx_.clock.nowMs() - backSince >= o.beamRecoveryMs) {
            break;
        }
    }
    if (controls_.paused) {
        controls_.paused = false;
        changed();
    }
    beamPaused_ = false;
    status.setStatusPanel(0, "Ready");
}

} // namespace korvo
