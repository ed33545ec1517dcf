// INI files come from older installations, hand edits and damaged disks.
#include "common/ini_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    korvo::IniFile ini;
    ini.parse(text);
    for (const auto& section : ini.sections()) {
        for (const auto& key : ini.keys(section)) {
            if (!ini.hasKey(section, key)) std::abort(); // every listed key must be readable
            bool bad = false;
            ini.readInteger(section, key, 7, &bad);
            ini.readString(section, key, "");
        }
    }
    // Writing must keep what it did not touch and read back what it wrote.
    const std::string before = ini.serialize();
    ini.writeString("general", "machine", text.substr(0, 40));
    ini.writeInteger("CLAM", "points", static_cast<std::int64_t>(size));
    korvo::IniFile back;
    back.parse(ini.serialize());
    if (back.readInteger("clam", "points", -1) != static_cast<std::int32_t>(size)) std::abort();
    korvo::IniFile again;
    again.parse(before);
    if (again.serialize() != before) std::abort(); // a rewrite is stable
    return 0;
}
