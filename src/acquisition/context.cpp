#include "acquisition/context.h"

namespace korvo {

const std::array<Rgb, 10> kChannelColours{{
    {128, 128, 128}, // 0 grey
    {255, 0, 0},     // 1 red
    {51, 136, 51},   // 2 green
    {255, 0, 255},   // 3 magenta
    {0, 0, 255},     // 4 blue
    {0, 255, 255},   // 5 cyan
    {0, 0, 0},       // 6 black
    {136, 136, 136}, // 7 grey
    {0, 255, 0},     // 8 lime
    {136, 51, 255},  // 9 violet
}};

} // namespace korvo
