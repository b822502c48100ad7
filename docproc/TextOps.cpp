// Text operations and removal primitives.
//
// Every removal primitive is one left-to-right pass with a read cursor and a write cursor
// over the same buffer: the bytes between removals are moved down once, the removed bytes
// are skipped. A search after a removal looks only at the bytes from the read cursor on,
// which is what "the search goes on at the removal point" means for a text rewritten in
// place: nothing joined across a removal is ever found.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include "Entities.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr std::size_t None = std::string_view::npos;

// Offset of the first byte c at or after from, or None.
std::size_t FindByte(std::string_view text, char c, std::size_t from) {
    if (from >= text.size()) return None;
    const void* hit = std::memchr(text.data() + from, c, text.size() - from);
    return hit == nullptr ? None
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

#ifdef __SSE2__
// True when the pattern's bytes from the third on stand at s (the first two are known).
bool RestMatches(const char* s, std::string_view pattern) {
    std::size_t k = 2;
    while (k < pattern.size() && s[k] == pattern[k]) ++k;
    return k == pattern.size();
}

// Block search for a pattern of two bytes or more: sixteen candidate beginnings at a time
// are kept only where the first, second and last bytes all match, so the bytes that HTML is
// full of ("<", ">", letters) rarely reach the full comparison.
std::size_t FindInBlocks(std::string_view text, std::string_view pattern, std::size_t from) {
    const char* const s = text.data();
    const std::size_t last = pattern.size() - 1;
    const __m128i first = _mm_set1_epi8(pattern[0]);
    const __m128i second = _mm_set1_epi8(pattern[1]);
    const __m128i final = _mm_set1_epi8(pattern[last]);
    std::size_t i = from;
    // The loads of a block end at i + last + 16, inside the text.
    for (; i + last + 16 <= text.size(); i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + last));
        const __m128i hits =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)),
                          _mm_cmpeq_epi8(c, final));
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0;
             mask &= mask - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (RestMatches(s + at, pattern)) return at;
        }
    }
    return text.find(pattern, i);
}

// The same with 32 beginnings at a time, for processors that have AVX2.
[[gnu::target("avx2")]] std::size_t FindInWideBlocks(std::string_view text,
                                                     std::string_view pattern, std::size_t from) {
    const char* const s = text.data();
    const std::size_t last = pattern.size() - 1;
    const __m256i first = _mm256_set1_epi8(pattern[0]);
    const __m256i second = _mm256_set1_epi8(pattern[1]);
    const __m256i final = _mm256_set1_epi8(pattern[last]);
    std::size_t i = from;
    for (; i + last + 32 <= text.size(); i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 1));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + last));
        const __m256i hits = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, second)),
            _mm256_cmpeq_epi8(c, final));
        for (unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hits)); mask != 0;
             mask &= mask - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (RestMatches(s + at, pattern)) return at;
        }
    }
    return FindInBlocks(text, pattern, i);
}
#endif

// Offset of the first occurrence of pattern in text at or after from, or None.
std::size_t FindLiteral(std::string_view text, std::string_view pattern, std::size_t from) {
    if (pattern.empty() || from > text.size() || pattern.size() > text.size() - from) {
        return None;
    }
    if (pattern.size() == 1) return FindByte(text, pattern[0], from);
#ifdef __SSE2__
    static const bool wide = __builtin_cpu_supports("avx2");
    return wide ? FindInWideBlocks(text, pattern, from) : FindInBlocks(text, pattern, from);
#else
    return text.find(pattern, from);
#endif
}

// Rewrites a string in place: kept stretches move down to the write cursor, skipped ones
// are dropped. Until the first skip nothing is moved at all.
class Compactor {
  public:
    explicit Compactor(std::string& text) : text_(text) {}

    std::string_view Source() const { return text_; }
    std::size_t ReadPos() const { return read_; }

    // Keeps the bytes from the read cursor up to end.
    void KeepUpTo(std::size_t end) {
        const std::size_t length = end - read_;
        if (write_ != read_ && length > 0) std::memmove(&text_[write_], &text_[read_], length);
        write_ += length;
        read_ = end;
    }

