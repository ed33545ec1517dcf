#include "files/scienta_file.h"

#include "common/number_text.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {
namespace {

ScientaReadResult failure(ScientaFault fault, std::string_view name, const std::string& why) {
    ScientaReadResult r;
    r.fault = fault;
    r.error = fault == ScientaFault::NotScienta
                  ? std::string(kNotScientaFormat)
                  : "Cannot import the Scienta file " + std::string(name) + ": " + why + ".";
    return r;
}

std::string number(double v) {
    return text::formatGeneral(v, 15);
}

// The text after `key` in the header block: one separator character (normally "="), then up to the
// line end. A file written on another system may end its lines with LF, and a block cut short may run
// into NUL bytes; both end the value as well.
std::optional<std::string_view> valueAfter(std::string_view block, std::string_view key) {
    const std::size_t at = block.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t start = std::min(block.size(), at + key.size() + 1);
    std::size_t end = start;
    while (end < block.size() && block[end] != '\r' && block[end] != '\n' && block[end] != '\0') ++end;
    return block.substr(start, end - start);
}

// What a value looks like in a message: printable ASCII only, and not too long.
std::string shownValue(std::string_view value) {
    std::string out;
    for (char c : value.substr(0, 40)) out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return "\"" + out + "\"";
}

// Where the text block begins within the tail: at "Instrument", or else at the first key read.
std::size_t textBlockStart(std::string_view tail) {
    std::size_t start = tail.find("Instrument");
    if (start != std::string_view::npos) return start;
    start = tail.size();
    for (const char* key : {"Low Energy", "High Energy", "Energy Step", "Number of Slices"})
        start = std::min(start, tail.find(key));
    return start;
}

struct HeaderParse {
    ScientaHeader header;
    ScientaFault fault = ScientaFault::None;
    std::string why;
};

HeaderParse parseHeader(std::string_view tail) {
    HeaderParse p;
    const auto fail = [&p](ScientaFault fault, std::string why) {
        p.fault = fault;
        p.why = std::move(why);
        return p;
    };
    // Keys before the instrument's line belong to something else.
    if (const std::size_t at = tail.find("Instrument"); at != std::string_view::npos) tail.remove_prefix(at);
    double reals[3] = {};
    const char* const realKeys[3] = {"Low Energy", "High Energy", "Energy Step"};
    for (int i = 0; i < 3; ++i) {
        const auto value = valueAfter(tail, realKeys[i]);
        if (!value) return fail(ScientaFault::Header, std::string("its header has no \"") + realKeys[i] + "\"");
        const auto v = text::parseDouble(*value);
        if (!v)
            return fail(ScientaFault::Header, std::string("\"") + realKeys[i] + "\" is " + shownValue(*value) +
                                                  ", not a number");
        reals[i] = *v;
    }
    const auto slicesText = valueAfter(tail, "Number of Slices");
    if (!slicesText) return fail(ScientaFault::Header, "its header has no \"Number of Slices\"");
    const auto slices = text::parseInt(*slicesText);
    if (!slices)
        return fail(ScientaFault::Header, "\"Number of Slices\" is " + shownValue(*slicesText) + ", not an integer");

    ScientaHeader& h = p.header;
    h.lowEnergy = reals[0];
    h.highEnergy = reals[1];
    h.energyStep = reals[2];
    h.slices = *slices;
    if (!(h.energyStep > 0))
        return fail(ScientaFault::Header, "the energy step is " + number(h.energyStep) + "; it must be above 0");
    if (h.highEnergy < h.lowEnergy)
        return fail(ScientaFault::Header, "the high energy " + number(h.highEnergy) + " lies below the low energy " +
                                              number(h.lowEnergy));
    if (h.slices < 1)
        return fail(ScientaFault::Header, "the number of slices is " + std::to_string(h.slices) +
                                              "; it must be at least 1");
    // Halves to even, as the energy axis has always been counted.
    const double points = std::nearbyint((h.highEnergy - h.lowEnergy) / h.energyStep + 1);
    const double values = points * static_cast<double>(h.slices);
    if (!std::isfinite(points) || values > static_cast<double>(kScientaMaxValues)) {
        const std::string count = std::isfinite(values) ? number(values) : "too many";
        return fail(ScientaFault::TooLarge,
                    "it holds " + count + " values (" + number(points) + " points x " + std::to_string(h.slices) +
                        " slices); at most " + std::to_string(kScientaMaxValues) + " values of one file can be imported");
    }
    // Energies are low + j x step: the last one must still be a number.
    if (!std::isfinite(h.lowEnergy + (points - 1) * h.energyStep))
        return fail(ScientaFault::Header,
                    "the energies of its " + number(points) + " points run beyond the number range (from " +
                        number(h.lowEnergy) + " in steps of " + number(h.energyStep) + ")");
    h.points = static_cast<std::int32_t>(points);
    return p;
}

double realAt(const char* bytes, bool bigEndian) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) {
        const auto b = static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[bigEndian ? i : 7 - i]));
        bits = (bits << 8) | b;
    }
    return std::bit_cast<double>(bits);
}

