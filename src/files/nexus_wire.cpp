#include "files/nexus_wire.h"

#include "files/nexus_layout.h"

#include <cstdint>
#include <cstring>

namespace korvo::nexus {
namespace {

constexpr std::string_view kMagic = "KorvoNeXus2";

// Writes the encoding into a buffer of its size, or without one only counts its bytes: a result of a
// hundred megabytes is measured first and written where it goes at once.
class Out {
public:
    explicit Out(char* to = nullptr) : to_(to) {}
    void count(std::uint64_t n) { raw(&n, sizeof n); }
    void text(const std::string& s) {
        count(s.size());
        raw(s.data(), s.size());
    }
    void texts(const std::vector<std::string>& v) {
        count(v.size());
        for (const std::string& s : v) text(s);
    }
    void numbers(const std::vector<double>& v) {
        count(v.size());
        raw(v.data(), v.size() * sizeof(double));
    }
    void value(const NexusValue& v) {
        numbers(v.numbers);
        texts(v.texts);
        count(v.shape.size());
        for (std::uint64_t d : v.shape) count(d);
    }
    void attributes(const std::vector<std::pair<std::string, NexusValue>>& a) {
        count(a.size());
        for (const auto& [name, v] : a) {
            text(name);
            value(v);
        }
    }
    void group(const NexusGroupData& g) {
        text(g.name);
        text(g.nxClass);
        attributes(g.attributes);
        count(g.fields.size());
        for (const NexusField& f : g.fields) {
            text(f.name);
            value(f.value);
            attributes(f.attributes);
        }
        count(g.groups.size());
        for (const NexusGroupData& sub : g.groups) group(sub);
    }
    std::size_t size() const { return size_; }
    void raw(const void* p, std::size_t n) {
        if (to_ && n > 0) std::memcpy(to_ + size_, p, n);
        size_ += n;
    }

private:
    char* to_;
    std::size_t size_ = 0;
};

class In {
public:
    explicit In(std::string_view bytes) : rest_(bytes) {}
    bool ok() const { return ok_; }
    bool done() const { return ok_ && rest_.empty(); }

