// INI files come from older installations, hand edits and damaged disks; some hold thousands of
// sections, so inputs run to a megabyte (see -max_len in fuzz/CMakeLists.txt): look-ups that grow
// with the number of sections show up as slow or timed-out inputs.
#include "common/ini_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    korvo::IniFile ini;
    ini.parseFileBytes(bytes);
    for (const auto& section : ini.sections()) {
        if (!ini.hasSection(section)) std::abort();
        for (const auto& key : ini.keys(section)) {
            if (!ini.hasKey(section, key)) std::abort(); // every listed key must be readable
            bool bad = false;
            ini.readInteger(section, key, 7, &bad);
            ini.readString(section, key, "");
        }
    }
    // What is saved reads back, and saving it again gives the same bytes: a file that changed on
    // every save could grow past what the program reads.
    const std::string once = ini.fileBytes();
    korvo::IniFile reread;
    reread.parseFileBytes(once);
    if (reread.fileBytes() != once) std::abort();

    // Writing must keep what it did not touch and read back what it wrote.
    const std::string before = ini.serialize();
    ini.writeString("general", "machine", std::string(bytes.substr(0, 40)));
    ini.writeInteger("CLAM", "points", static_cast<std::int64_t>(size));
    korvo::IniFile back;
    back.parseFileBytes(ini.fileBytes());
    if (back.readInteger("clam", "points", -1) != static_cast<std::int32_t>(size)) std::abort();
    korvo::IniFile again;
    again.parse(before);
    if (again.serialize() != before) std::abort(); // a rewrite is stable
    return 0;
}
