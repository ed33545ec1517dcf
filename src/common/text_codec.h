#pragma once
// Text files are written in Windows-1252, the code page of the installations whose files we must
// keep reading. Inside the program every text is UTF-8. On reading, a file that is valid UTF-8 is
// taken as UTF-8 (files edited on a current desktop), anything else as Windows-1252.
#include <string>
#include <string_view>

namespace korvo {

// UTF-8 to Windows-1252; characters the code page cannot hold, and invalid UTF-8 bytes, become '?'.
std::string utf8ToWindows1252(std::string_view utf8);
// Windows-1252 to UTF-8. The five bytes the code page leaves undefined map to the C1 controls of
// the same value, so no byte is ever lost.
std::string windows1252ToUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);
// The bytes of a file as UTF-8 text (see above).
std::string fileTextToUtf8(std::string_view bytes);

} // namespace korvo
