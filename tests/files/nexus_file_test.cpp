// NeXus files: spectrum files through their NeXus entry and back byte for byte, in every mode; what a
// viewer's reading keeps; the additions that ride along with a spectrum; what the writer refuses.
#include "files/nexus_file.h"
#include "files/nexus_part.h"
#include "files/spectrum_table.h"
#include "files/spectrum_writer.h"
#include "spectrum_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

using namespace korvo;
using korvo::testing::clamHeader;
using korvo::testing::makeBlock;

namespace {

SpectrumTable tableOf(const std::string& bytes) {
    MemoryByteSource source(bytes);
    SpectrumTableResult r = readSpectrumTableSource(source, "t.dat");
    EXPECT_TRUE(r) << r.read.error;
    return r.table;
}

NexusSpectrum spectrumOf(const std::string& bytes, const std::string& name) {
    NexusSpectrum s;
    s.name = name;
    s.table = tableOf(bytes);
    return s;
}

NexusReadResult throughNexus(const std::vector<NexusSpectrum>& spectra) {
    std::string error;
    const std::optional<NexusFileImage> file = nexusFileBytes(spectra, &error);
    EXPECT_TRUE(file) << error;
    return file ? readNexusBytes(file->bytes(), "t.nxs") : NexusReadResult{};
}

struct ModeCase {
    std::uint8_t mode;
    bool raw, k1, k2;
};

} // namespace

TEST(NexusFile, EveryModeComesBackByteForByteThroughText) {
    std::vector<std::string> files;
    for (const ModeCase& c : {ModeCase{ModeClam, false, false, false}, ModeCase{ModeClam, true, true, false},
                              ModeCase{ModeCfs, true, false, true}, ModeCase{ModeCis, true, true, true},
                              ModeCase{ModeKeithley, false, true, true}, ModeCase{ModeOff, true, false, false}}) {
        SpectrumHeader h = clamHeader();
        h.machineMode = c.mode;
        h.points = 7;
        h.ramp = 0.0035;                 // four decimals
        h.comment = "Kühler Kristall"; // written in Windows-1252
        h.startFieldText = "10";
        h.channelItems[2] = "C_3   -1.25";
        SpectrumSaveOptions o;
        o.saveRawData = c.raw;
        o.addKeithley1 = c.k1;
        o.addKeithley2 = c.k2;
        DataBlock block = makeBlock(h, 10, 0.0005);
        block[3].Co[10] = 1.5e-9; // electrometer readings in the general format
        files.push_back(spectrumFileBytes(h, o, block));
    }
    // A file of bare columns, and one whose header is UTF-8 and whose energies have no fixed decimals.
    files.push_back("10.5 100\r\n10.25 200\r\n11 300\r\n");
    files.push_back("Comment: Kühler Kristall\r\nBEGIN:\r\n1 5\r\n2.5 6\r\nEND\r\n");

    std::vector<NexusSpectrum> spectra;
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(spectrumTableText(tableOf(files[i])), files[i]) << "text alone, file " << i;
        spectra.push_back(spectrumOf(files[i], "s" + std::to_string(i)));
    }
    const NexusReadResult back = throughNexus(spectra);
    ASSERT_TRUE(back) << back.error;
    ASSERT_EQ(back.spectra.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(back.spectra[i].name, "s" + std::to_string(i));
        EXPECT_EQ(back.spectra[i].entryName, "entry" + std::to_string(i + 1));
        EXPECT_FALSE(back.spectra[i].foreign);
        EXPECT_EQ(spectrumTableText(back.spectra[i].table), files[i]) << "through NeXus, file " << i;
    }
}

