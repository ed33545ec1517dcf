#include "viewer/surface/surface_keys.h"

#include "common/file_util.h"
#include "common/number_text.h"

#include <algorithm>
#include <string_view>

namespace korvo::surface {

Mat4 ModelTransform::matrix() const {
    switch (kind) {
    case Kind::Rotate: return Mat4::rotation(angle, x, y, z);
    case Kind::Translate: return Mat4::translation(x, y, z);
    case Kind::Scale: return Mat4::scaling(x, y, z);
    case Kind::None: break;
    }
    return Mat4{};
}

namespace {

ModelTransform rotate(float angle, float x, float y, float z) {
    return {ModelTransform::Kind::Rotate, angle, x, y, z};
}
ModelTransform move(float x, float y, float z) {
    return {ModelTransform::Kind::Translate, 0, x, y, z};
}
ModelTransform scale(float f) {
    return {ModelTransform::Kind::Scale, 0, f, f, f};
}

} // namespace

KeyEffect SurfaceKeys::press(std::uint16_t code) {
    KeyEffect e;
    if (code != vk::F9 && code != vk::F10 && log.size() < std::size_t(kKeyLogSize)) {
        log.push_back(code);
        e.logged = true;
    }
    // Coarse while a key is held; the key's own effect is drawn at once.
    params.step = 4;
    params.frameCounter = std::max(params.frameCounter, 1);
    switch (code) {
    case '1': e.transform = rotate(1, 1, 0, 0); break;
    case '2': e.transform = rotate(-1, 1, 0, 0); break;
    case '3': e.transform = rotate(1, 0, 1, 0); break;
    case '4': e.transform = rotate(-1, 0, 1, 0); break;
    case '5': e.transform = rotate(1, 0, 0, 1); break;
    case '6': e.transform = rotate(-1, 0, 0, 1); break;
    case 'Q': e.transform = move(0, -2, 0); break;
    case 'W': e.transform = move(0, 2, 0); break;
    case 'E': e.transform = move(-2, 0, 0); break;
    case 'R': e.transform = move(2, 0, 0); break;
    case 'T': e.transform = move(0, 0, -2); break;
    case 'Z': e.transform = move(0, 0, 2); break;
    case 'S': e.transform = scale(0.9f); break;
    case 'A': e.transform = scale(1.1f); break;
    case vk::Up: params.heightScale *= 1.1; break;
    case vk::Down: params.heightScale /= 1.1; break;
    case vk::PageUp: params.energyScale *= 1.05; break;
    case vk::PageDown: params.energyScale /= 1.05; break;
    case 'N':
        params.normalVertical *= 1.1;
        params.step = 2;
        e.normals = true;
        break;
    case 'M':
        params.normalVertical /= 1.1;
        params.step = 2;
        e.normals = true;
        break;
    case vk::Left:
    case vk::Right:
        params.paletteRow = std::clamp(params.paletteRow + (code == vk::Left ? -1 : 1), 0, kLastPaletteRow);
        params.step = 2;
        e.colours = true;
        break;
    case 'F': e.rotateColours = true; break;
    case 'U': params.wireFrame = !params.wireFrame; break;
    case vk::Space:
        e.smoothEnergy = true;
        e.normals = true;
        break;
    case vk::Enter:
        e.smoothSpectra = true;
        e.normals = true;
        break;
    case 'Y':
        e.rebuildGrid = true;
        e.normals = true;
        break;
    case '7':
    case '8':
        params.slice = std::clamp(params.slice + (code == '7' ? -1 : 1), kSliceMin, kSliceMax);
        e.normals = true;
        break;
    case vk::F9: e.writeLog = true; break;
    case vk::F10: e.replayLog = true; break;
    default: break;
    }
    return e;
}

void SurfaceKeys::release() {
    params.step = 1;
    params.frameCounter = kFramesAfterRelease;
}

void SurfaceKeys::reset() {
    log.clear();
    params.paletteRow = 0;
    params.energyScale = 1.0;
    params.heightScale = 0.5;
}

std::string keyLogText(const std::vector<std::uint16_t>& codes) {
    std::string text = std::to_string(codes.size()) + "\r\n";
    for (std::uint16_t code : codes) text += std::to_string(code) + "\r\n";
    return text;
}

bool writeKeyLog(const std::string& path, const std::vector<std::uint16_t>& codes, std::string* error) {
    return writeFileAtomic(path, keyLogText(codes), error);
}

bool readKeyLog(const std::string& path, std::vector<std::uint16_t>& codes, std::string* message) {
    codes.clear();
    auto refuse = [&](const std::string& why) {
        if (message) *message = "The key file \"" + path + "\" " + why + "\rNo keys were replayed.";
        codes.clear();
        return false;
    };
    std::string error;
    // A full log is 1001 short lines; anything much larger is no key file.
    const std::optional<std::string> content = readFile(path, &error, 64 * 1024);
    if (!content) return refuse("cannot be read: " + error);
    std::vector<std::string_view> lines;
    std::string_view rest(*content);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    if (lines.empty()) return refuse("is empty.");
    const text::Parsed<std::int32_t> count = text::parseInt(lines[0]);
    if (!count || *count < 0 || *count > kKeyLogSize)
        return refuse("is damaged: its first line is no key count from 0 to " + std::to_string(kKeyLogSize) + ".");
    if (std::size_t(*count) > lines.size() - 1)
        return refuse("is damaged: it announces " + std::to_string(*count) + " keys but holds " +
                      std::to_string(lines.size() - 1) + ".");
    for (int i = 1; i <= *count; ++i) {
        const text::Parsed<std::int32_t> code = text::parseInt(lines[std::size_t(i)]);
        if (!code || *code < 0 || *code > 0xFFFF)
            return refuse("is damaged: line " + std::to_string(i + 1) + " is no key code.");
        codes.push_back(std::uint16_t(*code));
    }
    return true;
}

} // namespace korvo::surface
