// Reading spectrum files as the viewer does: header keys, where the data starts and ends, and every
// kind of damaged or foreign input.
#include "files/spectrum_reader.h"
#include "files/spectrum_writer.h"
#include "spectrum_test_util.h"

#include "common/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvo;
using korvo::testing::clamHeader;
using korvo::testing::makeBlock;

namespace {

std::vector<double> xs(const SpectrumReadResult& r) {
    std::vector<double> v;
    for (const SpectrumPoint& p : r.data.points) v.push_back(p.x);
    return v;
}

// The header fields a file of these header lines gives.
SpectrumFileData headerOf(const std::string& lines) {
    return readSpectrumText(lines + "BEGIN:\r\n1 2\r\n", "h").data;
}

// The bytes handed out in pieces of a few bytes, as a file arrives from the disk; optionally the
// read of one piece or the rewind fails, as a disk that goes away does, and the size is announced.
class PieceSource final : public SpectrumByteSource {
public:
    PieceSource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
    bool next(std::string_view& piece, std::string& error) override {
        if (reads_++ == failingRead) {
            error = "the disk went away";
            return false;
        }
        piece = bytes_.substr(std::min(pos_, bytes_.size()), piece_);
        pos_ += piece.size();
        return true;
    }
    bool rewind(std::string& error) override {
        if (failRewind) {
            error = "cannot seek";
            return false;
        }
        pos_ = 0;
        return true;
    }
    std::uint64_t sizeHint() const override { return hint; }

    std::size_t failingRead = SIZE_MAX;
    bool failRewind = false;
    std::uint64_t hint = 0;

private:
    std::string_view bytes_;
    std::size_t piece_;
    std::size_t pos_ = 0;
    std::size_t reads_ = 0;
};

} // namespace

TEST(SpectrumReader, HeaderKeysAreMatchedAnywhereAndCut) {
    const std::string file =
        "USER_ID: lab\r\nComment: Date of cleaning and a comment that goes on and on "
        "for well over one hundred characters in all, ends here\r\n"
        "Date:  05.12.2002 10:11:12\r\nScans:   12abc\r\nMeasTime: 250.5,3 ms per point\r\n"
        "Points:512 and a long tail\r\nPassEn:20.000\r\nAnaSta:10.000\r\nAnaEnd:12.000\r\n"
        "BEGIN:\r\n1 2\r\nEND\r\n";
    const auto r = readSpectrumText(file, "x.dat");
    ASSERT_TRUE(r) << r.error;
    const SpectrumFileData& d = r.data;
    EXPECT_EQ(d.fileName, "x.dat"); // no FileName line: the file's own name
    EXPECT_EQ(d.commentText.size(), 100u);
    EXPECT_EQ(d.dateText, "Date:  05.12.2002 10:11:12"); // a later line overwrites the comment's match
    EXPECT_EQ(d.scansText, "Scans:   12abc");
    EXPECT_EQ(d.scans, 12);
    EXPECT_DOUBLE_EQ(d.measTime, 250.5); // the number at the start of the value
    EXPECT_EQ(d.measTimeText, "MeasTime: 250.5,3 ms");
    EXPECT_EQ(d.pointsText, "Points:512 and a lon");
    EXPECT_EQ(d.passEnText, "PassEn: 20.00");
    EXPECT_EQ(d.headerLines, 10);
}