TEST(NexusFile, TheViewersReadingOfATableIsThatOfItsText) {
    SpectrumHeader h = clamHeader();
    h.comment = "Date of cleaning: yesterday";
    h.points = 5;
    SpectrumSaveOptions o;
    o.saveRawData = true;
    const std::string bytes = spectrumFileBytes(h, o, makeBlock(h, 280, 0.25));
    const SpectrumFileData expected = readSpectrumText(bytes, "c_1.001").data;
    const SpectrumFileData d = spectrumFileDataOf(tableOf(bytes), "c_1.001");
    EXPECT_EQ(d.commentText, expected.commentText);
    EXPECT_EQ(d.dateText, expected.dateText);
    EXPECT_EQ(d.fileName, expected.fileName);
    EXPECT_EQ(d.passEnText, expected.passEnText);
    EXPECT_EQ(d.photEnText, expected.photEnText);
    EXPECT_EQ(d.scans, expected.scans);
    EXPECT_EQ(d.headerLines, expected.headerLines);
    ASSERT_TRUE(d.channelTotals && expected.channelTotals);
    EXPECT_EQ(*d.channelTotals, *expected.channelTotals);
    ASSERT_EQ(d.points.size(), expected.points.size());
    for (std::size_t i = 0; i < d.points.size(); ++i) {
        EXPECT_EQ(d.points[i].x, expected.points[i].x);
        EXPECT_EQ(d.points[i].y, expected.points[i].y);
    }
}

TEST(NexusFile, AViewersReadingOfAFileKeepsWhatTheViewerKeepsOfItsText) {
    // Multichanneltron spectra (one with a count the viewer does not sum), a Keithley spectrum with its
    // add-on columns and a plain one: a file of two megabytes, which is mapped rather than read.
    std::vector<std::string> files;
    for (int i = 0; i < 24; ++i) {
        SpectrumHeader h = clamHeader();
        h.machineMode = i == 22 ? ModeKeithley : ModeClam;
        h.points = 1000;
        SpectrumSaveOptions o;
        o.saveRawData = i < 22;
        o.addKeithley1 = i == 22;
        DataBlock block = makeBlock(h, 100 + i, 0.01);
        if (i == 5) block[7].Co[4] = -3;
        files.push_back(spectrumFileBytes(h, o, block));
    }
    std::vector<NexusSpectrum> spectra;
    for (std::size_t i = 0; i < files.size(); ++i) spectra.push_back(spectrumOf(files[i], "s" + std::to_string(i)));
    korvo::testing::TempDir dir;
    std::string error;
    ASSERT_TRUE(saveNexusFile(dir.file("series.nxs"), spectra, &error)) << error;
    ASSERT_GT(std::filesystem::file_size(dir.file("series.nxs")), std::uintmax_t(1) << 20);

    const NexusReadResult all = readNexusFile(dir.file("series.nxs"));
    NexusReadLimits viewer;
    viewer.allColumns = false;
    const NexusReadResult shown = readNexusFile(dir.file("series.nxs"), viewer);
    ASSERT_TRUE(all && shown) << all.error << shown.error;
    ASSERT_EQ(all.spectra.size(), files.size());
    ASSERT_EQ(shown.spectra.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(spectrumTableText(all.spectra[i].table), files[i]) << i;
        // What the viewer reads of the text: its points and channel totals.
        const SpectrumFileData text = readSpectrumText(files[i], "s").data;
        const NexusSpectrum& s = shown.spectra[i];
        ASSERT_EQ(s.table.columns.size(), 2u) << i;
        ASSERT_EQ(s.table.rows(), text.points.size()) << i;
        for (std::size_t r = 0; r < text.points.size(); ++r) {
            ASSERT_EQ(s.table.columns[0][r], text.points[r].x) << i;
            ASSERT_EQ(s.table.columns[1][r], text.points[r].y) << i;
        }
        EXPECT_EQ(s.channelTotals, text.channelTotals) << i;
        EXPECT_EQ(s.channelTotals.has_value(), i < 22 && i != 5) << i;
        EXPECT_EQ(s.table.headerLines, all.spectra[i].table.headerLines) << i;
    }
}

TEST(NexusFile, ATableNeedsTheSameNumbersInEveryRow) {
    for (const auto& [text, line, what] :
         {std::tuple{"BEGIN:\r\n1 2 3\r\n2 3\r\nEND\r\n", 3, "2 numbers"},
          std::tuple{"BEGIN:\r\n1 2 3\r\n2 3 x\r\nEND\r\n", 3, "\"x\" is not a number"}}) {
        MemoryByteSource source(text);
        const SpectrumTableResult r = readSpectrumTableSource(source, "t.dat");
        EXPECT_FALSE(r);
        EXPECT_EQ(r.read.errorLine, line) << text;
        EXPECT_NE(r.read.error.find(what), std::string::npos) << r.read.error;
        // The viewer's own reading of the same file is not affected.
        EXPECT_TRUE(readSpectrumText(text, "t.dat")) << text;
    }
    // Empty lines in the data are rows of zeros, as they are points (0, 0) for the viewer.
    const SpectrumTable t = tableOf("BEGIN:\r\n1 2 3\r\n\r\n4 5 6\r\n\r\nEND\r\n");
    ASSERT_EQ(t.rows(), 4u);
    EXPECT_EQ(t.columns[2], (std::vector<double>{3, 0, 6, 0}));
}

