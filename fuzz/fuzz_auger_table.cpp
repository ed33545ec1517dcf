// "auger.dat" is edited by hand. The reader must refuse with a reason or give a table that, once
// written, reads back the same; the writer refuses only names it could not write back.
#include "tools/auger_table.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const korvo::AugerReadResult r = korvo::readAugerText(bytes);
    if (static_cast<bool>(r) == !r.error.empty()) std::abort();
    if (!r) return 0;
    std::string error;
    const auto text = korvo::augerFileText(*r.table, &error);
    if (!text) {
        if (error.empty()) std::abort();
        return 0;
    }
    const korvo::AugerReadResult back = korvo::readAugerText(*text);
    if (!back) std::abort();
    // Names keep their text up to the code page: compare what the writer makes of both.
    const auto again = korvo::augerFileText(*back.table);
    if (!again || *again != *text) std::abort();
    return 0;
}
