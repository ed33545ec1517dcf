#include "acquisition/analyser_io/port_backend.h"

#include "acquisition/analyser_io/simulated_card.h"
#include "acquisition/analyser_io/x86_port_io.h"

namespace korvo {

std::unique_ptr<PortIo> makePortBackend(const std::string& kind, Clock& clock, std::string* error,
                                        const PortBackendOptions& options) {
    if (kind == "test") return std::make_unique<EmptyBus>();
    if (kind == "port") return X86PortIo::open(error);
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