// Scans and MeasTime keep the number at the start of their value and stop at the first character
// that cannot continue it; the file name line is kept whole, however long.
TEST(SpectrumReader, HeaderNumbersEndWhereTheNumberEnds) {
    struct I {
        const char* value;
        std::int32_t scans;
    };
    for (const I& c : {I{" 2090x", 2090}, I{"\t 7 of 9", 7}, I{" -3", 0}, I{" none", 0},
                       I{" 2147483647", INT32_MAX}, I{" 99999999999", INT32_MAX}})
        EXPECT_EQ(headerOf(std::string("Scans:") + c.value + "\r\n").scans, c.scans) << c.value;
    struct R {
        const char* value;
        double measTime;
    };
    for (const R& c : {R{" -1.5E-3 s", -1.5e-3},
                       R{" +2", 2},
                       R{" .5", 0.5},
                       R{" 5.", 5},
                       R{" -", 0},
                       R{" .", 0},
                       R{" ,5", 0},
                       R{" e5", 0},
                       R{"\t 90", 90},
                       R{" 2E3", 2000},
                       R{" 2e-2", 0.02},
                       R{" 2e+", 2},
                       R{" 2e 3", 2},
                       R{" 1.2.3", 1.2},
                       R{" 3-4", 3},
                       R{" 5ms", 5},
                       R{" 5 3", 5},
                       R{" 5x3", 5},
                       R{" x", 0},
                       R{" 2.5e+2 ms", 250},
                       R{" 1e999", 0}}) // beyond the number range: 0
        EXPECT_DOUBLE_EQ(headerOf(std::string("MeasTime:") + c.value + "\r\n").measTime, c.measTime)
            << c.value;
    // The pass energy is shown with four significant digits and two decimals.
    using P = std::pair<const char*, const char*>;
    for (auto [value, text] :
         {P{"123.456", "PassEn: 123.50"}, P{"", "PassEn: 0.00"}, P{"5eV", "PassEn: 5.00"}})
        EXPECT_EQ(headerOf(std::string("PassEn:") + value + "\r\n").passEnText, text) << value;

    const std::string name = "FileName: /data/" + std::string(300, 'f') + "\xE4";
    const auto r = readSpectrumText(
        "USER_ID: BEGINNER\r\n" + name +
            "\r\nComment: BEGIN of series\r\nProbe: BENDING magnet\r\nBEGIN:\r\n1 2\r\nEND\r\n",
        "h");
    EXPECT_EQ(r.data.fileName, "FileName: /data/" + std::string(300, 'f') + "\xC3\xA4");
    // User texts that contain "BEGIN" (or "END") do not end the header.
    EXPECT_EQ(r.data.headerLines, 5);
    EXPECT_EQ(xs(r), (std::vector<double>{1}));
}

