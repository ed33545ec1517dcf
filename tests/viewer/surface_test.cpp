// The 3D view without OpenGL: the height grid from the shown spectra, normals, colour table,
// smoothing, the key state machine and the key recorder's file.
#include "support/temp_dir.h"
#include "viewer/colour_scales.h"
#include "viewer/surface/surface_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace korvo::surface {
namespace {

// A workspace whose spectra have the given counts (x = 1, 2, ...), shown in number order.
tvar series(const std::vector<std::vector<double>>& counts) {
    tvar ws;
    ws.pool.assign(1, SpectrumPoint{});
    int k = 0;
    for (const std::vector<double>& ys : counts) {
        ++k;
        ws.spectrum(k).NumPoints = int(ys.size());
        for (std::size_t j = 0; j < ys.size(); ++j) ws.pool.push_back({double(j + 1), ys[j]});
        ws.Order[std::size_t(k)] = std::uint16_t(k);
    }
    ws.recomputePoolStarts(k);
    ws.ShownCount = k;
    ws.Active = k > 0 ? 1 : 0;
    return ws;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SurfaceGrid, OneShownSpectrumRepeatsInEveryRow) {
    const tvar ws = series({{10, 20, 30, 40, 50}});
    HeightGrid grid;
    ASSERT_TRUE(buildHeightGrid(ws, grid));
    for (int r = 0; r < kGridPoints; ++r) {
        for (int c = 0; c < kGridPoints; ++c) ASSERT_DOUBLE_EQ(grid.at(c, r), grid.at(c, 0)) << c << "," << r;
    }
    // Column c takes point round(c / 256 * 4 + 1), scaled from 10 .. 50 to 0 .. 255.
    EXPECT_DOUBLE_EQ(grid.at(0, 100), 0);
    EXPECT_DOUBLE_EQ(grid.at(64, 100), 255.0 / 4);   // point 2
    EXPECT_DOUBLE_EQ(grid.at(128, 100), 255.0 / 2);  // point 3
    // 96 / 256 * 4 + 1 = 2.5 and 160 / 256 * 4 + 1 = 3.5: halves go to the even point.
    EXPECT_DOUBLE_EQ(grid.at(96, 100), 255.0 / 4);
    EXPECT_DOUBLE_EQ(grid.at(160, 100), 255.0 * 3 / 4);
    EXPECT_DOUBLE_EQ(grid.at(256, 100), 255);
}

TEST(SurfaceGrid, RowsFollowTheSpectrumNumbersAndHeightsSpanZeroTo255) {
    // Spectrum 1 counts 100 .. 102, and so on; the display order 3, 1, 2 does not matter: rows are
    // spectra 1 .. ShownCount by number, as for the commands that treat all spectra point by point.
    tvar ws = series({{100, 101, 102}, {200, 201, 202}, {300, 301, 302}});
    ws.Order[1] = 3, ws.Order[2] = 1, ws.Order[3] = 2;
    HeightGrid grid;
    ASSERT_TRUE(buildHeightGrid(ws, grid));
    // lo = 100, hi = 302. Row r shows spectrum round(r * 2 / 256 + 1) at grid row 256 - r.
    const auto h = [](double y) { return (y - 100) * 255 / 202; };
    EXPECT_DOUBLE_EQ(grid.at(0, 256), h(100)); // r = 0: spectrum 1
    EXPECT_DOUBLE_EQ(grid.at(256, 256), h(102));
    EXPECT_DOUBLE_EQ(grid.at(0, 0), h(300));     // r = 256: spectrum 3
    EXPECT_DOUBLE_EQ(grid.at(128, 128), h(201)); // r = 128: spectrum 2, point 2
    // r = 64 gives 1.5 and r = 192 gives 2.5: both round to the even spectrum 2.
    EXPECT_DOUBLE_EQ(grid.at(0, 192), h(200));
    EXPECT_DOUBLE_EQ(grid.at(0, 64), h(200));
    EXPECT_DOUBLE_EQ(grid.at(0, 63), h(300)); // r = 193: spectrum 3
    double lo = 1e9, hi = -1e9;
    for (int c = 0; c < kGridPoints; ++c)
        for (int r = 0; r < kGridPoints; ++r) lo = std::min(lo, grid.at(c, r)), hi = std::max(hi, grid.at(c, r));
    EXPECT_DOUBLE_EQ(lo, 0);
    EXPECT_DOUBLE_EQ(hi, 255);
}

TEST(SurfaceGrid, FlatSeriesSinglePointsAndRefusals) {
    HeightGrid grid;
    // Equal counts everywhere: heights 0, no NaN.
    ASSERT_TRUE(buildHeightGrid(series({{7, 7, 7}, {7, 7, 7}}), grid));
    EXPECT_EQ(grid, HeightGrid{});
    // One point per spectrum: every column reads that point (and nothing beyond it).
    ASSERT_TRUE(buildHeightGrid(series({{5}, {9}}), grid));
    EXPECT_DOUBLE_EQ(grid.at(0, 256), 0);
    EXPECT_DOUBLE_EQ(grid.at(256, 0), 255);

    // Unequal point counts: the message, the grid untouched.
    HeightGrid before;
    before.at(3, 4) = 42;
    grid = before;
    std::string message;
    EXPECT_FALSE(buildHeightGrid(series({{1, 2, 3}, {1, 2}}), grid, &message));
    EXPECT_EQ(message, "Anzahl der Meßpunkte stimmt nicht überein?\rFunktion geht nur bei gleicher Anzahl !");
    EXPECT_EQ(grid, before);
    // The point counts are compared by number too: with spectra 1 and 3 shown (3 is the shorter)
    // the grid is made of spectra 1 and 2.
    tvar reordered = series({{1, 2, 3}, {4, 5, 6}, {7, 8}});
    reordered.Order[2] = 3, reordered.Order[3] = 2;
    reordered.ShownCount = 2;
    reordered.HiddenCount = 1;
    ASSERT_TRUE(buildHeightGrid(reordered, grid));
    EXPECT_DOUBLE_EQ(grid.at(256, 0), 255); // point 3 of spectrum 2
    // Nothing shown: refused without a word.
    message.clear();
    EXPECT_FALSE(buildHeightGrid(series({}), grid, &message));
    EXPECT_TRUE(message.empty());
    // A spectrum without points cannot be drawn either.
    EXPECT_FALSE(buildHeightGrid(series({{}, {}}), grid, &message));
}

TEST(SurfaceGrid, SmoothingIsAThreePointMeanAlongOneAxis) {
    HeightGrid grid;
    grid.at(10, 5) = 9;
    grid.at(0, 5) = 6; // an edge point keeps its height
    HeightGrid energy = grid;
    smoothAlongEnergy(energy);
    EXPECT_DOUBLE_EQ(energy.at(9, 5), 3);
    EXPECT_DOUBLE_EQ(energy.at(10, 5), 3);
    EXPECT_DOUBLE_EQ(energy.at(11, 5), 3);
    EXPECT_DOUBLE_EQ(energy.at(12, 5), 0);
    EXPECT_DOUBLE_EQ(energy.at(0, 5), 6);
    EXPECT_DOUBLE_EQ(energy.at(1, 5), 2);
    EXPECT_DOUBLE_EQ(energy.at(10, 4), 0); // nothing leaks across the other axis
    HeightGrid spectra = grid;
    smoothAlongSpectra(spectra);
    EXPECT_DOUBLE_EQ(spectra.at(10, 4), 3);
    EXPECT_DOUBLE_EQ(spectra.at(10, 5), 3);
    EXPECT_DOUBLE_EQ(spectra.at(10, 6), 3);
    EXPECT_DOUBLE_EQ(spectra.at(9, 5), 0);
    EXPECT_DOUBLE_EQ(spectra.at(0, 5), 2);
}

TEST(SurfaceNormals, UnitLengthFromTheSlopesAndTheFixedSliceNormal) {
    HeightGrid grid;
    for (int c = 0; c < kGridPoints; ++c)
        for (int r = 0; r < kGridPoints; ++r) grid.at(c, r) = 2.0 * c + std::sin(r * 0.3) * 20;
    NormalGrid normals;
    computeNormals(grid, 10, 100, normals);
    for (int c = 0; c < kGridPoints; ++c)
        for (int r = 0; r < kGridPoints; ++r) {
            const Normal& n = normals.atGrid(c, r);
            ASSERT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0, 1e-5) << c << "," << r;
        }
    // Rising by 2 per column: x = -(three heights at c + 1 - three at c - 1) = -12, y = 10.
    const Normal& n = normals.atGrid(50, 0);
    const double len = std::sqrt(12.0 * 12 + 10 * 10 + 0);
    HeightGrid ramp;
    for (int c = 0; c < kGridPoints; ++c)
        for (int r = 0; r < kGridPoints; ++r) ramp.at(c, r) = 2.0 * c;
    NormalGrid rampNormals;
    computeNormals(ramp, 10, -1, rampNormals);
    EXPECT_NEAR(rampNormals.atGrid(50, 7).x, -12 / len, 1e-6);
    EXPECT_NEAR(rampNormals.atGrid(50, 7).y, 10 / len, 1e-6);
    EXPECT_NEAR(rampNormals.atGrid(50, 7).z, 0, 1e-6);
    EXPECT_GT(n.y, 0);
    // The slice column: (-1, 0, 1) normalised, whatever the heights; its neighbours are not.
    for (int r : {1, 128, 255}) {
        EXPECT_NEAR(normals.atGrid(100, r).x, -std::sqrt(0.5), 1e-6);
        EXPECT_NEAR(normals.atGrid(100, r).y, 0, 1e-6);
        EXPECT_NEAR(normals.atGrid(100, r).z, std::sqrt(0.5), 1e-6);
        EXPECT_GT(normals.atGrid(99, r).y, 0);
        EXPECT_GT(normals.atGrid(101, r).y, 0);
    }
    // A flat grid with a vertical component of 0 has no direction: the normal points up.
    NormalGrid flat;
    computeNormals(HeightGrid{}, 0, -1, flat);
    EXPECT_FLOAT_EQ(flat.atGrid(5, 5).y, 1);
}