class MemorySource final : public ScientaByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::size_t n, std::string& out, std::string&) override {
        out.assign(bytes_.substr(static_cast<std::size_t>(offset), n));
        return true;
    }

private:
    std::string_view bytes_;
};

class FileSource final : public ScientaByteSource {
public:
    FileSource(int fd, std::string path, std::uint64_t size) : fd_(fd), path_(std::move(path)), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::size_t n, std::string& out, std::string& error) override {
        out.resize(n);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, out.data() + done, n - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = "Cannot read \"" + path_ + "\": " + std::strerror(errno);
                return false;
            }
            if (got == 0) {
                error = "Cannot read \"" + path_ + "\": the file became shorter while it was read";
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
    std::string path_;
    std::uint64_t size_;
};

} // namespace

ScientaReadResult readScientaSource(ScientaByteSource& source, std::string_view name) {
    const std::uint64_t size = source.size();
    if (size < 2) return failure(ScientaFault::NotScienta, name, "");
    std::string head, error;
    if (!source.read(0, static_cast<std::size_t>(std::min(size, kScientaMarkerWindow)), head, error))
        return failure(ScientaFault::ReadError, name, error);
    bool bigEndian = false;
    if (head[0] == 3 && head[1] == 0)
        bigEndian = false;
    else if (head[0] == 0 && head[1] == 1)
        bigEndian = true;
    else
        return failure(ScientaFault::NotScienta, name, "");

    // The text block: the last 700 bytes, never the byte-order mark.
    const std::uint64_t tailStart = size > kScientaTextTail + 1 ? size - kScientaTextTail : 1;
    std::string tail;
    if (!source.read(tailStart, static_cast<std::size_t>(size - tailStart), tail, error))
        return failure(ScientaFault::ReadError, name, error);
    HeaderParse parsed = parseHeader(tail);
    if (parsed.fault != ScientaFault::None) return failure(parsed.fault, name, parsed.why);
    ScientaHeader& h = parsed.header;
    h.bigEndian = bigEndian;

    const std::size_t marker = head.find(kScientaMarker);
    if (marker == std::string::npos)
        return failure(ScientaFault::NoMarker, name,
                       "no data marker (\"eV\", \"deg\") within its first " + std::to_string(kScientaMarkerWindow) +
                           " bytes");
    h.dataOffset = marker + kScientaDataOffset;
    const auto count = static_cast<std::uint64_t>(h.points) * static_cast<std::uint64_t>(h.slices);
    // The values lie between the marker and the text block: a header that promises more would have
    // the text read as numbers.
    const std::uint64_t dataEnd = tailStart + textBlockStart(tail);
    const std::uint64_t held = dataEnd > h.dataOffset ? (dataEnd - h.dataOffset) / 8 : 0;
    if (count > held)
        return failure(ScientaFault::Truncated, name,
                       "its header promises " + std::to_string(count) + " values (" + std::to_string(h.points) +
                           " points x " + std::to_string(h.slices) + " slices), the file holds " +
                           std::to_string(held) + " between its data marker and its text block; it is truncated "
                           "or damaged");

    std::string raw;
    if (!source.read(h.dataOffset, static_cast<std::size_t>(count * 8), raw, error))
        return failure(ScientaFault::ReadError, name, error);
    ScientaReadResult r;
    r.data.header = h;
    r.data.values.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < r.data.values.size(); ++i) {
        const double v = realAt(raw.data() + 8 * i, bigEndian);
        if (!std::isfinite(v)) {
            const std::size_t points = static_cast<std::size_t>(h.points);
            return failure(ScientaFault::BadValue, name,
                           "point " + std::to_string(i % points + 1) + " of slice " + std::to_string(i / points + 1) +
                               " is not a finite number; the file is damaged or uses another layout");
        }
        r.data.values[i] = v;
    }
    return r;
}

ScientaReadResult readScientaBytes(std::string_view bytes, std::string_view name) {
    MemorySource source(bytes);
    return readScientaSource(source, name);
}

ScientaReadResult readScientaFile(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // O_NONBLOCK keeps a named pipe from blocking the open until a writer appears.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return failure(ScientaFault::ReadError, name, "cannot open \"" + path + "\": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string why = S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file";
        ::close(fd);
        return failure(ScientaFault::ReadError, name, why);
    }
    FileSource source(fd, path, static_cast<std::uint64_t>(st.st_size));
    return readScientaSource(source, name);
}

std::string scientaSliceText(const ScientaData& data, int slice) {
    const ScientaHeader& h = data.header;
    std::string out;
    if (slice < 1 || slice > h.slices || h.points < 1) return out;
    const auto points = static_cast<std::size_t>(h.points);
    const std::size_t first = static_cast<std::size_t>(slice - 1) * points;
    if (first + points > data.values.size()) return out;
    out.reserve(points * 32);
    for (std::size_t j = 0; j < points; ++j) {
        out += text::formatPattern(h.lowEnergy + static_cast<double>(j) * h.energyStep, "0.0000000");
        out += ' ';
        out += text::formatGeneral(data.values[first + j], 15);
        out += "\r\n";
    }
    return out;
}

} // namespace korvo
