// NeXus files in a viewer window: "Save NeXus" and "Load NeXus" give every point and header text back,
// korvo-cli's loads take ".nxs" files among the others, and a load that fails or is cancelled leaves
// the workspace as it was.
#include "files/nexus_file.h"
#include "foreign_test_util.h"
#include "support/temp_dir.h"
#include "viewer/load.h"
#include "viewer/nexus_export.h"
#include "viewer/nexus_import.h"

#include <gtest/gtest.h>

using namespace korvo;
using korvo::testing::countRow;
using korvo::testing::multichanneltronText;
using korvo::testing::readBytes;
using korvo::testing::TempDir;
using korvo::testing::writeBytes;

namespace {

const char* const kNexusMeasured = "USER_ID: lab\r\nComment: Date of cleaning: Monday\r\nProbe: Cu(111)\r\n"
                              "FileName: C:\\data\\t_990101.000\r\nFileform: CLAM\r\nDate:  01.01.1999 12:30:15\r\n"
                              "Program: KORVO 02\r\nMeasTime: 100\r\nMeasTyp: CAE\r\nScans: 2\r\nPoints:4\r\n"
                              "PassEn:20.000\r\nAnaSta:10.000\r\nAnaEnd:10.200\r\nPhotEn: 21.220\r\nBEGIN:\r\n"
                              "10.000 1520\r\n10.050 1610\r\n10.100 1700\r\n10.150 1650\r\nEND\r\n";

void expectSameSpectrum(const tvar& a, int ka, const tvar& b, int kb) {
    SCOPED_TRACE(ka);
    const auto pa = a.points(ka), pb = b.points(kb);
    ASSERT_EQ(pa.size(), pb.size());
    for (std::size_t j = 0; j < pa.size(); ++j) {
        EXPECT_EQ(pa[j].x, pb[j].x) << j;
        EXPECT_EQ(pa[j].y, pb[j].y) << j;
    }
    const ViewerSpectrum& sa = a.spectrum(ka);
    const ViewerSpectrum& sb = b.spectrum(kb);
    for (auto field : {&ViewerSpectrum::ShortName, &ViewerSpectrum::FileName, &ViewerSpectrum::CommentText,
                       &ViewerSpectrum::SampleText, &ViewerSpectrum::DateText, &ViewerSpectrum::ScansText,
                       &ViewerSpectrum::MeasTimeText, &ViewerSpectrum::PointsText, &ViewerSpectrum::PassEnText,
                       &ViewerSpectrum::AnaStaText, &ViewerSpectrum::AnaEndText, &ViewerSpectrum::PhotEnText,
                       &ViewerSpectrum::FileformText, &ViewerSpectrum::AnaFixText})
        EXPECT_EQ(sa.*field, sb.*field);
    EXPECT_EQ(sa.ChannelTotals, sb.ChannelTotals);
    EXPECT_EQ(sa.Scans, sb.Scans);
    EXPECT_EQ(sa.MeasTime, sb.MeasTime);
    EXPECT_EQ(sa.RateFactor, sb.RateFactor);
    EXPECT_EQ(sa.YMaxOrig, sb.YMaxOrig);
}

class NexusLoad : public ::testing::Test {
protected:
    // A spectrum file, a multichanneltron file with its raw data and a file of bare columns.
    void loadMeasured(tvar& ws) {
        writeBytes(dir.file("t_990101.000"), kNexusMeasured);
        writeBytes(dir.file("m.000"), multichanneltronText({countRow("10.00", 1), countRow("10.10", 2)}) + "END\r\n");
        writeBytes(dir.file("bare.txt"), "1 5\r\n2 6\r\n3 7\r\n");
        ASSERT_TRUE(loadFiles(ws, {dir.file("t_990101.000"), dir.file("m.000"), dir.file("bare.txt")}));
    }
    TempDir dir;
};

} // namespace