TEST(SurfaceColours, TableFromAPaletteRowAndChannelRotation) {
    const ColourTable3d t = colourTableFromRow(5);
    for (int c = 0; c < kColourScaleColumns; ++c) {
        const ScaleColour p = colourScalePixel(c, 5);
        ASSERT_DOUBLE_EQ(t.R[std::size_t(c)], p.r / 255.0);
        ASSERT_DOUBLE_EQ(t.G[std::size_t(c)], p.g / 255.0);
        ASSERT_DOUBLE_EQ(t.B[std::size_t(c)], p.b / 255.0);
    }
    for (std::size_t c : {255u, 256u}) {
        EXPECT_DOUBLE_EQ(t.R[c], t.R[254]);
        EXPECT_DOUBLE_EQ(t.B[c], t.B[254]);
    }
    EXPECT_NE(colourTableFromRow(0), colourTableFromRow(1));
    ColourTable3d r = t;
    rotateChannels(r);
    EXPECT_EQ(r.R, t.G);
    EXPECT_EQ(r.G, t.B);
    EXPECT_EQ(r.B, t.R);
    rotateChannels(r);
    rotateChannels(r);
    EXPECT_EQ(r, t);
}

TEST(SurfaceKeysTest, ClampedParametersStepsAndTransforms) {
    SurfaceKeys keys;
    for (int i = 0; i < 50; ++i) keys.press(vk::Right);
    EXPECT_EQ(keys.params.paletteRow, 43);
    EXPECT_EQ(keys.params.step, 2);
    keys.press(vk::Left);
    EXPECT_EQ(keys.params.paletteRow, 42);
    keys.press('7');
    EXPECT_EQ(keys.params.slice, -1);
    EXPECT_EQ(keys.params.step, 4);
    for (int i = 0; i < 300; ++i) keys.press('8');
    EXPECT_EQ(keys.params.slice, 257);
    keys.release();
    EXPECT_EQ(keys.params.step, 1);
    EXPECT_EQ(keys.params.frameCounter, kFramesAfterRelease);

    EXPECT_TRUE(keys.press('N').normals);
    EXPECT_DOUBLE_EQ(keys.params.normalVertical, 11);
    keys.press(vk::Up);
    keys.press(vk::Up);
    EXPECT_NEAR(keys.params.heightScale, 0.5 * 1.21, 1e-12);
    keys.press(vk::PageDown);
    EXPECT_NEAR(keys.params.energyScale, 1 / 1.05, 1e-12);
    keys.press('U');
    EXPECT_TRUE(keys.params.wireFrame);
    EXPECT_TRUE(keys.press(vk::Space).smoothEnergy);
    EXPECT_TRUE(keys.press(vk::Enter).smoothSpectra);
    EXPECT_TRUE(keys.press('Y').rebuildGrid);

    EXPECT_EQ(keys.press('2').transform, (ModelTransform{ModelTransform::Kind::Rotate, -1, 1, 0, 0}));
    EXPECT_EQ(keys.press('5').transform, (ModelTransform{ModelTransform::Kind::Rotate, 1, 0, 0, 1}));
    EXPECT_EQ(keys.press('Q').transform, (ModelTransform{ModelTransform::Kind::Translate, 0, 0, -2, 0}));
    EXPECT_EQ(keys.press('Z').transform, (ModelTransform{ModelTransform::Kind::Translate, 0, 0, 0, 2}));
    EXPECT_EQ(keys.press('A').transform, (ModelTransform{ModelTransform::Kind::Scale, 0, 1.1f, 1.1f, 1.1f}));
    EXPECT_EQ(keys.press('X').transform.kind, ModelTransform::Kind::None);

    // F9 and F10 are not logged; the log stops at 1000 codes but the keys still act.
    const std::size_t logged = keys.log.size();
    EXPECT_FALSE(keys.press(vk::F9).logged);
    EXPECT_FALSE(keys.press(vk::F10).logged);
    EXPECT_EQ(keys.log.size(), logged);
    for (int i = 0; i < 1200; ++i) keys.press(vk::Down);
    EXPECT_EQ(keys.log.size(), std::size_t(kKeyLogSize));
    EXPECT_LT(keys.params.heightScale, 1e-10);
    keys.reset();
    EXPECT_TRUE(keys.log.empty());
    EXPECT_EQ(keys.params.paletteRow, 0);
    EXPECT_DOUBLE_EQ(keys.params.heightScale, 0.5);
    EXPECT_DOUBLE_EQ(keys.params.energyScale, 1.0);
}

