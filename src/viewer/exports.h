#pragma once
// The viewer's text exports for other programs, as plain functions over the workspace: the column
// file for Origin (values as displayed) and its RAW form (values as stored) on a merged energy grid,
// the grid file of a surface plotter, and the LaTeX document "fit.tex" that places each spectrum's
// picture beside its header texts. The window and korvo-cli write what these return; every line
// ends with CR LF.
//
// The column files read each spectrum's display range and scale (XMin, XMax, XPerPixel, YMin,
// YPerPixel), so the window computes them by painting and korvo-cli through the same scale code.
#include "viewer/workspace.h"

#include <optional>
#include <string>
#include <vector>

namespace korvo {

enum class ColumnValues { Displayed, Stored }; // Origin: (y - YMin) / YPerPixel; RAW: y

// The spectra a column file holds: the shown ones that are marked, or every shown one with
// `allSpectra` ("AllSpectra" selected), in reverse display order.
std::vector<int> exportedSpectra(const tvar& ws, bool allSpectra);

// The column file: one row per position of the merged grid of the exported spectra: x, then each
// spectrum's value (its point there, the first point left of its start, or the straight line
// between its two points around the position), each followed by two blanks. Empty, with the reason
// in *refusal, when no spectrum is exported (none marked) or none has a point in its display range:
// the window and korvo-cli then write nothing.
std::string columnFileText(const tvar& ws, bool allSpectra, ColumnValues values,
                           std::string* refusal = nullptr);

// The surface plotter's grid: for each shown spectrum k of N (number order) and point j of n:
// "(j-1)/(n-1) (k-1)/(N-1) y". nullopt with *message for one shown spectrum or unequal point counts
// (the window shows it; nothing is written). A point count of 1 writes 0.000 for its place.
std::optional<std::string> surferGridText(const tvar& ws, std::string* message);

// A text from a file as LaTeX that typesets it literally, in Windows-1252 (the 8-bit code page
// "fit.tex" is written in): the umlauts as \"A .. \"u, "ß" as {\ss}, every character TeX reserves
// or sets as another glyph (\ { } $ & % # _ ^ ~ [ ] " < > |, and "--") escaped, control characters
// as blanks, the code page's 0x80..0x9F characters as plain TeX; the rest of Latin-1 as its byte.
// Texts are UTF-8; one that is not is taken as Windows-1252 already.
std::string latexEscape(const std::string& text);

// "fit.tex": its preamble, the block of one spectrum (named by its menu caption; its picture file is
// `picture` + ".eps", a name TeX reads as it stands: ASCII letters, digits and . _ + -) and its end.
// Every text of a spectrum goes through latexEscape, so the document is Windows-1252 throughout.
std::string fitTexPreamble();
std::string fitTexBlock(const ViewerSpectrum& s, const std::string& caption, const std::string& picture);
std::string fitTexEnd();

} // namespace korvo
