// NeXus files of other programs and hostile ones, made with the HDF5 C library: what loads, and what is
// refused with a message naming the path inside the file, before anything large is allocated.
#include "files/nexus_file.h"
#include "support/temp_dir.h"

#include <hdf5.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <sys/mman.h>
#include <unistd.h>

using namespace korvo;

namespace {

// An HDF5 file in the newest format (which holds attributes of any size), made on the disk and
// taken as bytes once it is closed.
class Image {
public:
    Image() {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        fapl_ = H5Pcreate(H5P_FILE_ACCESS);
        H5Pset_libver_bounds(fapl_, H5F_LIBVER_LATEST, H5F_LIBVER_LATEST);
        file_ = H5Fcreate(dir_.file("hostile.nxs").c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, fapl_);
    }
    ~Image() { close(); }
    hid_t file() const { return file_; }

    hid_t group(hid_t parent, const char* name, const char* nxClass) {
        const hid_t g = H5Gcreate2(parent, name, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
        groups_.push_back(g);
        if (nxClass) text(g, "NX_class", nxClass);
        return g;
    }
    // A fixed-length text attribute (variable length with `variable`).
    void text(hid_t object, const char* name, const std::string& value, bool variable = false) {
        const hid_t type = H5Tcopy(H5T_C_S1);
        H5Tset_size(type, variable ? H5T_VARIABLE : value.size() + 1);
        const hid_t space = H5Screate(H5S_SCALAR);
        const hid_t a = H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
        const char* p = value.c_str();
        H5Awrite(a, type, variable ? static_cast<const void*>(&p) : p);
        H5Aclose(a), H5Sclose(space), H5Tclose(type);
    }
    // Numbers of `dims`, written when `values` are given; `dcpl` chooses the layout.
    hid_t numbers(hid_t parent, const char* name, std::vector<hsize_t> dims, const std::vector<double>& values,
                  hid_t dcpl = H5P_DEFAULT, const char* units = nullptr) {
        const hid_t space = H5Screate_simple(int(dims.size()), dims.data(), nullptr);
        const hid_t d = H5Dcreate2(parent, name, H5T_IEEE_F64LE, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
        if (!values.empty()) H5Dwrite(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
        if (units) text(d, "units", units);
        H5Sclose(space);
        H5Dclose(d);
        return d;
    }
    void field(hid_t parent, const char* name, const std::string& value) {
        const hid_t type = H5Tcopy(H5T_C_S1);
        H5Tset_size(type, value.size() + 1);
        const hid_t space = H5Screate(H5S_SCALAR);
        const hid_t d = H5Dcreate2(parent, name, type, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
        H5Dwrite(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, value.c_str());
        H5Dclose(d), H5Sclose(space), H5Tclose(type);
    }
    // An entry with an NXdata of three points over the kinetic energy; its data group.
    hid_t entry(const char* name = "entry") {
        const hid_t e = group(file_, name, "NXentry");
        const hid_t data = group(e, "data", "NXdata");
        text(data, "signal", "data");
        text(data, "axes", "energy");
        numbers(data, "data", {3}, {10, 20, 30}, H5P_DEFAULT, "counts");
        numbers(data, "energy", {3}, {100, 101, 102}, H5P_DEFAULT, "eV");
        return data;
    }
    std::string bytes() {
        close();
        std::ifstream in(dir_.file("hostile.nxs"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    void close() {
        if (file_ < 0) return;
        for (hid_t g : groups_) H5Gclose(g);
        H5Fclose(file_);
        H5Pclose(fapl_);
        file_ = -1;
    }
    korvo::testing::TempDir dir_;
    hid_t fapl_, file_;
    std::vector<hid_t> groups_;
};

std::string refusal(Image& image) {
    const NexusReadResult r = readNexusBytes(image.bytes(), "h.nxs");
    EXPECT_TRUE(r.spectra.empty());
    return r.error;
}

bool says(const std::string& message, const std::string& what) {
    return message.find(what) != std::string::npos;
}

} // namespace

TEST(NexusForeign, AnotherProgramsSpectrumLoadsWithItsValues) {
    Image image;
    const hid_t data = image.entry();
    const hid_t e = H5Gopen2(image.file(), "entry", H5P_DEFAULT);
    image.field(e, "title", "Au 4f survey");
    image.field(e, "start_time", "2024-05-01T03:12:45+02:00");
    image.field(image.group(e, "sample", "NXsample"), "name", "Au foil");
    const hid_t instrument = image.group(e, "instrument", "NXinstrument");
    image.numbers(image.group(instrument, "beam", "NXbeam"), "incident_energy", {}, {1.4866}, H5P_DEFAULT, "keV");
    const hid_t analyser = image.group(instrument, "analyser", "NXelectronanalyser");
    image.numbers(image.group(analyser, "disp", "NXenergydispersion"), "pass_energy", {}, {20}, H5P_DEFAULT, "eV");
    H5Gclose(e);
    (void)data;
    const NexusReadResult r = readNexusBytes(image.bytes(), "xps.nxs");
    ASSERT_TRUE(r) << r.error;
    ASSERT_EQ(r.spectra.size(), 1u);
    const NexusSpectrum& s = r.spectra[0];
    EXPECT_TRUE(s.foreign);
    EXPECT_EQ(s.name, "xps.nxs_entry");
    EXPECT_EQ(s.table.columns, (std::vector<std::vector<double>>{{100, 101, 102}, {10, 20, 30}}));
    EXPECT_EQ(s.table.headerLines,
              (std::vector<std::string>{"Comment: Au 4f survey", "Probe: Au foil", "Date:  01.05.2024 03:12:45",
                                        "Points:3", "PassEn:20", "AnaSta:100", "AnaEnd:102", "PhotEn: 1486.6"}));
}

TEST(NexusForeign, BindingEnergiesBecomeKineticOnesWhenThePhotonEnergyIsKnown) {
    for (bool photon : {true, false}) {
        Image image;
        const hid_t e = image.group(image.file(), "scan", "NXentry");
        const hid_t data = image.group(e, "results", "NXdata");
        image.text(data, "signal", "counts", true);
        image.numbers(data, "counts", {2}, {5, 6});
        image.numbers(data, "binding_energy", {2}, {84, 88}, H5P_DEFAULT, "eV");
        if (photon) {
            const hid_t instrument = image.group(e, "instrument", "NXinstrument");
            image.numbers(image.group(instrument, "beam", "NXbeam"), "incident_energy", {}, {100});
            image.numbers(image.group(instrument, "a", "NXelectronanalyser"), "work_function", {}, {4.5});
        }
        const NexusReadResult r = readNexusBytes(image.bytes(), "be.h5");
        ASSERT_TRUE(r) << r.error;
        EXPECT_EQ(r.spectra[0].table.columns[0], photon ? (std::vector<double>{11.5, 7.5}) : (std::vector<double>{84, 88}));
        EXPECT_EQ(r.spectra[0].table.columns[1], (std::vector<double>{5, 6}));
    }
}

TEST(NexusHostile, WhatIsNoSpectrumIsRefusedNamingWhereItWasFound) {
    EXPECT_TRUE(says(readNexusBytes("USER_ID: lab\r\n", "a.nxs").error, "no HDF5 file"));
    EXPECT_TRUE(says(readNexusBytes("", "a.nxs").error, "it is empty"));
    {
        Image image;
        image.group(image.file(), "calibration", "NXcollection");
        EXPECT_EQ(refusal(image),
                  "The NeXus file h.nxs cannot be loaded: no NXentry group in the file (found: calibration).");
    }
    {
        Image image;
        const hid_t data = image.group(image.group(image.file(), "entry", "NXentry"), "data", "NXdata");
        image.text(data, "signal", "data");
        image.numbers(data, "data", {2, 3}, {1, 2, 3, 4, 5, 6});
        EXPECT_TRUE(says(refusal(image), "/entry/data/data: a signal of rank 2 (2 x 3)")) << refusal(image);
    }
    {
        Image image;
        const hid_t data = image.entry();
        H5Ldelete(data, "energy", H5P_DEFAULT);
        image.numbers(data, "energy", {4}, {1, 2, 3, 4}, H5P_DEFAULT, "eV");
        EXPECT_TRUE(says(refusal(image), "/entry/data/data: 3 points, its axis /entry/data/energy 4")) << refusal(image);
    }
    {
        Image image;
        const hid_t data = image.entry();
        H5Ldelete(data, "energy", H5P_DEFAULT);
        image.numbers(data, "angle", {3}, {1, 2, 3}, H5P_DEFAULT, "deg");
        H5Adelete(data, "axes");
        image.text(data, "axes", "angle");
        EXPECT_TRUE(says(refusal(image), "/entry/data/angle: the axis is no energy (units \"deg\")")) << refusal(image);
    }
    {
        Image image;
        const hid_t data = image.group(image.group(image.file(), "entry", "NXentry"), "data", "NXdata");
        image.text(data, "signal", "data");
        image.numbers(data, "data", {3}, {1, 2, 3});
        EXPECT_TRUE(says(refusal(image), "/entry/data/data: the signal has no axis")) << refusal(image);
    }
}

TEST(NexusHostile, SizesAreRefusedBeforeAnythingIsAllocated) {
    {
        Image image;
        const hid_t data = image.entry();
        H5Ldelete(data, "data", H5P_DEFAULT);
        image.numbers(data, "data", {hsize_t(1) << 40}, {}); // claims 2^40 points, holds none
        const std::string why = refusal(image);
        EXPECT_TRUE(says(why, "/entry/data/data: 1099511627776 points")) << why;
    }
    for (bool variable : {false, true}) {
        Image image;
        image.entry();
        const hid_t e = H5Gopen2(image.file(), "entry", H5P_DEFAULT);
        image.text(e, "default", std::string(4 << 20, 'x'), variable);
        H5Gclose(e);
        const std::string why = refusal(image);
        EXPECT_TRUE(says(why, "/entry@default")) << why;
        EXPECT_TRUE(says(why, "longer than 65536 bytes")) << why;
    }
    {
        Image image;
        const hid_t data = image.entry();
        H5Ldelete(data, "data", H5P_DEFAULT);
        const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
        const hsize_t chunk = hsize_t(1) << 24;
        H5Pset_chunk(dcpl, 1, &chunk);
        image.numbers(data, "data", {chunk}, {}, dcpl); // one chunk of 128 MB, were it ever read
        H5Pclose(dcpl);
        EXPECT_TRUE(says(refusal(image), "/entry/data/data: chunks larger than 64 MB")) << refusal(image);
    }
}

TEST(NexusHostile, LargeFilesAreRefusedAsSmallOnesAre) {
    // Beyond the bound before a byte is read; without the signature as no HDF5 file.
    korvo::testing::TempDir dir;
    std::ofstream(dir.file("big.nxs"), std::ios::binary) << std::string(std::size_t(3) << 20, 'u');
    NexusReadLimits small;
    small.maxFileBytes = std::size_t(2) << 20;
    const std::string tooLarge = readNexusFile(dir.file("big.nxs"), small).error;
    EXPECT_TRUE(says(tooLarge, "the file is too large")) << tooLarge;
    EXPECT_EQ(readNexusFile(dir.file("big.nxs")).error,
              "The NeXus file big.nxs cannot be loaded: it is no HDF5 file (no HDF5 signature).");
}

TEST(NexusHostile, LinksOutOfTheFileAndInCirclesAreNeverFollowed) {
    {
        Image image;
        const hid_t e = image.group(image.file(), "entry", "NXentry");
        H5Lcreate_external("elsewhere.nxs", "/entry/data", e, "data", H5P_DEFAULT, H5P_DEFAULT);
        EXPECT_EQ(refusal(image), "The NeXus file h.nxs cannot be loaded: /entry/data: an external link to "
                                  "elsewhere.nxs:/entry/data; links out of the file are never followed.");
    }
    {
        Image image;
        image.entry();
        H5Lcreate_external("/etc/passwd", "/", image.file(), "entry2", H5P_DEFAULT, H5P_DEFAULT);
        EXPECT_TRUE(says(refusal(image), "/entry2: an external link to /etc/passwd:/")) << refusal(image);
    }
    {
        Image image;
        const hid_t e = image.group(image.file(), "entry", "NXentry");
        H5Lcreate_soft("/entry/loop", e, "data", H5P_DEFAULT, H5P_DEFAULT);
        H5Lcreate_soft("data", e, "loop", H5P_DEFAULT, H5P_DEFAULT);
        image.text(e, "default", "data");
        EXPECT_TRUE(says(refusal(image), "a chain of more than 8 soft links")) << refusal(image);
    }
    {
        Image image;
        const hid_t e = image.group(image.file(), "entry", "NXentry");
        H5Lcreate_soft("/nowhere", e, "data", H5P_DEFAULT, H5P_DEFAULT);
        image.text(e, "default", "data");
        EXPECT_TRUE(says(refusal(image), "/entry/data: a soft link to /nowhere, which is not there")) << refusal(image);
    }
    {
        // A group linked into itself inside an entry that belongs to a spectrum: the walk stops.
        Image image;
        image.entry();
        const hid_t fit = image.group(image.file(), "entry_fit", "NXentry");
        image.text(fit, "korvo_spectrum", "entry");
        const hid_t inner = image.group(fit, "inner", "NXcollection");
        H5Lcreate_hard(image.file(), "/entry_fit", inner, "up", H5P_DEFAULT, H5P_DEFAULT);
        EXPECT_TRUE(says(refusal(image), "nested more than 8 deep")) << refusal(image);
    }
    {
        // A soft link inside the file is followed.
        Image image;
        const hid_t data = image.entry();
        H5Lmove(data, "energy", data, "ke", H5P_DEFAULT, H5P_DEFAULT);
        H5Lcreate_soft("/entry/data/ke", data, "energy", H5P_DEFAULT, H5P_DEFAULT);
        const NexusReadResult r = readNexusBytes(image.bytes(), "h.nxs");
        ASSERT_TRUE(r) << r.error;
        EXPECT_EQ(r.spectra[0].table.columns[0], (std::vector<double>{100, 101, 102}));
    }
}

TEST(NexusHostile, StorageOutsideTheFileAndFilterPlugInsAreRefused) {
    korvo::testing::TempDir dir;
    {
        Image image;
        const hid_t data = image.entry();
        H5Ldelete(data, "data", H5P_DEFAULT);
        const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
        H5Pset_external(dcpl, dir.file("raw.bin").c_str(), 0, 3 * sizeof(double));
        image.numbers(data, "data", {3}, {}, dcpl);
        H5Pclose(dcpl);
        EXPECT_TRUE(says(refusal(image), "/entry/data/data: its values are stored in external files")) << refusal(image);
    }
    {
        Image image;
        const hid_t data = image.entry();
        H5Ldelete(data, "data", H5P_DEFAULT);
        const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
        const hsize_t three = 3;
        const hid_t source = H5Screate_simple(1, &three, nullptr);
        H5Pset_virtual(dcpl, source, dir.file("other.h5").c_str(), "/counts", source);
        image.numbers(data, "data", {3}, {}, dcpl);
        H5Sclose(source), H5Pclose(dcpl);
        EXPECT_TRUE(says(refusal(image), "/entry/data/data: a virtual data set")) << refusal(image);
    }
    {
        Image image;
        const hid_t data = image.entry();
        H5Ldelete(data, "data", H5P_DEFAULT);
        const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
        const hsize_t chunk = 3;
        H5Pset_chunk(dcpl, 1, &chunk);
        H5Pset_filter(dcpl, 32001, H5Z_FLAG_OPTIONAL, 0, nullptr); // a compressor of a plug-in
        image.numbers(data, "data", {3}, {1, 2, 3}, dcpl);
        H5Pclose(dcpl);
        EXPECT_TRUE(says(refusal(image), "/entry/data/data: compressed with filter 32001")) << refusal(image);
    }
}

TEST(NexusHostile, ADamagedKorvoEntryIsRefusedNotGuessed) {
    NexusSpectrum s;
    s.name = "k";
    s.table.headerLines = {"Fileform: CLAM"};
    s.table.beginLine = "BEGIN:";
    s.table.columns = {{1, 2}, {3, 4}};
    const std::string good(nexusFileBytes({s})->bytes());
    // The same file with the energies renamed away: the Korvo collection promises them.
    korvo::testing::TempDir dir;
    std::ofstream(dir.file("k.nxs"), std::ios::binary) << good;
    const hid_t file = H5Fopen(dir.file("k.nxs").c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
    H5Lmove(file, "/entry/data/energy", file, "/entry/data/elsewhere", H5P_DEFAULT, H5P_DEFAULT);
    H5Fclose(file);
    std::ifstream in(dir.file("k.nxs"), std::ios::binary);
    const std::string damaged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(readNexusBytes(good, "k.nxs"));
    EXPECT_EQ(readNexusBytes(damaged, "k.nxs").error, "The NeXus file k.nxs cannot be loaded: /entry/data/energy: missing.");
    // Cut short anywhere, it is refused as well, never half read.
    for (std::size_t cut : {std::size_t(0), good.size() / 3, good.size() / 2, good.size() - 1})
        EXPECT_FALSE(readNexusBytes(good.substr(0, cut), "k.nxs")) << cut;
}

TEST(NexusIsolation, TheChildsResultIsTheReadingAndItsCrashesAreRefusals) {
    // Korvo's own file with an addition: the same spectra through the child as in this process.
    const std::string corpus = KORVO_NEXUS_CORPUS;
    const auto bytesOf = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string korvo = bytesOf(corpus + "/korvo_keithley_cfs_fit.nxs");
    const NexusReadResult here = readNexusBytes(korvo, "k.nxs");
    const NexusReadResult there = readNexusIsolated(korvo, "k.nxs");
    ASSERT_TRUE(here && there) << here.error << there.error;
    ASSERT_EQ(there.spectra.size(), here.spectra.size());
    for (std::size_t i = 0; i < here.spectra.size(); ++i) {
        EXPECT_EQ(there.spectra[i].table.headerLines, here.spectra[i].table.headerLines);
        EXPECT_EQ(there.spectra[i].table.columns, here.spectra[i].table.columns);
        EXPECT_EQ(there.spectra[i].name, here.spectra[i].name);
        ASSERT_EQ(there.spectra[i].additions.size(), here.spectra[i].additions.size());
    }
    ASSERT_EQ(there.spectra[0].additions.size(), 1u);
    EXPECT_EQ(there.spectra[0].additions[0].groups.at(0).fields.at(0).value.numbers, (std::vector<double>{1, 2, 3, 4}));

    // A damaged file on which the HDF5 library itself reads outside its buffers (in this process it
    // would end Korvo): refused, and the load can go on.
    const NexusReadResult crashed = readNexusFile(corpus + "/library_crash_global_heap.h5");
    EXPECT_TRUE(crashed.spectra.empty());
    EXPECT_TRUE(says(crashed.error, "library_crash_global_heap.h5 cannot be loaded: the HDF5 library failed on it"))
        << crashed.error;

    // A file cut short while it is read (a large one is mapped, not copied): the reading process ends
    // on it, and Korvo refuses the file and goes on.
    {
        NexusSpectrum s;
        s.name = "long";
        s.table.headerLines = {"Fileform: CLAM"};
        s.table.columns.assign(2, std::vector<double>(200'000));
        for (std::size_t i = 0; i < 200'000; ++i) s.table.columns[0][i] = s.table.columns[1][i] = double(i);
        korvo::testing::TempDir dir;
        const std::string path = dir.file("long.nxs");
        ASSERT_TRUE(saveNexusFile(path, {s}));
        const int fd = ::open(path.c_str(), O_RDWR);
        const std::size_t size = std::filesystem::file_size(path);
        void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
        ASSERT_NE(mapped, MAP_FAILED);
        ASSERT_EQ(::ftruncate(fd, 4096), 0);
        const NexusReadResult cut =
            readNexusIsolated(std::string_view(static_cast<const char*>(mapped), size), "long.nxs");
        ::munmap(mapped, size);
        ::close(fd);
        EXPECT_TRUE(cut.spectra.empty());
        // (SIGBUS, or under the address sanitizer its report and exit status)
        EXPECT_TRUE(says(cut.error, "long.nxs cannot be loaded: the HDF5 library failed on it")) << cut.error;
    }

    // A cancel ends the reading at once.
    const NexusReadResult cancelled = readNexusIsolated(korvo, "k.nxs", {}, [] { return false; });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(cancelled.spectra.empty());
}
