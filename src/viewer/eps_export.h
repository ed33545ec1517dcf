#pragma once
// The documentation export: one Encapsulated PostScript picture per shown spectrum, drawn as the
// viewer draws it but all in black on a 512 x 320 one-bit picture, and the LaTeX document "fit.tex"
// that places each picture beside its spectrum's header texts. The window writes the files into the
// current directory, korvo-cli into the directory it is given; both take them from here.
#include "viewer/binding_axis.h"
#include "viewer/fit_overlay.h"
#include "viewer/workspace.h"

#include <QImage>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

inline constexpr int kEpsWidth = 512;
inline constexpr int kEpsHeight = 320;

// A one-bit Windows bitmap file of `picture`: file header, information header, the palette (black,
// white) and the rows bottom up, each padded to four bytes. Light pixels are white (bit 1).
std::string monochromeBmp(const QImage& picture);
inline constexpr std::size_t kBmpPixelOffset = 62;

// The EPS text of a picture whose one-bit bitmap file is `bmp`: the header lines, the pixel bytes
// after the first 62 bytes as upper-case hexadecimal, 64 digits a line (a last, shorter group is
// left out), and "%%Trailer". CR LF line ends.
std::string epsText(int width, int height, const std::string& bmp);

struct ExportFile {
    std::string name; // file name, no directory
    std::string bytes;
};

struct EpsExport {
    std::vector<ExportFile> pictures; // "<caption>.eps" in spectrum-number order
    std::string fitTex;               // "fit.tex" (Windows-1252)
    std::string lastBmp;              // "test.bmp": the bitmap of the last picture
};

// Draws spectrum numbers 1 .. ShownCount one after another as the active spectrum, on the plot
// area of kEpsWidth x kEpsHeight, with the frame and every curve black. The workspace's plot size
// and active spectrum are restored afterwards (scales are recomputed by the next paint). A caption
// that cannot be a file name (empty, ".", "..", a slash or a control character in it) and a caption
// used twice get a file name of their own, which "fit.tex" then names; any other character than
// ASCII letters, digits and . _ + - becomes '_' in the file name. Each picture shows its own
// spectrum only. `fitTex` is Windows-1252, the code page its preamble declares. With `binding` the
// pictures' energy axes are labelled in binding energy, as the window shows them. A `fit` is drawn,
// black as well, on the picture of its spectrum while it still fits the counts.
EpsExport epsExport(tvar& ws, const std::optional<BindingAxis>& binding = std::nullopt,
                    const FitOverlay* fit = nullptr);

} // namespace korvo
