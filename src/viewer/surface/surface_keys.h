#pragma once
// The keyboard of the 3D view as a plain state machine: a key code goes in, the view parameters
// change and the caller learns what to recompute and which transform to put on the model-view
// matrix. The window, the key-file replay and the tests all go through press().
//
// Key codes are the 16-bit virtual-key codes of the key recorder's file "tasten.txt", not Qt's key
// numbers (Qt::Key_F9 is 0x01000038 and would not fit): letters and digits are their upper-case
// ASCII codes ('A' = 0x41, '1' = 0x31), Enter 0x0D, Space 0x20, Page Up 0x21, Page Down 0x22,
// Left 0x25, Up 0x26, Right 0x27, Down 0x28, F9 0x78, F10 0x79. The window maps Qt's keys with
// virtualKeyFromQt (viewer/ui).
#include "viewer/surface/surface_matrix.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvo::surface {

namespace vk {
inline constexpr std::uint16_t Enter = 0x0D, Space = 0x20, PageUp = 0x21, PageDown = 0x22, Left = 0x25, Up = 0x26,
                               Right = 0x27, Down = 0x28, F9 = 0x78, F10 = 0x79;
}

inline constexpr int kKeyLogSize = 1000;
inline constexpr int kSliceMin = -1, kSliceMax = 257;
inline constexpr int kLastPaletteRow = 43;

// Frame counter values: frames still to draw after a key release, a replay and a window repaint.
inline constexpr int kFramesAfterRelease = 5, kFramesAfterReplay = 9, kFramesAfterRepaint = 10;

struct ViewParameters {
    double heightScale = 0.5;
    double energyScale = 1.0;
    double normalVertical = 10; // larger: softer shading
    int slice = -1;             // grid column drawn with a fixed normal; -1: none
    bool wireFrame = false;
    int paletteRow = 0;         // row of the colour-scale picture, 0 .. 43
    double spinAngle = 0;       // sum of the frame times in ms
    int step = 2;               // surface resolution: 1, 2 or 4 grid points per quad
    int frameCounter = 0;       // frames still to draw
    bool running = false;       // the view is on
};

// A transform of the model: rotation by `angle` degrees about (x, y, z), translation by (x, y, z) or
// scaling by (x, y, z).
struct ModelTransform {
    enum class Kind { None, Rotate, Translate, Scale };
    Kind kind = Kind::None;
    float angle = 0, x = 0, y = 0, z = 0;
    Mat4 matrix() const;
    bool operator==(const ModelTransform&) const = default;
};

struct KeyEffect {
    bool logged = false;        // appended to the key log
    ModelTransform transform;   // to multiply onto the model-view matrix
    bool rebuildGrid = false;   // "Y"
    bool smoothEnergy = false;  // Space
    bool smoothSpectra = false; // Enter
    bool normals = false;       // recompute the normals (after the grid changes above, if any)
    bool colours = false;       // reload the colour table from the palette row
    bool rotateColours = false; // "F"
    bool writeLog = false;      // F9
    bool replayLog = false;     // F10
};

class SurfaceKeys {
public:
    ViewParameters params;
    std::vector<std::uint16_t> log; // at most kKeyLogSize codes; further keys act but are not logged

    // A key press: logged first (all but F9 and F10), then it acts on the parameters.
    KeyEffect press(std::uint16_t code);
    // All keys released: fine resolution again and a few frames to show it.
    void release();
    // "3D Mode" switched on: log cleared, palette row 0, energy scale 1, height scale 0.5.
    void reset();
};

// The key log as "tasten.txt" holds it: the count, then one code per line (CR LF line ends).
std::string keyLogText(const std::vector<std::uint16_t>& codes);
// Writes the log to `path`; false with *error when it cannot.
bool writeKeyLog(const std::string& path, const std::vector<std::uint16_t>& codes, std::string* error);
// Reads a key file. A missing, unreadable or damaged file (a line that is no code 0 .. 65535, a
// count above kKeyLogSize or beyond the lines there are) gives false with a message and no codes.
bool readKeyLog(const std::string& path, std::vector<std::uint16_t>& codes, std::string* message);

} // namespace korvo::surface
