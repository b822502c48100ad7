// Character references and the windows-1251 code page, for turning titles into plain text
// (internal to docproc).
#pragma once

#include <optional>
#include <string_view>

namespace kelmo {

// The character of an HTML named reference ("laquo" for "&laquo;"), for the names whose
// character windows-1251 holds; nullopt for any other name.
std::optional<char32_t> NamedEntityCode(std::string_view name);

// The windows-1251 byte of a character; nullopt when the code page has none.
std::optional<char> Windows1251Byte(char32_t code);

}  // namespace kelmo
