#include "acquisition/analyser_io/port_backend.h"

#include "acquisition/analyser_io/card_lock.h"
#include "acquisition/analyser_io/simulated_card.h"
#include "acquisition/analyser_io/x86_port_io.h"

namespace korvo {

namespace {

// The real card's ports, held together with the card's lock: the lock goes when the ports go.
class LockedPort final : public PortIo {
public:
    LockedPort(std::unique_ptr<CardLock> lock, std::unique_ptr<PortIo> port)
        : lock_(std::move(lock)), port_(std::move(port)) {}
    void PortWrite(std::uint16_t port, std::uint8_t value) override { port_->PortWrite(port, value); }
    std::uint8_t PortRead(std::uint16_t port) override { return port_->PortRead(port); }

private:
    std::unique_ptr<CardLock> lock_;
    std::unique_ptr<PortIo> port_;
};

} // namespace

std::unique_ptr<PortIo> makePortBackend(const std::string& kind, Clock& clock, std::string* error,
                                        const PortBackendOptions& options) {
    if (kind == "test") return std::make_unique<EmptyBus>();
    if (kind == "port") {
        // The lock comes first: a second program must not even ask for the ports.
        auto lock = CardLock::acquire(cardLockPath(), error);
        if (!lock) return nullptr;
        auto port = X86PortIo::open(error);
        if (!port) return nullptr;
        return std::make_unique<LockedPort>(std::move(lock), std::move(port));
    }
    if (kind == "sim") {
        SpectrumModel model = SpectrumModel::standard();
        if (!options.spectrumFile.empty()) {
            auto loaded = SpectrumModel::load(options.spectrumFile, error);
            if (!loaded) return nullptr;
            model = std::move(*loaded);
        }
        return std::make_unique<SimulatedCard>(clock, std::move(model), options.seed);
    }
    if (error) *error = "Unknown port back end \"" + kind + "\" (choose test, sim or port).";
    return nullptr;
}

} // namespace korvo