TEST(SurfaceScene, StartsWithTheSurfaceInFrontOfTheCamera) {
    const tvar ws = series({{1, 5, 2}, {3, 4, 8}});
    SurfaceScene scene(ws);
    ASSERT_TRUE(scene.start(nullptr));
    EXPECT_TRUE(scene.running());
    EXPECT_TRUE(scene.frameDue());
    // The corners of the model's box lie inside the view volume of a 4:3 window.
    const Mat4 clip = projectionFor(640, 480) * scene.modelView();
    for (float x : {-128.f, 128.f})
        for (float y : {0.f, 127.5f})
            for (float z : {-128.f, 128.f}) {
                const auto v = clip.apply(x, y, z);
                EXPECT_GT(v[3], 0);
                EXPECT_LT(std::abs(v[0]), v[3]) << x << "," << y << "," << z;
                EXPECT_LT(std::abs(v[1]), v[3]) << x << "," << y << "," << z;
                EXPECT_LT(std::abs(v[2]), v[3]) << x << "," << y << "," << z;
            }
    // A rotation key multiplies onto the matrix in the model's own axes.
    const Mat4 before = scene.modelView();
    scene.press('1');
    const Mat4 expected = before * Mat4::rotation(1, 1, 0, 0);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(scene.modelView().m[i], expected.m[i]);
    // Frames count down to 0 and then none is due.
    while (scene.frameDue()) scene.frameDrawn(2);
    EXPECT_EQ(scene.params().frameCounter, 0);
    scene.stop();
    EXPECT_FALSE(scene.running());
}