TEST(SpectrumReader, DataRangeWithAndWithoutMarkers) {
    // A bare table: every line is a point, the last one included.
    auto r = readSpectrumText("1 10\r\n2 20\r\n3 30\r\n4 40\r\n5 50", "t");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(xs(r), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(r.data.points.back().y, 50); // read once, also on the second pass
    EXPECT_EQ(r.data.headerLines, 0);
    r = readSpectrumText("5", "t"); // a file of one byte
    EXPECT_EQ(xs(r), (std::vector<double>{5}));

    // Trailing line breaks add no points; "END" and what follows it are never data.
    r = readSpectrumText("\xEF\xBB\xBF"
                         "1 10\n2 20\n\n\n",
                         "t"); // a byte order mark is skipped
    EXPECT_EQ(xs(r), (std::vector<double>{1, 2}));
    r = readSpectrumText("1 10\r\n2 20\r\nEND\r\n3 garbage\r\n", "t");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(xs(r), (std::vector<double>{1, 2}));

    // With a header and no "END", the last data line still counts; CR-only line ends work.
    r = readSpectrumText("Comment: c\rBEGIN:\r7.5\t1e3  99 98\r8.5", "t");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(xs(r), (std::vector<double>{7.5, 8.5}));
    EXPECT_EQ(r.data.points[0].y, 1000); // second number; the rest of the row is ignored
    EXPECT_EQ(r.data.points[1].y, 0);    // a single number gives y = 0

    // Empty lines inside the block are points at (0, 0).
    r = readSpectrumText("BEGIN:\r\n1 1\r\n\r\n3 3\r\n  \r\nEND\r\n", "t");
    EXPECT_EQ(xs(r), (std::vector<double>{1, 0, 3, 0}));
    r = readSpectrumText("\nBEGIN:\n1 1\n\n3 3\nEND\n", "t"); // LF line ends, the first line empty
    EXPECT_EQ(xs(r), (std::vector<double>{1, 0, 3}));
    EXPECT_EQ(r.data.headerLines, 2);
    for (const char* text : {"BEGIN:\r\n\r\n\r\nEND\r\n", "BEGIN:\r\n\r\n1 2\r\nEND\r\n"}) {
        r = readSpectrumText(text, "t");
        ASSERT_TRUE(r) << text << ": " << r.error;
        EXPECT_EQ(r.data.points.size(), 2u) << text;
    }
    // Line breaks alone are a file without points, not an empty file.
    r = readSpectrumText("\r\n", "t");
    EXPECT_TRUE(r && r.data.points.empty()) << r.error;
    // A byte order mark is skipped at the start of the file only.
    r = readSpectrumText("1 2\r\n\xEF\xBB\xBF"
                         "3 4\r\n",
                         "t");
    EXPECT_EQ(r.fault, SpectrumReadFault::FirstNumber);
    EXPECT_EQ(r.errorLine, 2);
}

TEST(SpectrumReader, UnreadableNumbersStopTheLoadWithAReason) {
    auto r = readSpectrumText("BEGIN:\r\n1 2\r\n10,5 3\r\nEND\r\n", "c_021205.001");
    EXPECT_EQ(r.fault, SpectrumReadFault::FirstNumber);
    EXPECT_EQ(r.error, "No valid file format (c_021205.001): comma? (line 3: \"10,5\")");
    EXPECT_EQ(r.errorLine, 3);
    // Not only a comma: the line and the text that failed say what is wrong with the file.
    r = readSpectrumText("BEGIN:\r\n94.5 1\r\n95.0x0 2\r\nEND\r\n", "bad.dat");
    EXPECT_EQ(r.error, "No valid file format (bad.dat): comma? (line 3: \"95.0x0\")");
    r = readSpectrumText("\x1b]0;" + std::string(60, 'x') + " 2\r\n", "bad.dat");
    EXPECT_EQ(r.error, "No valid file format (bad.dat): comma? (line 1: \"?]0;" + std::string(36, 'x') + "...\")");

    // The message quotes the token as far as 40 bytes, control bytes shown as '?'.
    const std::string shown = "!~\x1F\x7F\x80" + std::string(35, 'a');
    struct Second {
        std::string token, quoted;
    };
    for (const Second& c : {Second{"2,5", "2,5"}, Second{shown, "!~??\xE2\x82\xAC" + std::string(35, 'a')},
                            Second{std::string(41, 'b'), std::string(40, 'b') + "..."}}) {
        r = readSpectrumText("BEGIN:\r\n1 " + c.token + "\r\n", "f");
        EXPECT_EQ(r.fault, SpectrumReadFault::SecondNumber);
        EXPECT_EQ(r.error, "Read error in f, line 2: \"" + c.quoted + "\" is not a number.");
    }

    // Without a header the data is read from the first line on, and lines are counted from there.
    r = readSpectrumText("1 2\r\n3 4\r\n5,5 6\r\n", "f");
    EXPECT_EQ(r.fault, SpectrumReadFault::FirstNumber);
    EXPECT_EQ(r.errorLine, 3);

    for (const char* bad : {"nan 1", "inf 2", "1e999 3", "0x10 4", "1.2.3 5"})
        EXPECT_EQ(readSpectrumText(bad, "f").fault, SpectrumReadFault::FirstNumber) << bad;
    EXPECT_EQ(readSpectrumText("1 nan", "f").fault, SpectrumReadFault::SecondNumber);
    // A control character is no blank: its line is damaged, not an empty point.
    for (const char* control : {"1 2\r\n\f\r\n", "1 2\r\n\x01\r\n"})
        EXPECT_EQ(readSpectrumText(control, "f").fault, SpectrumReadFault::FirstNumber);

    EXPECT_EQ(readSpectrumText("", "f").fault, SpectrumReadFault::Empty);
    EXPECT_EQ(readSpectrumText("", "f").errorLine, 0); // no line failed
    // Only a header: nothing follows "BEGIN", so the header itself is read as data and refused.
    EXPECT_EQ(readSpectrumText("Comment: x\r\nBEGIN:\r\n", "f").fault, SpectrumReadFault::FirstNumber);

    r = readSpectrumFile("/nonexistent/dir/file.dat");
    EXPECT_EQ(r.fault, SpectrumReadFault::CannotOpen);
    EXPECT_EQ(r.error, "Cannot open \"/nonexistent/dir/file.dat\": " + std::string(std::strerror(ENOENT)));
    EXPECT_EQ(r.data.fileName, "file.dat");
    using N = std::pair<const char*, const char*>;
    for (auto [path, name] : {N{"/data/c_021205.001", "c_021205.001"}, N{"C:\\spectra\\a.dat", "a.dat"},
                              N{"plain", "plain"}, N{"dir/", ""}})
        EXPECT_EQ(fileNameWithoutDirectory(path), name) << path;
}

// Random bytes are the fuzzer's; a huge header line and a huge data line are read, header fields stay cut.
TEST(SpectrumReader, HugeLinesAreReadAndCut) {
    const std::string longLine =
        "Comment: " + std::string(1 << 20, 'c') + "\r\nBEGIN:\r\n1 7." + std::string(1 << 20, '7');
    const auto r = readSpectrumText(longLine, "long");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.data.commentText.size(), 100u);
    EXPECT_NEAR(r.data.points[0].y, 7.7777777, 1e-6);
}

