#pragma once
// NeXus files (HDF5 with the photoemission application definition NXmpes): one or many spectra in one
// file, for the catalogues and pipelines of the facilities. Every spectrum is an NXentry ("entry", or
// "entry1", "entry2", ... when there are several) laid out as NXmpes asks, with everything of the
// spectrum file that NXmpes has no place for in its "korvo" NXcollection, so that a spectrum file
// comes back from its NeXus entry byte for byte.
//
// The reader reads Korvo's entries and other programs' NXmpes and NXxps entries: any NXdata whose
// signal is one-dimensional over an energy axis. It treats the file as hostile: it reads bytes held in
// memory (never the file system, so no external file, link or data set is ever opened), refuses
// external links, circles and over-long chains of links, checks the rank, size, type and layout of
// every data set and the length of every text before it reads them, and names the path inside the
// file in every message. What the HDF5 library does inside its own parsing no check can precede:
// Korvo's programs read in a child process (readNexusIsolated).
#include "files/spectrum_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvo {

// A value of a NeXus field or attribute: numbers or texts, with their shape (empty for one value).
struct NexusValue {
    std::vector<double> numbers;
    std::vector<std::string> texts;
    std::vector<std::uint64_t> shape;
    bool isText() const { return !texts.empty(); }
};

// A group of a NeXus file as plain data: its NX_class, attributes, fields (each with its own
// attributes, e.g. "units") and subgroups, in order.
struct NexusField {
    std::string name;
    NexusValue value;
    std::vector<std::pair<std::string, NexusValue>> attributes;
};
struct NexusGroupData {
    std::string name;
    std::string nxClass;
    std::vector<std::pair<std::string, NexusValue>> attributes;
    std::vector<NexusField> fields;
    std::vector<NexusGroupData> groups;
};

// One spectrum of a NeXus file.
struct NexusSpectrum {
    std::string name;    // the entry's title: the spectrum's file name, or the viewer's ShortName
    SpectrumTable table; // header lines and every column; columns[0] the energies, [1] the counts
    // The channeltrons' summed counts of a spectrum that no longer has their columns (the viewer's).
    std::optional<std::array<double, 9>> channelTotals;

    // What the measurement knows beyond its file, when it writes the NeXus file itself.
    std::optional<std::time_t> startedAt;
    std::string lensMode;                               // "Lens Mode 2"; empty when none was chosen
    std::optional<std::array<double, 9>> sensitivities; // of the live display only, never applied to counts
    std::optional<std::array<bool, 9>> channelsEnabled;

    // Further NXentry groups that belong to this spectrum (a fit of it, say). Each is written as
    // "<entry>_<name>" with the attribute "korvo_spectrum" naming the spectrum's entry, and read back
    // into the same place; readers that do not know them pass them over.
    std::vector<NexusGroupData> additions;

    // Set by the reader.
    std::string entryName; // "entry1"
    bool foreign = false;  // another program's entry: the header lines were made from its values
};

// Bounds of one file's reading, and what it keeps; what a whole load may take is the load's own business.
struct NexusReadLimits {
    std::size_t maxSpectra = 2000;
    std::size_t maxPoints = 10'000'000;        // per spectrum
    std::uint64_t maxTotalValues = 60'000'000; // numbers of all spectra and additions together
    std::uint64_t maxFileBytes = std::uint64_t(256) << 20;
    // False: of each spectrum's columns only the energies and the counts are kept, and the nine
    // channeltrons' columns become their totals (channelTotals), which is all a viewer keeps of them. A
    // multichanneltron series then hands over a fifth of the numbers.
    bool allColumns = true;
    // Processes that read a file side by side, each its share of the entries; 0: one per core (at
    // most four) for a file of 16 MB or more, otherwise one.
    std::size_t readers = 0;
};

struct NexusReadResult {
    std::string error; // the reason, naming the path inside the file; empty on success
    std::vector<NexusSpectrum> spectra;
    bool cancelled = false;
    explicit operator bool() const { return error.empty(); }
};

// Reads the bytes of a NeXus file in this process; `shortName` (the file's name without directory)
// goes into messages. Every entry must hold a spectrum (or belong to one): a file with an entry that
// does not is refused, naming it and what it holds.
NexusReadResult readNexusBytes(std::string_view bytes, std::string_view shortName, const NexusReadLimits& limits = {});
// As readNexusBytes, in a child process: a crash, a hang or an absurd allocation of the HDF5 library
// on a damaged file ends the child and refuses the file with a message. `keepGoing` is asked every
// tenth of a second; false ends the reading (cancelled).
NexusReadResult readNexusIsolated(std::string_view bytes, std::string_view shortName,
                                  const NexusReadLimits& limits = {}, const std::function<bool()>& keepGoing = {});
// Reads a regular file of at most limits.maxFileBytes (checked before a byte is read), isolated.
NexusReadResult readNexusFile(const std::string& path, const NexusReadLimits& limits = {},
                              const std::function<bool()>& keepGoing = {});

// Whether `bytes` (the start of a file) carry the HDF5 signature, and whether a path has one of the
// names NeXus files go by (".nxs", ".nx5", ".h5", ".hdf5", ".hdf", any case).
bool hasHdf5Signature(std::string_view bytes);
// Where the HDF5 signature (8 bytes) may stand in a file of `size` bytes: at its start, or after a
// user block of 512, 1024, 2048, ... bytes.
std::vector<std::uint64_t> hdf5SignatureOffsets(std::uint64_t size);
bool isNexusFileName(std::string_view path);

// The name of the entry of spectrum `index` (0-based) among `count`: "entry" when it is the only one.
std::string nexusEntryName(std::size_t index, std::size_t count);

// Why a spectrum cannot be written (no points, columns of different lengths, a value that is not a
// finite number, an addition that is not well formed), or an empty text.
std::string nexusSpectrumProblem(const NexusSpectrum& s);

// A NeXus file made in memory: the memory the HDF5 library made it in, handed over as it is (a file
// of a hundred megabytes is not copied once more).
class NexusFileImage {
public:
    // Takes `data`, which std::malloc gave.
    NexusFileImage(char* data, std::size_t size) : data_(data), size_(size) {}
    std::string_view bytes() const { return {data_.get(), size_}; }

private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> data_;
    std::size_t size_;
};

// The file, or nullopt with *error saying why (an empty list, a spectrum without points, a value that
// is not a finite number, an HDF5 failure).
std::optional<NexusFileImage> nexusFileBytes(const std::vector<NexusSpectrum>& spectra, std::string* error = nullptr);
// Writes the file as every measured file is written: a temporary file renamed over the target, never
// through a link, FIFO or device.
bool saveNexusFile(const std::string& path, const std::vector<NexusSpectrum>& spectra, std::string* error = nullptr);

} // namespace korvo
