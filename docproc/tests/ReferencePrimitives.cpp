#include "ReferencePrimitives.h"

#include <optional>

#include "Entities.h"

namespace kelmo::reference {
namespace {

Pos Length(std::string_view text) { return static_cast<Pos>(text.size()); }

// The byte at 1-based position p.
char At(std::string_view text, Pos p) { return text[static_cast<std::size_t>(p - 1)]; }

// Position of the first byte at or after from that is one of stops, or 0.
Pos ScanTo(std::string_view text, Pos from, std::string_view stops) {
    for (Pos p = from < 1 ? 1 : from; p <= Length(text); ++p) {
        if (stops.find(At(text, p)) != std::string_view::npos) return p;
    }
    return 0;
}

// Nearest "<" or ">" in front of position p, or 0.
Pos ScanBackToBracket(std::string_view text, Pos p) {
    for (Pos q = p - 1; q >= 1; --q) {
        if (At(text, q) == '<' || At(text, q) == '>') return q;
    }
    return 0;
}

// The loop shared by the removals that end at a terminator byte; an unterminated marker
// stays and ends the loop.
std::int32_t RemoveThroughByte(std::string_view marker, Pos scanOffset, char terminator,
                               std::string& text) {
    std::int32_t count = 0;
    Pos position = 1;
    do {
        position = FindFrom(marker, text, position);
        if (position > 0) {
            const Pos end = ScanTo(text, position + scanOffset, std::string_view(&terminator, 1));
            if (end == 0) break;
            DeleteRange(text, position, end - position + 1);
            ++count;
        }
    } while (position != 0);
    return count;
}

bool InsideTag(std::string_view text, Pos position) {
    const Pos before = ScanBackToBracket(text, position);
    if (before == 0 || At(text, before) != '<') return false;
    const Pos after = ScanTo(text, position + 3, "<>");
    return after != 0 && At(text, after) == '>';
}

bool IsLineBreakTag(std::string_view tag) {
    if (tag.size() < 4) return false;
    const char b = tag[1], r = tag[2], next = tag[3];
    return (b == 'b' || b == 'B') && (r == 'r' || r == 'R') &&
           (next == '>' || next == '/' || static_cast<unsigned char>(next) <= 32);
}

// Value of digits in base, or -1 when empty, too long or not all digits.
std::int64_t NumberIn(std::string_view digits, int base) {
    if (digits.empty() || digits.size() > 8) return -1;
    std::int64_t value = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return -1;
        value = value * base + digit;
    }
    return value;
}

// The windows-1251 text of an entity's body ("amp", "#38", "#x26"): a no-break space is a
// plain blank, anything unknown or outside the code page nothing.
std::string EntityText(std::string_view body) {
    std::int64_t code = -1;
    if (!body.empty() && body[0] == '#') {
        const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        code = NumberIn(body.substr(hex ? 2 : 1), hex ? 16 : 10);
    } else if (const std::optional<char32_t> named = NamedEntityCode(body)) {
        code = *named;
    }
    if (code < 0) return "";
    if (code == 0xA0) return " ";
    const std::optional<char> byte = Windows1251Byte(static_cast<char32_t>(code));
    return byte ? std::string(1, *byte) : std::string();
}

}  // namespace

Pos FindFrom(std::string_view pattern, std::string_view text, Pos start) {
    if (start < 1) start = 1;
    const Pos last = Length(text) - Length(pattern) + 1;
    if (pattern.empty() || start > last) return 0;
    for (Pos p = start; p <= last; ++p) {
        Pos k = 0;
        while (k < Length(pattern) && At(text, p + k) == pattern[static_cast<std::size_t>(k)]) ++k;
        if (k == Length(pattern)) return p;
    }
    return 0;
}

void DeleteRange(std::string& text, Pos index, Pos count) {
    if (text.empty() || index < 1 || index > Length(text) || count <= 0) return;
    if (count > Length(text) - index + 1) count = Length(text) - index + 1;
    text.erase(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

void InsertAt(std::string_view piece, std::string& text, Pos index) {
    if (piece.empty()) return;
    if (index < 1) index = 1;
    if (index > Length(text)) index = Length(text) + 1;
    // Built anew rather than with insert(), which GCC 12 flags with a false -Wrestrict.
    const auto at = static_cast<std::size_t>(index - 1);
    std::string joined = text.substr(0, at);
    joined.append(piece).append(text, at);
    text = std::move(joined);
}

std::string CopyRange(std::string_view text, Pos index, Pos count) {
    if (index < 1) index = 1;
    if (text.empty() || index > Length(text) || count <= 0) return {};
    if (count > Length(text) - index + 1) count = Length(text) - index + 1;
    return std::string(
        text.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count)));
}