TEST(SpectrumReader, HeaderTextsDecodeWindows1252AndUtf8) {
    auto r = readSpectrumText("Probe: Ni 5 \xB5m\r\nBEGIN:\r\n1 2\r\n", "t");
    EXPECT_EQ(r.data.sampleText, "Probe: Ni 5 \xC2\xB5m");
    r = readSpectrumText("Probe: Ni 5 \xC2\xB5m\r\nBEGIN:\r\n1 2\r\n", "t");
    EXPECT_EQ(r.data.sampleText, "Probe: Ni 5 \xC2\xB5m");
    // Cutting counts characters, not bytes, and never splits one.
    std::string umlauts;
    for (int i = 0; i < 12; ++i) umlauts += "\xC3\xA4";
    r = readSpectrumText("Scans: 1 " + umlauts + "\r\nBEGIN:\r\n1 2\r\n", "t");
    EXPECT_EQ(r.data.scansText, "Scans: 1 " + umlauts.substr(0, 22));
    // Twenty characters of four bytes each, the keys found after them.
    std::string faces;
    for (int i = 0; i < 24; ++i) faces += "\xF0\x9F\x98\x80";
    r = readSpectrumText(faces + " Scans MeasTime Points AnaSta AnaEnd\r\nBEGIN:\r\n1 2\r\n", "t");
    for (const std::string* text : {&r.data.scansText, &r.data.measTimeText, &r.data.pointsText,
                                    &r.data.anaStaText, &r.data.anaEndText})
        EXPECT_EQ(*text, faces.substr(0, 80));
    // A hundred of them for the comment, sample and date.
    for (int i = 0; i < 80; ++i) faces += "\xF0\x9F\x98\x80";
    r = readSpectrumText(faces + " Comment Probe Date\r\nBEGIN:\r\n1 2\r\n", "t");
    for (const std::string* text : {&r.data.commentText, &r.data.sampleText, &r.data.dateText})
        EXPECT_EQ(*text, faces.substr(0, 400));
}

TEST(SpectrumReader, ReadsBackWhatTheWriterWrote) {
    for (std::uint8_t mode : {ModeOff, ModeClam, ModeCfs, ModeCis, ModeKeithley}) {
        SpectrumHeader h = clamHeader();
        h.machineMode = mode;
        h.points = 40;
        h.ramp = 0.02;
        h.analyserStart = 284.5;
        h.maxPositiveShift = 2;
        h.maxNegativeShift = 3;
        DataBlock block = makeBlock(h, 284.5, 0.0005);
        block[10].Co[0] = 1.234567890123e-3; // Keithley readings keep 15 digits
        SpectrumSaveOptions o;
        o.saveExtraPoints = true;
        o.addKeithley1 = true;
        const auto r = readSpectrumText(spectrumFileBytes(h, o, block), "rt");
        ASSERT_TRUE(r) << r.error;
        ASSERT_EQ(r.data.points.size(), 45u);
        for (std::size_t i = 0; i < 45; ++i) {
            EXPECT_NEAR(r.data.points[i].x, block[i + 1].Energy, 0.00005);
            if (mode == ModeKeithley)
                EXPECT_DOUBLE_EQ(r.data.points[i].y, block[i + 1].Co[0]);
            else
                EXPECT_EQ(r.data.points[i].y, std::round(block[i + 1].Co[0]));
        }
        EXPECT_EQ(r.data.scans, 2);
        EXPECT_EQ(r.data.passEnText, mode == ModeKeithley ? "" : "PassEn: 20.00");
        // What the exports need to tell a photon-energy scan from an analyser scan.
        EXPECT_EQ(r.data.fileformText, "Fileform: " + std::string(machineModeName(mode)));
        EXPECT_EQ(r.data.photEnText, mode == ModeOff    ? ""
                                     : mode == ModeClam ? "PhotEn: 21.2200"
                                                        : "Phot.Start: 21.2200");
        EXPECT_EQ(r.data.anaFixText, mode == ModeCfs ? "Fix. Analyser Energy:10" : "");
        // The raw counts of channeltrons 1 to 9, summed over the rows, where the rows carry them.
        if (mode != ModeKeithley) {
            ASSERT_TRUE(r.data.channelTotals) << int(mode);
            for (std::size_t c = 1; c <= 9; ++c) EXPECT_EQ((*r.data.channelTotals)[c - 1], 100 * 45 * 46 / 2 + 45 * c);
        } else {
            EXPECT_FALSE(r.data.channelTotals) << int(mode);
        }
    }
    // A row without all nine, or with something else in their place, leaves the file without
    // totals; its points are read as ever.
    for (const char* rows : {"1 10 1 1 1 1 1 1 1 1 1\r\n2 20\r\n", "1 10 1 1 1 1 x 1 1 1 1\r\n",
                             "1 10 1 1 1 1 -1 1 1 1 1\r\n"}) {
        const auto r = readSpectrumText(std::string("BEGIN:\r\n") + rows + "END\r\n", "rows");
        ASSERT_TRUE(r) << r.error;
        EXPECT_FALSE(r.data.channelTotals) << rows;
        EXPECT_EQ(r.data.points[0].y, 10);
    }
}