TEST_F(NexusLoad, SavedAndLoadedAgainEverySpectrumIsWhatItWas) {
    tvar ws;
    loadMeasured(ws);
    std::string refusal;
    const std::vector<NexusSpectrum> spectra = nexusSpectraOf(ws, true, &refusal);
    ASSERT_EQ(spectra.size(), 3u) << refusal;
    std::string error;
    ASSERT_TRUE(saveNexusFile(dir.file("all.nxs"), spectra, &error)) << error;

    // "Load NeXus" into a window that holds a spectrum already: the new ones come after it.
    tvar back;
    writeBytes(dir.file("a.dat"), "BEGIN:\r\n1 1\r\nEND\r\n");
    ASSERT_TRUE(loadFiles(back, {dir.file("a.dat")}));
    LoadList list;
    list.paths = {dir.file("all.nxs")};
    list.NexusFlag = true; // as the dialog's "Load NeXus" leaves it
    const LoadOutcome out = loadSpectrumFiles(back, list);
    ASSERT_TRUE(out) << out.message;
    EXPECT_FALSE(list.NexusFlag);
    ASSERT_EQ(out.added, (std::vector<int>{2, 3, 4}));
    for (int k = 1; k <= 3; ++k) expectSameSpectrum(ws, k, back, k + 1);
    EXPECT_EQ(back.spectrum(2).PathName, dir.file("all.nxs"));
    EXPECT_TRUE(back.spectrum(3).ChannelTotals) << "the raw counts' totals, for the dead-time correction";

    // korvo-cli's load takes NeXus files among the others, by name or by their signature.
    std::filesystem::copy_file(dir.file("all.nxs"), dir.file("renamed.dat"));
    tvar cli;
    ASSERT_TRUE(loadFiles(cli, {dir.file("a.dat"), dir.file("all.nxs"), dir.file("renamed.dat")}));
    ASSERT_EQ(cli.spectrumCount(), 7);
    for (int k = 1; k <= 3; ++k) expectSameSpectrum(ws, k, cli, k + 4);
}

TEST_F(NexusLoad, AFailedOrCancelledLoadLeavesTheWorkspaceAsItWas) {
    tvar ws;
    loadMeasured(ws);
    ASSERT_TRUE(saveNexusFile(dir.file("good.nxs"), nexusSpectraOf(ws, true)));
    const std::string good = readBytes(dir.file("good.nxs"));
    writeBytes(dir.file("cut.nxs"), good.substr(0, good.size() / 2));
    writeBytes(dir.file("text.nxs"), kNexusMeasured);
    const std::int32_t shown = ws.ShownCount;
    const std::size_t pool = ws.pool.size();
    for (const char* bad : {"cut.nxs", "text.nxs"}) {
        const LoadOutcome out = loadNexusFiles(ws, {dir.file("good.nxs"), dir.file(bad)});
        EXPECT_EQ(out.status, LoadStatus::Failed);
        EXPECT_EQ(out.failedPath, dir.file(bad));
        EXPECT_EQ(out.message.rfind("The NeXus file " + std::string(bad) + " cannot be loaded: ", 0), 0u) << out.message;
        EXPECT_EQ(ws.ShownCount, shown);
        EXPECT_EQ(ws.pool.size(), pool);
    }
    EXPECT_NE(loadNexusFiles(ws, {dir.file("text.nxs")}).message.find("no HDF5 file"), std::string::npos);

    // Cancelled while the second file is read: nothing of the first stays either.
    int asked = 0;
    LoadOptions options;
    options.progress = [&asked](const LoadProgress& p) { return ++asked < 3 || p.filesDone == 0; };
    const LoadOutcome cancelled = loadNexusFiles(ws, {dir.file("good.nxs"), dir.file("good.nxs")}, options);
    EXPECT_EQ(cancelled.status, LoadStatus::Cancelled);
    EXPECT_EQ(ws.ShownCount, shown);
    EXPECT_EQ(ws.pool.size(), pool);

    // Nothing to save: a message instead of a file.
    tvar empty;
    std::string refusal;
    EXPECT_TRUE(nexusSpectraOf(empty, false, &refusal).empty());
    EXPECT_EQ(refusal, "No spectrum is marked; there is nothing to save.");
}