TEST(SurfaceScene, RefusesUnequalSeriesAndRebuildsOnY) {
    tvar ws = series({{1, 2, 3}, {1, 2}});
    SurfaceScene refused(ws);
    std::string message;
    EXPECT_FALSE(refused.start(&message));
    EXPECT_EQ(message, kUnequalPointsMessage);
    EXPECT_FALSE(refused.running());

    const tvar fine = series({{1, 2, 3, 9}, {4, 2, 3, 1}, {0, 0, 5, 5}});
    SurfaceScene scene(fine);
    ASSERT_TRUE(scene.start(nullptr));
    const HeightGrid original = scene.grid();
    scene.press(vk::Space);
    scene.press(vk::Enter);
    EXPECT_NE(scene.grid(), original);
    scene.press('Y');
    EXPECT_EQ(scene.grid(), original);
}

TEST(SurfaceRecorder, F9WritesTheLogAndF10ReplaysTheSameChanges) {
    testing::TempDir dir;
    const std::string file = dir.file("tasten.txt");
    const tvar ws = series({{1, 5, 2, 7}, {3, 4, 8, 1}, {2, 2, 9, 4}});
    SurfaceScene recorded(ws, file);
    ASSERT_TRUE(recorded.start(nullptr));
    const std::vector<std::uint16_t> keys = {'1', vk::Up, vk::Right, vk::Right, 'F', '8', 'U', vk::Space, 'S', 'E'};
    for (std::uint16_t k : keys) recorded.press(k);
    EXPECT_TRUE(recorded.press(vk::F9).empty());
    EXPECT_EQ(readAll(file), "10\r\n49\r\n38\r\n39\r\n39\r\n70\r\n56\r\n85\r\n32\r\n83\r\n69\r\n");

    SurfaceScene replayed(ws, file);
    ASSERT_TRUE(replayed.start(nullptr));
    EXPECT_TRUE(replayed.press(vk::F10).empty());
    EXPECT_EQ(replayed.keyLog(), keys);
    EXPECT_EQ(replayed.params().paletteRow, 2);
    EXPECT_DOUBLE_EQ(replayed.params().heightScale, recorded.params().heightScale);
    EXPECT_EQ(replayed.params().slice, 0);
    EXPECT_TRUE(replayed.params().wireFrame);
    EXPECT_EQ(replayed.params().frameCounter, kFramesAfterReplay);
    EXPECT_EQ(replayed.colours(), recorded.colours());
    EXPECT_EQ(replayed.grid(), recorded.grid());
    EXPECT_EQ(replayed.modelView(), recorded.modelView());
}