    void Skip(std::size_t length) { read_ += length; }

    void Put(char c) { text_[write_++] = c; }

    void Finish() {
        KeepUpTo(text_.size());
        text_.resize(write_);
    }

  private:
    std::string& text_;
    std::size_t read_ = 0;
    std::size_t write_ = 0;
};

// Counts of texts over 2 GB stop at the largest count rather than wrap round.
std::int32_t AsCount(std::size_t n) {
    constexpr std::size_t most = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(n, most));
}

// The shared scan-and-remove loop for removals that end at a terminator byte: each marker
// goes with everything through the first terminator at or after marker + scanFrom. A
// marker without a terminator stays and ends the scan.
std::int32_t RemoveThroughByte(std::string_view marker, std::size_t scanFrom, char terminator,
                               std::string& text) {
    Compactor out(text);
    const std::string_view source = out.Source();
    std::size_t removals = 0;
    for (;;) {
        const std::size_t at = FindLiteral(source, marker, out.ReadPos());
        if (at == None) break;
        const std::size_t end = FindByte(source, terminator, at + scanFrom);
        if (end == None) break;
        out.KeepUpTo(at);
        out.Skip(end + 1 - at);
        ++removals;
    }
    out.Finish();
    return AsCount(removals);
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

#ifdef __SSE2__
// Bit k set when byte k of the block is one of set.
template <std::size_t N>
unsigned SetMask(__m128i block, const std::array<char, N>& set) {
    __m128i hits = _mm_setzero_si128();
    for (const char c : set) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(c)));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

