#pragma once
// The photon energy command: the main window's "Set Pho. Energy" button and the photon steps of a
// run move the monochromator through it, sharing one PhotonView. While a move runs the button reads
// "Stop Monoc." and a second press (handled inside the move's waits) stops the monochromator.
#include "acquisition/context.h"
#include "instruments/monochromator/monochromator.h"

#include <cstdint>
#include <string>

namespace korvo {

struct PhotonView {
    enum class Move { Idle, Moving };
    static constexpr const char* kSetCaption = "Set Pho. Energy";
    static constexpr const char* kStopCaption = "Stop Monoc.";
    static constexpr std::uint32_t kIdleColour = 0xDDFFDD;   // colour number 0x00BBGGRR
    static constexpr std::uint32_t kMovingColour = 0xDDDDFF; // while the monochromator moves

    Move move = Move::Idle;
    bool moving() const { return move == Move::Moving; }
    // The button's caption and the photon field's colour.
    const char* caption() const { return moving() ? kStopCaption : kSetCaption; }
    std::uint32_t colour() const { return moving() ? kMovingColour : kIdleColour; }
};

inline constexpr const char* kMonoNotConnectedText =
    "Error ! Program not connected to COM-Port!\r\rOptions -> Setup -> Monochromator -> Connect COM !";
inline constexpr const char* kMonoProblemText = "Error ! Problem with the monochromator?";

// How a photon energy command ended: the monochromator reported the move done; the move was stopped
// (a second press, or the press was itself the stop); or it failed (no port, a refusal, no answer,
// a move that did not end), after its one retry and its one error box.
enum class PhotonOutcome { Reached, Stopped, Failed };

// One press of the button (or one photon step of a run) with the photon field `photonText`: a move
// there, or, while a move runs, its stop. Every failure and every stop sets StopRequest.
PhotonOutcome photonEnergyCommand(PhotonView& view, const std::string& photonText, Monochromator& mono,
                                  AcquisitionContext& ctx);

// The command for a move to `target` with the photon field `field` showing it while it runs. A
// failed move leaves the field at the truth: the position last read back from the monochromator,
// or, when none was ever read, what the field showed before.
PhotonOutcome photonMoveTo(PhotonView& view, std::string& field, const std::string& target,
                           Monochromator& mono, AcquisitionContext& ctx);

} // namespace korvo
