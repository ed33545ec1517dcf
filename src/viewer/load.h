#pragma once
// Bringing spectrum files into a workspace: the viewer's "&Load", korvo-cli info and project, and the
// tests all run this one procedure.
//
// A load is all or nothing. The files are read first, beside the workspace; only when every file of
// the list has been read are the new spectra put into it. A load that fails, is cancelled or is
// refused leaves the workspace exactly as it was (order, counts, pool, numbering, Active), so the
// window adds "&Spectrum" menu entries only for the numbers a successful load reports.
#include "files/nexus_file.h"
#include "viewer/workspace.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// The load list, kept by the main window for the whole program run: the load dialog fills it, the
// load procedure reads it. Position i (1 .. LoadCount) of the list is paths[i - 1].
struct LoadList {
    std::vector<std::string> paths;
    bool LoadProjectFlag = false; // the dialog's "Load project" was used
    bool ScientaTempFlag = false; // the paths are temporary files of the Scienta import: deleted once read
    bool VamasFlag = false;       // the paths are VAMAS files ("Load VAMAS"), loaded as such
    bool NexusFlag = false;       // the paths are NeXus files ("Load NeXus"), loaded as such
    // The private directory the Scienta import made for them; removed with them.
    std::string tempDirectory;
    std::size_t LoadCount() const { return paths.size(); }
};

// Where a load stands, for a progress bar or line. Called before each file and after every piece of
// a large file, so that the window can pump its events while a load runs.
struct LoadProgress {
    std::string_view path;       // the file being read
    std::size_t filesDone = 0;   // files read completely
    std::size_t filesTotal = 0;  // files of the load
    std::uint64_t bytesDone = 0; // of the file being read
    std::uint64_t bytesTotal = 0;
};
// Returns whether to go on; false cancels the load, which then leaves the workspace as it was.
using LoadProgressHook = std::function<bool(const LoadProgress&)>;

struct LoadOptions {
    // "overview file" ticked and a file chosen: one line per loaded file is appended to it (the file
    // is made, with its title line, when it does not exist). Written only when the load succeeds.
    std::optional<std::string> overviewPath;
    LoadProgressHook progress;
};

enum class LoadStatus {
    Loaded,    // new spectra are in the workspace
    Nothing,   // the load list was empty; the workspace is unchanged (Closed set if it held nothing)
    Failed,    // a file could not be read; nothing of the load stays
    Cancelled, // the progress hook said stop; nothing of the load stays
    Refused,   // too many files, spectra or bytes; nothing was read
};

struct LoadOutcome {
    LoadStatus status = LoadStatus::Nothing;
    // For a message box or stderr; empty when there is nothing to say. A load that went through may
    // have something to say too (a line per project, the Origin import's ranges), a line each.
    std::string message;
    std::string failedPath;  // the file that failed, when one did
    int failedLine = 0;      // its line that failed, 0 when none
    std::vector<int> added;  // numbers of the new spectra in load order; empty unless Loaded
    bool closeWindow = false; // an empty window's load had nothing to load: Closed is set
    // A project load: the window's size and place to apply (also kept in tvar::geometry).
    std::optional<WindowGeometry> geometry;
    // A NeXus load: what the files hold beside the new spectra (their fits), by spectrum number.
    std::vector<std::pair<int, std::vector<NexusGroupData>>> nexusAdditions;
    explicit operator bool() const { return status == LoadStatus::Loaded; }
};

// The load procedure after the dialog: reads the spectrum files of the list into new spectra
// numbered after those of the workspace and puts them between its shown and hidden blocks.
// LoadProjectFlag is left to the caller (it leads to loadProjectFile instead); ScientaTempFlag is
// acted on and cleared, and the temporary files are deleted whatever the outcome. With VamasFlag
// (cleared here) the files are read as VAMAS files (loadVamasFiles), with NexusFlag (cleared here) as
// NeXus files (loadNexusFiles).
LoadOutcome loadSpectrumFiles(tvar& ws, LoadList& list, const LoadOptions& options = {});

// korvo-cli's load: the files as one load, spectrum files through the load procedure, ".k98" files
// through the project load and NeXus files (by name or by the HDF5 signature, viewer/nexus_import.h)
// as "Load NeXus" reads them, in the order given. All or nothing, like each of them; the message has
// the project load's line (N + " spectra opened !") for each project.
LoadOutcome loadFiles(tvar& ws, const std::vector<std::string>& paths, const LoadOptions& options = {});

// A load as a whole is bounded, not only each of its files: the points one window holds and the
// bytes one load reads. Far above any real measurement, they keep many large files from exhausting
// the memory; both are checked before the points are kept.
inline constexpr std::uint64_t kMaxWindowPoints = 50'000'000;
inline constexpr std::uint64_t kMaxLoadBytes = std::uint64_t(1) << 30;

// Why the files of `paths` together are too large for one load (the sizes of those that are regular
// files), or an empty text when they fit. Nothing is opened.
std::string checkLoadSize(const std::vector<std::string>& paths);

// One line of the overview file for a loaded spectrum (without the line end), and its title line.
std::string overviewLine(const ViewerSpectrum& s);
inline constexpr std::string_view kOverviewTitle =
    "Filename\tDate\tTime\tSample\tComment\tMeastime\tScans\tPassEn\tPoints\tAnaSta\tAnaEnd";

} // namespace korvo
