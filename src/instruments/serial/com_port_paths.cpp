#include "instruments/serial/com_port_paths.h"

#include "common/ini_file.h"

namespace korvo {

void ComPortPaths::load(const IniFile& ini) {
    for (int i = 0; i < 4; ++i) {
        const std::string v = ini.readString("ports", comPortName(TComPortNumber(i)), "");
        if (!v.empty()) paths[std::size_t(i)] = v;
    }
}

std::string comPortName(TComPortNumber port) {
    return "COM" + std::to_string(int(port) + 1);
}

} // namespace korvo