    // A count of things each at least `unit` bytes long: no more than the bytes left could hold.
    std::uint64_t count(std::size_t unit = 1) {
        std::uint64_t n = 0;
        raw(&n, sizeof n);
        if (ok_ && unit > 0 && n > rest_.size() / unit) ok_ = false;
        return ok_ ? n : 0;
    }
    std::string text() {
        const std::uint64_t n = count();
        std::string s(rest_.substr(0, n));
        rest_.remove_prefix(n);
        return s;
    }
    std::vector<std::string> texts() {
        std::vector<std::string> v(count(sizeof(std::uint64_t)));
        for (std::string& s : v) s = text();
        return v;
    }
    std::vector<double> numbers() {
        std::vector<double> v(count(sizeof(double)));
        raw(v.data(), v.size() * sizeof(double));
        return v;
    }
    NexusValue value() {
        NexusValue v;
        v.numbers = numbers();
        v.texts = texts();
        v.shape.resize(count(sizeof(std::uint64_t)));
        for (std::uint64_t& d : v.shape) d = count(0);
        return v;
    }
    std::vector<std::pair<std::string, NexusValue>> attributes() {
        std::vector<std::pair<std::string, NexusValue>> a(count(sizeof(std::uint64_t)));
        for (auto& [name, v] : a) {
            name = text();
            v = value();
        }
        return a;
    }
    bool group(NexusGroupData& g, int depth) {
        if (depth > kMaxAdditionDepth + 1) return ok_ = false;
        g.name = text();
        g.nxClass = text();
        g.attributes = attributes();
        g.fields.resize(count(sizeof(std::uint64_t)));
        for (NexusField& f : g.fields) {
            f.name = text();
            f.value = value();
            f.attributes = attributes();
        }
        g.groups.resize(count(sizeof(std::uint64_t)));
        for (NexusGroupData& sub : g.groups)
            if (!group(sub, depth + 1)) return false;
        return ok_;
    }

private:
    void raw(void* p, std::size_t n) {
        if (!ok_ || rest_.size() < n) {
            ok_ = false;
            return;
        }
        if (n > 0) std::memcpy(p, rest_.data(), n);
        rest_.remove_prefix(n);
    }
    std::string_view rest_;
    bool ok_ = true;
};

} // namespace

namespace {

void encode(const ReadPart& part, Out& out) {
    const NexusReadResult& r = part.result;
    out.raw(kMagic.data(), kMagic.size());
    out.text(r.error);
    out.count(r.spectra.size());
    for (const NexusSpectrum& s : r.spectra) {
        out.text(s.name);
        out.text(s.entryName);
        out.count(s.foreign ? 1 : 0);
        const SpectrumTable& t = s.table;
        out.texts(t.headerLines);
        out.count(t.beginLine ? 1 : 0);
        out.text(t.beginLine.value_or(""));
        out.count(t.endLine ? 1 : 0);
        out.text(t.endLine.value_or(""));
        out.count(t.utf8 ? 1 : 0);
        out.count(static_cast<std::uint64_t>(t.xDecimals + 1));
        out.count(t.columns.size());
        for (const auto& column : t.columns) out.numbers(column);
        out.count(s.channelTotals ? 1 : 0);
        if (s.channelTotals) out.numbers({s.channelTotals->begin(), s.channelTotals->end()});
        out.count(s.additions.size());
        for (const NexusGroupData& g : s.additions) out.group(g);
    }
    out.count(part.additions.size());
    for (const auto& [owner, g] : part.additions) {
        out.text(owner);
        out.group(g);
    }
    out.count(part.entries);
    out.count(part.values);
    out.texts(part.rootNames);
}

} // namespace

std::size_t encodedSize(const ReadPart& part) {
    Out measured;
    encode(part, measured);
    return measured.size();
}

void encodeInto(const ReadPart& part, char* to) {
    Out out(to);
    encode(part, out);
}

std::optional<ReadPart> decodePart(std::string_view bytes) {
    if (bytes.substr(0, kMagic.size()) != kMagic) return std::nullopt;
    In in(bytes.substr(kMagic.size()));
    ReadPart part;
    NexusReadResult& r = part.result;
    r.error = in.text();
    r.spectra.resize(in.count(8 * sizeof(std::uint64_t)));
    for (NexusSpectrum& s : r.spectra) {
        s.name = in.text();
        s.entryName = in.text();
        s.foreign = in.count(0) == 1;
        SpectrumTable& t = s.table;
        t.headerLines = in.texts();
        const bool begin = in.count(0) == 1;
        std::string beginLine = in.text();
        if (begin) t.beginLine = std::move(beginLine);
        const bool end = in.count(0) == 1;
        std::string endLine = in.text();
        if (end) t.endLine = std::move(endLine);
        t.utf8 = in.count(0) == 1;
        t.xDecimals = static_cast<int>(in.count(0) % 17) - 1;
        t.columns.resize(in.count(sizeof(std::uint64_t)));
        for (auto& column : t.columns) column = in.numbers();
        if (in.count(0) == 1) {
            const std::vector<double> totals = in.numbers();
            if (totals.size() != 9) return std::nullopt;
            s.channelTotals.emplace();
            std::copy(totals.begin(), totals.end(), s.channelTotals->begin());
        }
        s.additions.resize(in.count(sizeof(std::uint64_t)));
        for (NexusGroupData& g : s.additions)
            if (!in.group(g, 0)) return std::nullopt;
        if (!in.ok()) return std::nullopt;
    }
    part.additions.resize(in.count(2 * sizeof(std::uint64_t)));
    for (auto& [owner, g] : part.additions) {
        owner = in.text();
        if (!in.group(g, 0)) return std::nullopt;
    }
    part.entries = in.count(0);
    part.values = in.count(0);
    part.rootNames = in.texts();
    if (!in.done()) return std::nullopt;
    return part;
}

} // namespace korvo::nexus