std::string TrimBlanks(std::string_view text) {
    Pos first = 1;
    Pos last = Length(text);
    while (first <= last && static_cast<unsigned char>(At(text, first)) <= 32) ++first;
    while (last >= first && static_cast<unsigned char>(At(text, last)) <= 32) --last;
    return CopyRange(text, first, last - first + 1);
}

std::int32_t RemoveAll(std::string_view literal, std::string& text) {
    std::int32_t count = 0;
    Pos position = 1;
    do {
        position = FindFrom(literal, text, position);
        if (position > 0) {
            DeleteRange(text, position, Length(literal));
            ++count;
        }
    } while (position != 0);
    return count;
}

std::int32_t RemoveBlocks(std::string_view opening, std::string_view closing, std::string& text) {
    std::int32_t count = 0;
    Pos position = 1;
    do {
        position = FindFrom(opening, text, position);
        const Pos close = FindFrom(closing, text, position);
        if (position > 0) {
            if (close == 0) break;
            DeleteRange(text, position, close + Length(closing) - position);
            ++count;
        }
    } while (position != 0);
    return count;
}

std::int32_t RemoveConditionalTags(std::string& text) {
    return RemoveThroughByte("<![if", 4, '>', text);
}

std::int32_t CollapseDoubleNbsp(std::string& text) {
    std::int32_t count = 0;
    Pos position = 1;
    do {
        position = FindFrom("&nbsp;&nbsp;", text, position);
        if (position > 0) {
            DeleteRange(text, position, 6);
            ++count;
            position += 6;
        }
    } while (position != 0);
    return count;
}

std::int32_t RemoveMsoDeclarations(std::string& text) {
    std::int32_t count = 0;
    Pos position = 1;
    do {
        position = FindFrom("mso", text, position);
        if (position > 0) {
            if (!InsideTag(text, position)) {
                ++position;
                continue;
            }
            // Inside a tag a ">" follows, so the scan always stops.
            const Pos end = ScanTo(text, position + 3, ";'\"<>");
            const Pos extent = end - position + (At(text, end) == ';' ? 1 : 0);
            DeleteRange(text, position, extent);
            ++count;
        }
    } while (position != 0);
    return count;
}

std::int32_t ReplaceChar(char oldChar, char newChar, std::string& text) {
    std::int32_t count = 0;
    for (Pos p = 1; p <= Length(text); ++p) {
        if (At(text, p) == oldChar) {
            text[static_cast<std::size_t>(p - 1)] = newChar;
            ++count;
        }
    }
    return count;
}

void HtmlToPlainText(std::string& text) {
    // Tags go; a line-break tag leaves a blank.
    Pos position = FindFrom("<", text, 1);
    while (position > 0) {
        const Pos end = ScanTo(text, position + 1, ">");
        if (end == 0) break;
        const std::string tag = CopyRange(text, position, end - position + 1);
        DeleteRange(text, position, end - position + 1);
        if (IsLineBreakTag(tag)) {
            InsertAt(" ", text, position);
            ++position;
        }
        position = FindFrom("<", text, position);
    }
    // Entities become their windows-1251 character or nothing.
    position = FindFrom("&", text, 1);
    while (position > 0) {
        const Pos end = ScanTo(text, position + 1, ";");
        if (end == 0) break;
        const std::string replacement =
            EntityText(CopyRange(text, position + 1, end - position - 1));
        DeleteRange(text, position, end - position + 1);
        InsertAt(replacement, text, position);
        position = FindFrom("&", text, position + Length(replacement));
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32 || c == 0x7F) c = ' ';
    }
    position = FindFrom("  ", text, 1);
    while (position > 0) {
        DeleteRange(text, position, 1);
        position = FindFrom("  ", text, position);
    }
    text = TrimBlanks(text);
}

void RemoveWordMarkup(std::string& html) {
    RemoveBlocks("<!--", "-->", html);
    RemoveBlocks("<o:p>", "</o:p>", html);
    RemoveAll("class=MsoNormal", html);
    RemoveAll("<![if !vml]>", html);
    RemoveAll("<![endif]>", html);
    CollapseDoubleNbsp(html);
    RemoveConditionalTags(html);
    RemoveMsoDeclarations(html);
    RemoveAll("style=''", html);
}

void CleanWordHtml(std::string& docTitle, std::string& html) {
    const Pos from = FindFrom("<title>", html, 1);
    const Pos to = FindFrom("</title>", html, 1);
    docTitle = CopyRange(html, from, to - from + 8);
    DeleteRange(html, 1, FindFrom("</head>", html, 1) - 1);
    RemoveWordMarkup(html);
}

}  // namespace kelmo::reference