// Lines that run over the end of a piece, a CR LF split between two pieces, a byte order mark cut
// in two and the second pass of a header-only file read exactly as from one piece.
TEST(SpectrumReader, PiecesReadLikeOneText) {
    for (const std::string_view text :
         {"Comment: c\r\nScans: 4\r\nBEGIN:\r\n1 10\r\n\r\n2.5e3 20 7\r\n\r\nEND\r\n9 9\r\n",
          "\xEF\xBB\xBF"
          "1 1\r2 2\n\n3 3\r\n\r\n",
          "Comment: x\r\nBEGIN:\r\n", "Probe: \xB5\r\nBEGIN:\r\n1 2\r\n1,5 3\r\n", "BEGIN:\r\n1 x\r\n",
          "\r\n\r\n\r\n", "\r", "BEGIN:\r\nEND",
          "1 1\r\x01" // only an LF right after a CR belongs to its line end
          "2 2\r\n"}) {
        const auto whole = readSpectrumText(text, "t");
        for (const std::size_t piece : {1, 2, 3, 5}) {
            PieceSource source(text, piece);
            const auto r = readSpectrumSource(source, "t");
            ASSERT_EQ(r.fault, whole.fault) << text << " / " << piece;
            EXPECT_EQ(r.errorLine, whole.errorLine);
            EXPECT_EQ(r.data.headerLines, whole.data.headerLines);
            EXPECT_EQ(r.data.sampleText, whole.data.sampleText);
            EXPECT_EQ(r.data.scans, whole.data.scans);
            EXPECT_EQ(xs(r), xs(whole)) << text << " / " << piece;
        }
    }
}

// What cannot be a spectrum file is refused before it is read: no wait on a pipe, no endless
// device, no quarter gigabyte read only to be thrown away.
TEST(SpectrumReader, OnlyRegularFilesOfBoundedSizeAreRead) {
    korvo::testing::TempDir dir;
    const std::string fifo = dir.file("fifo"), link = dir.file("zero-link"), big = dir.file("big.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", link.c_str()), 0);
    for (const auto& [path, size] : {std::pair{big, kMaxSpectrumFileBytes + 1},
                                     std::pair{dir.file("largest.dat"), kMaxSpectrumFileBytes}}) {
        std::FILE* f = std::fopen(path.c_str(), "w"); // sparse: takes no room on the disk
        ASSERT_TRUE(f && ::ftruncate(::fileno(f), static_cast<off_t>(size)) == 0);
        std::fclose(f);
    }
    // One byte less is a size that is read (and refused for what it holds: a line of zero bytes).
    EXPECT_EQ(readSpectrumFile(dir.file("largest.dat")).fault, SpectrumReadFault::LineTooLong);
    struct Case {
        std::string path, reason;
    };
    std::vector<Case> cases = {Case{dir.path.string(), "a directory"}, Case{fifo, "a named pipe"},
                               Case{link, "a character device"}, Case{"/dev/urandom", "a character device"},
                               Case{big, "the file is too large (257 MB, at most 256 MB)"}};
    struct stat loop {};
    if (::stat("/dev/loop0", &loop) == 0 && S_ISBLK(loop.st_mode) && ::access("/dev/loop0", R_OK) == 0)
        cases.push_back(Case{"/dev/loop0", "a block device"}); // where the machine has one to read
    for (const Case& c : cases) {
        const auto r = readSpectrumFile(c.path);
        EXPECT_EQ(r.fault, SpectrumReadFault::CannotOpen) << c.path;
        EXPECT_NE(r.error.find("\"" + c.path + "\": " + c.reason), std::string::npos) << r.error;
    }
    // A file that cannot be read names the cause: the process's memory from address 0 is such a file.
    if (::access("/proc/self/mem", R_OK) == 0) {
        const auto r = readSpectrumFile("/proc/self/mem");
        EXPECT_EQ(r.fault, SpectrumReadFault::CannotOpen);
        EXPECT_EQ(r.error, "Cannot read \"/proc/self/mem\": " + std::string(std::strerror(EIO)));
    }
    // A regular file is read whole, whatever errno an earlier call left behind.
    std::ofstream(dir.file("ok.dat"), std::ios::binary) << "1 2\r\n3 4\r\n";
    errno = EINTR;
    EXPECT_EQ(xs(readSpectrumFile(dir.file("ok.dat"))), (std::vector<double>{1, 3}));
    // Messages name the file without its directory.
    std::ofstream(dir.file("bad.dat"), std::ios::binary) << "1,5 2\r\n";
    EXPECT_EQ(readSpectrumFile(dir.file("bad.dat")).error, "No valid file format (bad.dat): comma? (line 1: \"1,5\")");
}