namespace {

NexusSpectrum spectrumWithFit() {
    NexusSpectrum s = spectrumOf("BEGIN:\r\n1 10\r\n2 20\r\n3 30\r\nEND\r\n", "with fit");
    NexusGroupData fit;
    fit.name = "fit";
    fit.nxClass = "NXentry";
    fit.attributes = {{"model", NexusValue{{}, {"two peaks"}, {}}}};
    fit.fields = {NexusField{"definition", NexusValue{{}, {"NXprocess"}, {}}, {}},
                  NexusField{"envelope", NexusValue{{1.5, 2.5, 3.5}, {}, {3}}, {{"units", NexusValue{{}, {"counts"}, {}}}}}};
    NexusGroupData peaks;
    peaks.name = "peaks";
    peaks.nxClass = "NXcollection";
    peaks.fields = {NexusField{"parameters", NexusValue{{1, 2, 3, 4, 5, 6}, {}, {2, 3}}, {}},
                    NexusField{"names", NexusValue{{}, {"a", "b"}, {2}}, {}},
                    NexusField{"chi2", NexusValue{{0.25}, {}, {}}, {}}};
    fit.groups.push_back(peaks);
    s.additions.push_back(fit);
    return s;
}

} // namespace

TEST(NexusFile, AdditionsTravelWithTheirSpectrumAndAreNoSpectra) {
    NexusSpectrum s = spectrumWithFit();
    NexusSpectrum plain = spectrumOf("BEGIN:\r\n1 1\r\nEND\r\n", "plain");

    const NexusReadResult back = throughNexus({s, plain});
    ASSERT_TRUE(back) << back.error;
    ASSERT_EQ(back.spectra.size(), 2u) << "the addition entry is no spectrum of its own";
    EXPECT_TRUE(back.spectra[1].additions.empty());
    ASSERT_EQ(back.spectra[0].additions.size(), 1u);
    const NexusGroupData& got = back.spectra[0].additions.front();
    EXPECT_EQ(got.name, "fit");
    EXPECT_EQ(got.nxClass, "NXentry");
    ASSERT_EQ(got.attributes.size(), 1u);
    EXPECT_EQ(got.attributes[0].second.texts, std::vector<std::string>{"two peaks"});
    ASSERT_EQ(got.fields.size(), 2u); // in name order
    EXPECT_EQ(got.fields[1].name, "envelope");
    EXPECT_EQ(got.fields[1].value.numbers, (std::vector<double>{1.5, 2.5, 3.5}));
    ASSERT_EQ(got.fields[1].attributes.size(), 1u);
    EXPECT_EQ(got.fields[1].attributes[0].second.texts, std::vector<std::string>{"counts"});
    ASSERT_EQ(got.groups.size(), 1u);
    const NexusGroupData& p = got.groups[0];
    EXPECT_EQ(p.nxClass, "NXcollection");
    ASSERT_EQ(p.fields.size(), 3u);
    EXPECT_EQ(p.fields[0].value.numbers, std::vector<double>{0.25});
    EXPECT_TRUE(p.fields[0].value.shape.empty());
    EXPECT_EQ(p.fields[1].value.texts, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(p.fields[2].value.shape, (std::vector<std::uint64_t>{2, 3}));
    EXPECT_EQ(p.fields[2].value.numbers, (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

TEST(NexusFile, AFileReadInPartsSideBySideIsReadAsAWhole) {
    // The root holds entry1, entry1_fit, entry2, entry3: in three parts or more, the fit is in another
    // part than its spectrum.
    const std::optional<NexusFileImage> file =
        nexusFileBytes({spectrumWithFit(), spectrumOf("BEGIN:\r\n1 1\r\nEND\r\n", "plain"),
                        spectrumOf("BEGIN:\r\n4 8\r\n5 9\r\nEND\r\n", "third")});
    ASSERT_TRUE(file);
    const std::string_view bytes = file->bytes();
    const NexusReadResult whole = readNexusBytes(bytes, "t.nxs");
    ASSERT_TRUE(whole) << whole.error;
    const auto inParts = [bytes](std::size_t parts, const NexusReadLimits& limits) {
        std::vector<nexus::ReadPart> read;
        for (std::size_t k = 0; k < parts; ++k) read.push_back(nexus::readPart(bytes, "t.nxs", limits, k, parts));
        return nexus::joinParts(std::move(read), "t.nxs", limits);
    };
    NexusReadLimits threeReaders;
    threeReaders.readers = 3;
    std::vector<NexusReadResult> readings;
    for (std::size_t parts = 2; parts <= 5; ++parts) readings.push_back(inParts(parts, {}));
    readings.push_back(readNexusIsolated(bytes, "t.nxs", threeReaders)); // in three processes
    for (const NexusReadResult& r : readings) {
        ASSERT_TRUE(r) << r.error;
        ASSERT_EQ(r.spectra.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(r.spectra[i].entryName, whole.spectra[i].entryName);
            EXPECT_EQ(spectrumTableText(r.spectra[i].table), spectrumTableText(whole.spectra[i].table));
            ASSERT_EQ(r.spectra[i].additions.size(), i == 0 ? 1u : 0u);
        }
        EXPECT_EQ(r.spectra[0].additions[0].name, "fit");
        EXPECT_EQ(r.spectra[0].additions[0].groups.at(0).fields.size(), 3u);
    }
    // What the whole file is judged by is judged over all parts: two spectra are too many here, although
    // no part holds more than one.
    NexusReadLimits two;
    two.maxSpectra = 2;
    EXPECT_EQ(inParts(4, two).error, readNexusBytes(bytes, "t.nxs", two).error);
    EXPECT_EQ(inParts(4, two).error, "The NeXus file t.nxs cannot be loaded: it holds more than the 2 spectra there is room for.");
}

TEST(NexusFile, TheWriterRefusesWhatItCannotWriteFaithfully) {
    std::string error;
    EXPECT_FALSE(nexusFileBytes({}, &error));
    EXPECT_EQ(error, "There is no spectrum to write.");

    NexusSpectrum s = spectrumOf("BEGIN:\r\n1 10\r\n2 20\r\nEND\r\n", "bad");
    s.table.columns[1][1] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(nexusFileBytes({s}, &error));
    EXPECT_EQ(error, "Spectrum bad, point 2: a value that is not a finite number.");

    s.table.columns = {{}, {}};
    EXPECT_FALSE(nexusFileBytes({s}, &error));
    EXPECT_EQ(error, "Spectrum bad has no points.");

    NexusSpectrum a = spectrumOf("BEGIN:\r\n1 10\r\nEND\r\n", "a");
    NexusGroupData g;
    g.name = "../x";
    a.additions.push_back(g);
    EXPECT_FALSE(nexusFileBytes({a}, &error));
    EXPECT_EQ(error, "Spectrum a: an addition without a plain name");
    a.additions[0].name = "fit";
    a.additions[0].fields = {NexusField{"v", NexusValue{{1, 2, 3}, {}, {2, 2}}, {}}};
    EXPECT_FALSE(nexusFileBytes({a}, &error));
    EXPECT_EQ(error, "Spectrum a: fit/v has 3 values for its shape of 4");
}

TEST(NexusFile, NamesAndSignatures) {
    EXPECT_EQ(nexusEntryName(0, 1), "entry");
    EXPECT_EQ(nexusEntryName(9, 12), "entry10");
    for (const char* name : {"a.nxs", "/d/x.NXS", "b.h5", "c.hdf5", "d.nx5", "e.hdf"}) EXPECT_TRUE(isNexusFileName(name)) << name;
    for (const char* name : {"a.dat", "nxs", "d.nxs/x", "c_021205.001"}) EXPECT_FALSE(isNexusFileName(name)) << name;
    const std::string signature("\x89HDF\r\n\x1a\n", 8);
    EXPECT_TRUE(hasHdf5Signature(signature + "rest"));
    EXPECT_TRUE(hasHdf5Signature(std::string(512, 'u') + signature));
    EXPECT_FALSE(hasHdf5Signature(std::string(100, 'u') + signature));
    EXPECT_FALSE(hasHdf5Signature("USER_ID: lab\r\n"));
}
