// NeXus files come from facilities' converters, colleagues and damaged disks. The reader must refuse
// with a reason, or give spectra within its limits whose values are finite and whose columns agree;
// the same file read in parts side by side gives the same; and what it read, written again, reads back
// the same.
//
// libFuzzer runs the reader in its own process, so that coverage reaches into it; the HDF5 library's
// own crashes on damaged files then end runs too (fuzz with -fork=1 -ignore_crashes=1 and sort them).
// The replay that runs with the tests reads as Korvo's programs do, in a child process, where such a
// crash is a refusal; what was read is written and read back in this process.
#include "files/nexus_file.h"
#include "files/nexus_part.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

bool sameTables(const korvo::NexusReadResult& a, const korvo::NexusReadResult& b) {
    if (a.spectra.size() != b.spectra.size()) return false;
    for (std::size_t i = 0; i < a.spectra.size(); ++i) {
        const korvo::SpectrumTable& p = a.spectra[i].table;
        const korvo::SpectrumTable& q = b.spectra[i].table;
        if (p.headerLines != q.headerLines || p.columns != q.columns || p.beginLine != q.beginLine ||
            p.endLine != q.endLine || a.spectra[i].name != b.spectra[i].name)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    korvo::NexusReadLimits limits;
    limits.maxSpectra = 16;
    limits.maxPoints = 1u << 16;
#ifdef KORVO_FUZZ_CORPUS
    const korvo::NexusReadResult r = korvo::readNexusIsolated(bytes, "fuzz.nxs", limits);
#else
    const korvo::NexusReadResult r = korvo::readNexusBytes(bytes, "fuzz.nxs", limits);
#endif
    if (!r) {
        if (!r.spectra.empty() || r.error.rfind("The NeXus file fuzz.nxs cannot be loaded: ", 0) != 0) std::abort();
        return 0;
    }
    if (r.spectra.empty() || r.spectra.size() > limits.maxSpectra) std::abort();
    for (const korvo::NexusSpectrum& s : r.spectra) {
        const korvo::SpectrumTable& t = s.table;
        if (t.columns.empty() || t.rows() == 0 || t.rows() > limits.maxPoints) std::abort();
        for (const auto& column : t.columns) {
            if (column.size() != t.rows()) std::abort();
            for (double v : column)
                if (!std::isfinite(v)) std::abort();
        }
    }
    // Read in three parts side by side, a file that reads as a whole reads the same.
    korvo::NexusReadLimits inThree = limits;
    inThree.readers = 3;
#ifdef KORVO_FUZZ_CORPUS
    const korvo::NexusReadResult parts = korvo::readNexusIsolated(bytes, "fuzz.nxs", inThree);
#else
    std::vector<korvo::nexus::ReadPart> read;
    for (std::size_t k = 0; k < inThree.readers; ++k)
        read.push_back(korvo::nexus::readPart(bytes, "fuzz.nxs", limits, k, inThree.readers));
    const korvo::NexusReadResult parts = korvo::nexus::joinParts(std::move(read), "fuzz.nxs", limits);
#endif
    if (!parts || !sameTables(parts, r)) std::abort();
    for (std::size_t i = 0; i < r.spectra.size(); ++i)
        if (parts.spectra[i].additions.size() != r.spectra[i].additions.size()) std::abort();
    // Written again (as Korvo's own entries), the spectra read back unchanged.
    const std::optional<korvo::NexusFileImage> again = korvo::nexusFileBytes(r.spectra);
    if (!again) return 0; // an addition Korvo would not write (a name that is no plain name)
    const korvo::NexusReadResult back = korvo::readNexusBytes(again->bytes(), "fuzz.nxs", limits);
    if (!back || !sameTables(back, r)) std::abort();
    return 0;
}