TEST(SurfaceRecorder, MissingOrDamagedKeyFileReplaysNothing) {
    testing::TempDir dir;
    const std::string file = dir.file("tasten.txt");
    const tvar ws = series({{1, 5, 2}, {3, 4, 8}});
    SurfaceScene scene(ws, file);
    ASSERT_TRUE(scene.start(nullptr));
    const Mat4 start = scene.modelView();
    const auto expectNothingReplayed = [&](const std::string& content, const std::string& why) {
        if (!content.empty()) std::ofstream(file, std::ios::binary) << content;
        const std::vector<std::string> messages = scene.press(vk::F10);
        ASSERT_EQ(messages.size(), 1u) << content;
        EXPECT_NE(messages[0].find(why), std::string::npos) << messages[0];
        EXPECT_NE(messages[0].find("No keys were replayed."), std::string::npos);
        EXPECT_TRUE(scene.keyLog().empty()) << content;
        EXPECT_EQ(scene.modelView(), start) << content;
    };
    expectNothingReplayed("", "cannot be read");
    expectNothingReplayed("3\r\n49\r\nabc\r\n50\r\n", "line 3 is no key code");
    expectNothingReplayed("5\r\n49\r\n50\r\n", "announces 5 keys but holds 2");
    expectNothingReplayed("1001\r\n49\r\n", "first line");
    expectNothingReplayed("two\r\n49\r\n", "first line");
    expectNothingReplayed("1\r\n70000\r\n", "line 2 is no key code");

    // A hand-made file that holds F10 or F9 itself acts on its other keys only, once.
    std::ofstream(file, std::ios::binary) << "3\n121\n49\n120\n";
    EXPECT_TRUE(scene.press(vk::F10).empty());
    EXPECT_EQ(scene.keyLog(), std::vector<std::uint16_t>{'1'});
    EXPECT_EQ(readAll(file), "3\n121\n49\n120\n");
}

TEST(SurfaceRecorder, UnwritableKeyFileIsReported) {
    testing::TempDir dir;
    const tvar ws = series({{1, 5, 2}, {3, 4, 8}});
    SurfaceScene scene(ws, dir.file("missing-dir/tasten.txt"));
    ASSERT_TRUE(scene.start(nullptr));
    const std::vector<std::string> messages = scene.press(vk::F9);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("cannot be written"), std::string::npos);
}

} // namespace
} // namespace korvo::surface