__m128i LoadBlock(const char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
#endif

template <std::size_t N>
bool InSet(char c, const std::array<char, N>& set) {
    return std::find(set.begin(), set.end(), c) != set.end();
}

// Offset of the first byte in [from, to) that is one of set; to when there is none.
template <std::size_t N>
std::size_t FirstOf(std::string_view text, std::size_t from, std::size_t to,
                    const std::array<char, N>& set) {
    std::size_t i = from;
#ifdef __SSE2__
    for (; i + 16 <= to; i += 16) {
        const unsigned mask = SetMask(LoadBlock(text.data() + i), set);
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < to && !InSet(text[i], set)) ++i;
    return i;
}

// Offset of the last byte in [from, to) that is one of set, or None.
template <std::size_t N>
std::size_t LastOf(std::string_view text, std::size_t from, std::size_t to,
                   const std::array<char, N>& set) {
    std::size_t i = to;
#ifdef __SSE2__
    for (; i >= from + 16; i -= 16) {
        const unsigned mask = SetMask(LoadBlock(text.data() + i - 16), set);
        if (mask != 0) return i - 16 + static_cast<std::size_t>(31 - __builtin_clz(mask));
    }
#endif
    while (i > from) {
        if (InSet(text[--i], set)) return i;
    }
    return None;
}

constexpr std::array<char, 2> Brackets = {'<', '>'};
constexpr std::array<char, 3> DeclarationStops = {';', '\'', '"'};

// Tracks, for RemoveMsoDeclarations, whether a position of the text stands inside a tag:
// the nearest "<" before it comes after the nearest ">" before it, and the first "<" or ">"
// from there on is ">". Positions must be asked in increasing order. Every byte is looked
// at no more than twice (once looking back, once looking ahead), so a long stretch without
// tags holding many occurrences stays linear.
class TagTracker {
  public:
    explicit TagTracker(std::string_view text) : text_(text) {}

    bool InsideTag(std::size_t at, std::size_t markerLength) {
        LookBackTo(at);
        return openBefore_ && NextBracketIsClose(at + markerLength);
    }

    // The first "<" or ">" at or after the last position asked; the text's size for none.
    std::size_t NextBracket() const { return nextBracket_; }

  private:
    // The nearest bracket in front of at decides; none since the last call keeps the state.
    // The bytes looked at are never rewritten: removals contain no brackets and the write
    // cursor stays behind the last position asked.
    void LookBackTo(std::size_t at) {
        const std::size_t bracket = LastOf(text_, seen_, at, Brackets);
        if (bracket != None) openBefore_ = text_[bracket] == '<';
        seen_ = at;
    }

    bool NextBracketIsClose(std::size_t from) {
        if (nextBracket_ < from) nextBracket_ = FirstOf(text_, from, text_.size(), Brackets);
        return nextBracket_ < text_.size() && text_[nextBracket_] == '>';
    }

    std::string_view text_;
    std::size_t seen_ = 0;
    bool openBefore_ = false;
    std::size_t nextBracket_ = 0;
};

// ---------------------------------------------------------------------------------------
// Plain text of a title

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsLineBreakTag(std::string_view tag) {
    if (tag.size() < 4 || AsciiLower(tag[1]) != 'b' || AsciiLower(tag[2]) != 'r') return false;
    const char next = tag[3];
    return next == '>' || next == '/' || IsBlank(next);
}

// Every tag goes; a line-break tag leaves a blank. An unclosed "<" stays and ends the scan.
void TagsToBlanksOrNothing(std::string& text) {
    Compactor out(text);
    const std::string_view source = out.Source();
    for (;;) {
        const std::size_t at = FindByte(source, '<', out.ReadPos());
        if (at == None) break;
        const std::size_t end = FindByte(source, '>', at + 1);
        if (end == None) break;
        out.KeepUpTo(at);
        out.Skip(end + 1 - at);
        if (IsLineBreakTag(source.substr(at, end + 1 - at))) out.Put(' ');
    }
    out.Finish();
}

// The character of "#N", "#xH" or a name; nullopt for anything else.
std::optional<char32_t> EntityCode(std::string_view body) {
    if (body.empty() || body[0] != '#') return NamedEntityCode(body);
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t code = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return static_cast<char32_t>(code);
}

// An entity becomes its windows-1251 byte (a no-break space a plain blank); one that is
// unknown or has no such byte goes. An "&" without a ";" after it stays and ends the scan.
void DecodeEntities(std::string& text) {
    constexpr char32_t NoBreakSpace = 0xA0;
    Compactor out(text);
    const std::string_view source = out.Source();
    for (;;) {
        const std::size_t at = FindByte(source, '&', out.ReadPos());
        if (at == None) break;
        const std::size_t end = FindByte(source, ';', at + 1);
        if (end == None) break;
        const std::optional<char32_t> code = EntityCode(source.substr(at + 1, end - at - 1));
        out.KeepUpTo(at);
        out.Skip(end + 1 - at);
        if (!code) continue;
        if (*code == NoBreakSpace) {
            out.Put(' ');
        } else if (const std::optional<char> byte = Windows1251Byte(*code)) {
            out.Put(*byte);
        }
    }
    out.Finish();
}

// Control bytes (tab, CR, LF, ...) become blanks and every run of blanks one blank.
void ControlsToSingleBlanks(std::string& text) {
    std::size_t write = 0;
    bool afterBlank = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool blank = byte <= ' ' || byte == 0x7F;
        if (blank && afterBlank) continue;
        text[write++] = blank ? ' ' : c;
        afterBlank = blank;
    }
    text.resize(write);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Text operations

Pos FindFrom(std::string_view pattern, std::string_view text, Pos start) {
    if (start < 1) start = 1;
    const Pos last = static_cast<Pos>(text.size()) - static_cast<Pos>(pattern.size()) + 1;
    if (pattern.empty() || start > last) return 0;
    const std::size_t at = FindLiteral(text, pattern, static_cast<std::size_t>(start - 1));
    return at == None ? 0 : static_cast<Pos>(at) + 1;
}

void DeleteRange(std::string& text, Pos index, Pos count) {
    const Pos length = static_cast<Pos>(text.size());
    if (index < 1 || index > length || count <= 0) return;
    text.erase(static_cast<std::size_t>(index - 1),
               static_cast<std::size_t>(std::min(count, length - index + 1)));
}

void InsertAt(std::string_view piece, std::string& text, Pos index) {
    const Pos length = static_cast<Pos>(text.size());
    const Pos at = std::clamp<Pos>(index, 1, length + 1);
    text.insert(static_cast<std::size_t>(at - 1), piece);
}

std::string CopyRange(std::string_view text, Pos index, Pos count) {
    const Pos length = static_cast<Pos>(text.size());
    if (index < 1) index = 1;
    if (index > length || count <= 0) return {};
    return std::string(text.substr(static_cast<std::size_t>(index - 1),
                                   static_cast<std::size_t>(std::min(count, length - index + 1))));
}

std::string TrimBlanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

// ---------------------------------------------------------------------------------------
// Removal primitives

std::int32_t RemoveAll(std::string_view literalView, std::string& text) {
    if (literalView.empty()) return 0;
    const std::string literal(literalView);  // it might point into text, which is rewritten
    Compactor out(text);
    const std::string_view source = out.Source();
    std::size_t removals = 0;
    for (;;) {
        const std::size_t at = FindLiteral(source, literal, out.ReadPos());
        if (at == None) break;
        out.KeepUpTo(at);
        out.Skip(literal.size());
        ++removals;
    }
    out.Finish();
    return AsCount(removals);
}

std::int32_t RemoveBlocks(std::string_view openingView, std::string_view closingView,
                          std::string& text) {
    if (openingView.empty() || closingView.empty()) return 0;
    // Copies: the markers might point into text, which is rewritten.
    const std::string opening(openingView);
    const std::string closing(closingView);
    Compactor out(text);
    const std::string_view source = out.Source();
    std::size_t removals = 0;
    for (;;) {
        const std::size_t at = FindLiteral(source, opening, out.ReadPos());
        if (at == None) break;
        // From the opening's first byte, so a closing may overlap the opening.
        const std::size_t close = FindLiteral(source, closing, at);
        if (close == None) break;
        out.KeepUpTo(at);
        out.Skip(close + closing.size() - at);
        ++removals;
    }
    out.Finish();
    return AsCount(removals);
}

std::int32_t RemoveConditionalTags(std::string& text) {
    return RemoveThroughByte("<![if", 4, '>', text);
}

std::int32_t CollapseDoubleNbsp(std::string& text) {
    constexpr std::string_view pair = "&nbsp;&nbsp;";
    constexpr std::size_t one = 6;
    Compactor out(text);
    const std::string_view source = out.Source();
    std::size_t removals = 0;
    for (;;) {
        const std::size_t at = FindLiteral(source, pair, out.ReadPos());
        if (at == None) break;
        out.KeepUpTo(at);
        out.Skip(one);
        // The entity that stays is never paired again.
        out.KeepUpTo(at + pair.size());
        ++removals;
    }
    out.Finish();
    return AsCount(removals);
}

// Only inside a tag: in running text "mso" is part of a word ("Thomson's") and stays.
std::int32_t RemoveMsoDeclarations(std::string& text) {
    constexpr std::string_view marker = "mso";
    Compactor out(text);
    const std::string_view source = out.Source();
    TagTracker tags(source);
    std::size_t removals = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = FindLiteral(source, marker, from);
        if (at == None) break;
        if (!tags.InsideTag(at, marker.size())) {
            from = at + marker.size();
            continue;
        }
        // Inside a tag the declaration ends at the tag's ">" at the latest.
        std::size_t end = FirstOf(source, at + marker.size(), tags.NextBracket(), DeclarationStops);
        if (source[end] == ';') ++end;
        out.KeepUpTo(at);
        out.Skip(end - at);
        from = end;
        ++removals;
    }
    out.Finish();
    return AsCount(removals);
}

std::int32_t ReplaceChar(char oldChar, char newChar, std::string& text) {
    std::size_t replaced = 0;
    for (char& c : text) {
        const bool hit = c == oldChar;
        replaced += hit;
        c = hit ? newChar : c;
    }
    return AsCount(replaced);
}

void HtmlToPlainText(std::string& text) {
    TagsToBlanksOrNothing(text);
    DecodeEntities(text);
    ControlsToSingleBlanks(text);
    text = TrimBlanks(text);
}

}  // namespace kelmo