// A line of megabytes is no spectrum line, however harmless its bytes; reading stops after a bounded
// part of it. A line of exactly the limit is still read, whether it lies in one piece, ends inside a
// later piece or ends with the bytes.
TEST(SpectrumReader, LinesUpToTheLimitAreReadLongerOnesRefused) {
    const std::size_t limit = kMaxSpectrumLineBytes;
    const auto comment = [](std::size_t bytes) { return "Comment: " + std::string(bytes - 9, 'c'); };
    struct Case {
        std::string text;
        std::size_t piece; // 0: all bytes at once
        int badLine;       // 0: read
    };
    const std::string tail = "\r\nBEGIN:\r\n1 2\r\n";
    const std::vector<Case> cases = {
        {comment(limit) + tail, 0, 0},
        {comment(limit + 1) + tail, 0, 1},
        {comment(limit) + tail, 3000, 0}, // the line ends inside a piece
        {comment(limit + 1) + tail, 3000, 1},
        {"BEGIN:\r\n1 2\r\n1 2" + std::string(limit - 3, ' '), 0, 0}, // the last line has no line end
        {"BEGIN:\r\n1 2\r\n" + std::string(limit + 1, ' '), 0, 3},
    };
    for (const Case& c : cases) {
        MemoryByteSource whole(c.text);
        PieceSource pieces(c.text, c.piece);
        const auto r =
            readSpectrumSource(c.piece ? static_cast<SpectrumByteSource&>(pieces) : whole, "long.dat");
        if (c.badLine == 0) {
            ASSERT_TRUE(r) << r.error;
            EXPECT_EQ(r.data.points.size(), c.text.back() == ' ' ? 2u : 1u);
            continue;
        }
        EXPECT_EQ(r.fault, SpectrumReadFault::LineTooLong);
        EXPECT_EQ(r.errorLine, c.badLine);
        EXPECT_EQ(r.error, "The file long.dat has a line longer than 8 MB; it is not a spectrum file.");
    }
}

// A file holds at most kMaxSpectrumPoints points, empty lines counted as points, whether the block
// ends with "END" or with the file.
TEST(SpectrumReader, PointsBeyondTheLimitAreRefused) {
    const std::size_t limit = kMaxSpectrumPoints;
    auto r = readSpectrumText("BEGIN:\n" + std::string(limit, '\n') + "END\n", "many.dat");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.data.points.size(), limit);

    // A data line after as many empty lines as the limit, or after more, is one point too many.
    for (const std::size_t blanks : {limit, limit + 1}) {
        r = readSpectrumText("BEGIN:\n" + std::string(blanks, '\n') + "1 2\n", "many.dat");
        EXPECT_EQ(r.fault, SpectrumReadFault::TooManyPoints);
        EXPECT_EQ(r.errorLine, static_cast<int>(blanks) + 2);
        EXPECT_EQ(r.error, "The file many.dat holds more than 10000000 points.");
        EXPECT_TRUE(r.data.points.empty());
    }
}

