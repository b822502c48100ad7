// Rewriting LibreOffice's UTF-8 HTML export as the windows-1251 bytes the rest of the
// program works on.
//
// Errors: none. Both functions accept any bytes, never throw and run in linear time.
#pragma once

#include <string>
#include <string_view>

namespace kelmo {

// utf8 as windows-1251 bytes. A character that code page lacks becomes a decimal character
// reference ("&#945;" for U+03B1); each byte of a malformed sequence becomes "&#65533;".
std::string Utf8ToWindows1251(std::string_view utf8);

// html with windows-1251 declared: the "utf-8" after the first "charset=" of the head is
// replaced; a head without a charset gets a meta tag right after its "<head>" tag.
std::string DeclareWindows1251(std::string_view html);

// "utf-16le" or "utf-16be" for text in UTF-16 without a byte-order mark, told by the zero
// bytes of its ASCII characters at the start (no single-byte HTML has any); else null.
const char* Utf16WithoutMark(std::string_view text);

// An HTML file's bytes as windows-1251. What it is written in comes from a byte-order mark,
// else its zero bytes (UTF-16 without a mark), else UTF-8 when the bytes are valid UTF-8
// with at least one character beyond ASCII (whatever the head says), else the charset its
// head declares, read as browsers read the label (gb2312 as GBK, iso-8859-1 as
// windows-1252), else windows-1251. A windows-1251 file comes back byte for byte; any other
// is transcoded as Utf8ToWindows1251 does (its mark dropped) and declared windows-1251; a
// byte its charset cannot decode becomes "&#65533;". A charset Qt does not know counts as
// undeclared.
std::string HtmlAsWindows1251(std::string html);  // windows-1251 html comes back uncopied

}  // namespace kelmo