// A source that fails is reported with its reason and no line; one that announces its size has the
// point table sized once from it.
TEST(SpectrumReader, SourceFailuresAndSizeHints) {
    const std::string text = "Comment: c\r\nBEGIN:\r\n1 2\r\n3 4\r\n";
    for (std::size_t failing : {0, 3}) { // in the header, in the data
        PieceSource source(text, 8);
        source.failingRead = failing;
        const auto r = readSpectrumSource(source, "t");
        EXPECT_EQ(r.fault, SpectrumReadFault::CannotOpen) << failing;
        EXPECT_EQ(r.error, "the disk went away");
        EXPECT_EQ(r.errorLine, 0);
        EXPECT_TRUE(r.data.points.empty());
    }
    PieceSource headerOnly("Comment: c\r\n", 4); // read a second time, as data
    headerOnly.failRewind = true;
    auto r = readSpectrumSource(headerOnly, "t");
    EXPECT_EQ(r.fault, SpectrumReadFault::CannotOpen);
    EXPECT_EQ(r.error, "cannot seek");
    EXPECT_EQ(r.errorLine, 0);

    PieceSource sized(text, 8);
    sized.hint = 1000;
    r = readSpectrumSource(sized, "t");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.data.points.size(), 2u);
    EXPECT_EQ(r.data.points.capacity(), 201u); // one point per five bytes at most
}

// Data numbers follow the program's number rules exactly, the quick route for plain decimals
// included: "." only, exponents, a sign, and nothing the rules refuse.
TEST(SpectrumReader, DataNumbersFollowTheNumberRules) {
    // Signs, points and exponents in every place, values beyond the range, foreign notations.
    std::vector<std::string> tokens = {"5.", ".5", "-.5", "+.5", "+-5", "-+5", "-", ".", "1e", "1e+"};
    for (const char* t : {"1E-5", "1e+05", "1E-400", "-1e-400", "1e400", "4.9e-324", "2.5e-320", "1e000002"})
        tokens.push_back(t);
    for (const char* t :
         {"0x10", "1,5", "inf", "-nan", "1.2.3", "007", "1.5e3x", "-0", "12:30", "0.5:", ":", "1.:", "2.x"})
        tokens.push_back(t);
    tokens.push_back(std::string(400, '3') + ".25");
    tokens.push_back("0." + std::string(400, '0') + "1");
    for (const std::string& token : tokens) {
        const auto r = readSpectrumText("BEGIN:\r\n1 " + token + "\r\n", "n");
        const auto expected = text::parseDouble(token);
        ASSERT_EQ(static_cast<bool>(r), static_cast<bool>(expected)) << token << ": " << r.error;
        if (!expected) continue;
        EXPECT_EQ(r.data.points[0].y, *expected) << token;
        EXPECT_EQ(std::signbit(r.data.points[0].y), std::signbit(*expected)) << token;
    }

    // Plain decimals take a quicker route than the rest; they must give the same doubles, bit for
    // bit, around the 15 digits where that route ends and for every place of the point.
    std::mt19937_64 random(4711);
    std::string text = "BEGIN:\r\n";
    std::vector<std::string> decimals;
    for (int i = 0; i < 20000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 18);
        std::string t = random() % 3 == 0 ? "-" : "";
        for (int d = 0; d < digits; ++d) t += static_cast<char>('0' + random() % 10);
        if (random() % 4 != 0) t.insert(t.size() - random() % (digits + 1), ".");
        if (t == "." || t == "-.") t += "5";
        decimals.push_back(t);
        text += "1 " + t + "\r\n";
    }
    const auto r = readSpectrumText(text + "END\r\n", "d");
    ASSERT_TRUE(r) << r.error;
    ASSERT_EQ(r.data.points.size(), decimals.size());
    for (std::size_t i = 0; i < decimals.size(); ++i) {
        const auto expected = text::parseDouble(decimals[i]);
        ASSERT_TRUE(expected) << decimals[i];
        const double y = r.data.points[i].y;
        ASSERT_EQ(std::memcmp(&y, &*expected.value, sizeof y), 0) << decimals[i] << " " << y;
    }

    // Bytes that start with their data (no header) may sit inside a larger buffer: the first number
    // is read from its own first byte, whatever lies before it (here a '+').
    const std::string buffer = "+12e3 5\r\n";
    const auto front = readSpectrumText(std::string_view(buffer).substr(1), "f");
    ASSERT_TRUE(front) << front.error;
    ASSERT_EQ(front.data.points.size(), 1u);
    EXPECT_EQ(front.data.points[0].x, 12000);
}
