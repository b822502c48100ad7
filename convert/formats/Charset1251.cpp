#include "Charset1251.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstdint>

#include "AsciiText.h"

namespace kelmo {
namespace {

// Every character windows-1251 holds lies below U+2123 (the trade mark sign).
constexpr char32_t TableEnd = 0x2123;
using ReverseTable = std::array<unsigned char, TableEnd>;

// Built from Qt's own decoder so that the table and the code page cannot disagree.
ReverseTable MakeReverseTable() {
    ReverseTable table{};
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        QStringDecoder decoder("windows-1251");
        const char single = static_cast<char>(byte);
        const QString decoded = decoder.decode(QByteArrayView(&single, 1));
        if (decoded.size() != 1) continue;
        const char16_t unit = decoded.at(0).unicode();
        if (unit == 0xFFFD || unit >= TableEnd) continue;
        table[unit] = static_cast<unsigned char>(byte);
    }
    return table;
}

const ReverseTable& Reverse1251() {
    static const ReverseTable table = MakeReverseTable();
    return table;
}

void AppendCharacterReference(char32_t code, std::string& out) {
    out += "&#";
    out += std::to_string(static_cast<std::uint32_t>(code));
    out += ';';
}

bool IsContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return byte >= low && byte <= high;
}

// One decoded character and how many bytes it took; length 0 means a malformed lead
// byte or sequence, of which only the first byte is consumed.
struct Decoded {
    char32_t Code = 0;
    std::size_t Length = 0;
};

Decoded DecodeAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const std::size_t left = text.size() - at;
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};

    std::size_t length = 0;
    unsigned char secondLow = 0x80, secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondLow = 0xA0;   // overlong
        if (lead == 0xED) secondHigh = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondLow = 0x90;   // overlong
        if (lead == 0xF4) secondHigh = 0x8F;  // beyond U+10FFFF
    } else {
        return {};
    }
    if (left < length || !IsContinuation(byte(1), secondLow, secondHigh)) return {};
    char32_t code = lead & (0xFF >> (length + 1));
    code = (code << 6) | (byte(1) & 0x3F);
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsContinuation(byte(k))) return {};
        code = (code << 6) | (byte(k) & 0x3F);
    }
    return {code, length};
}

// Position of pattern (lower case) in text[from, to), ignoring ASCII case; npos when absent.
std::size_t FindNoCase(std::string_view text, std::string_view pattern, std::size_t from,
                       std::size_t to) {
    const std::string_view range = text.substr(0, to);
    for (std::size_t at = from; at + pattern.size() <= range.size(); ++at) {
        if (StartsWithNoCase(range, at, pattern)) return at;
    }
    return std::string_view::npos;
}

bool IsUtf8BeyondAscii(std::string_view text) {
    bool beyondAscii = false;
    for (std::size_t at = 0; at < text.size();) {
        const Decoded next = DecodeAt(text, at);
        if (next.Length == 0) return false;
        beyondAscii = beyondAscii || next.Code >= 0x80;
        at += next.Length;
    }
    return beyondAscii;
}

// The value after the first "charset=" of the head, in lower case; empty when there is none.
std::string DeclaredCharset(std::string_view html) {
    std::size_t headEnd = FindNoCase(html, "</head", 0, html.size());
    if (headEnd == std::string_view::npos) headEnd = html.size();
    const std::size_t charset = FindNoCase(html, "charset=", 0, headEnd);
    if (charset == std::string_view::npos) return {};
    std::size_t at = charset + 8;
    if (at < headEnd && (html[at] == '"' || html[at] == '\'')) ++at;
    std::string value;
    while (at < headEnd && std::string_view("\"'; >/").find(html[at]) == std::string_view::npos) {
        value += AsciiLower(html[at++]);
    }
    return value;
}

// The decoder a browser uses for a label: GB2312 pages are read as GBK, Latin-1 and ASCII
// pages as windows-1252.
std::string BrowserCharset(const std::string& label) {
    for (const char* gbk : {"gb2312", "gb_2312-80", "csgb2312", "chinese", "x-gbk", "iso-ir-58"})
        if (label == gbk) return "gbk";
    for (const char* latin : {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "l1", "ascii",
                              "us-ascii", "cp819", "ibm819", "x-cp1252"})
        if (label == latin) return "windows-1252";
    return label;
}

bool IsWindows1251Name(const std::string& name) {
    return name == "windows-1251" || name == "cp1251" || name == "x-cp1251" || name == "win-1251";
}

}  // namespace

const char* Utf16WithoutMark(std::string_view text) {
    const std::size_t pairs = std::min<std::size_t>(text.size() / 2, 256);
    std::size_t evenZeros = 0, oddZeros = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        evenZeros += text[2 * i] == '\0';
        oddZeros += text[2 * i + 1] == '\0';
    }
    if (pairs < 2) return nullptr;
    if (evenZeros == 0 && oddZeros * 2 > pairs) return "utf-16le";
    if (oddZeros == 0 && evenZeros * 2 > pairs) return "utf-16be";
    return nullptr;
}

std::string HtmlAsWindows1251(std::string html) {
    std::string charset;
    std::string_view body = html;
    if (html.substr(0, 3) == "\xEF\xBB\xBF") {
        charset = "utf-8";
        body.remove_prefix(3);
    } else if (html.substr(0, 2) == "\xFF\xFE") {
        charset = "utf-16le";
    } else if (html.substr(0, 2) == "\xFE\xFF") {
        charset = "utf-16be";
    } else if (const char* utf16 = Utf16WithoutMark(html)) {
        charset = utf16;
    } else if (IsUtf8BeyondAscii(html)) {
        charset = "utf-8";  // whatever the label says: the label is often wrong
    } else {
        charset = BrowserCharset(DeclaredCharset(html));
        if (charset.empty() || !QStringDecoder(charset.c_str()).isValid()) charset = "windows-1251";
    }
    if (IsWindows1251Name(charset)) return html;
    if (charset == "utf-8" || charset == "utf8") {
        return DeclareWindows1251(Utf8ToWindows1251(body));
    }
    QStringDecoder decoder(charset.c_str());
    QString text = decoder.decode(QByteArrayView(body.data(), body.size()));
    // Some decoders put a SUB control or a C1 control where a byte means nothing.
    for (QChar& c : text) {
        if (c.unicode() == 0x1A || (c.unicode() >= 0x80 && c.unicode() <= 0x9F))
            c = QChar::ReplacementCharacter;
    }
    const QByteArray utf8 = text.toUtf8();
    return DeclareWindows1251(
        Utf8ToWindows1251(std::string_view(utf8.constData(), std::size_t(utf8.size()))));
}

std::string Utf8ToWindows1251(std::string_view utf8) {
    const ReverseTable& reverse = Reverse1251();
    std::string out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        const Decoded next = DecodeAt(utf8, at);
        if (next.Length == 0) {
            AppendCharacterReference(0xFFFD, out);
            ++at;
            continue;
        }
        at += next.Length;
        if (next.Code < 0x80) {
            out += static_cast<char>(next.Code);
        } else if (next.Code < TableEnd && reverse[next.Code] != 0) {
            out += static_cast<char>(reverse[next.Code]);
        } else {
            AppendCharacterReference(next.Code, out);
        }
    }
    return out;
}

std::string DeclareWindows1251(std::string_view html) {
    constexpr std::string_view NewCharset = "windows-1251";
    std::size_t headEnd = FindNoCase(html, "</head", 0, html.size());
    if (headEnd == std::string_view::npos) headEnd = html.size();

    const std::size_t charset = FindNoCase(html, "charset=", 0, headEnd);
    if (charset != std::string_view::npos) {
        std::size_t value = charset + 8;
        if (value < headEnd && (html[value] == '"' || html[value] == '\'')) ++value;
        std::size_t valueEnd = value;
        while (valueEnd < headEnd && html[valueEnd] != '"' && html[valueEnd] != '\'' &&
               html[valueEnd] != ';' && html[valueEnd] != '>' && html[valueEnd] != ' ' &&
               html[valueEnd] != '/') {
            ++valueEnd;
        }
        std::string out(html.substr(0, value));
        out += NewCharset;
        out += html.substr(valueEnd);
        return out;
    }

    std::size_t head = FindNoCase(html, "<head", 0, headEnd);
    while (head != std::string_view::npos && head + 5 < html.size() && html[head + 5] != '>' &&
           html[head + 5] != ' ') {
        head = FindNoCase(html, "<head", head + 5, headEnd);  // "<header" is not the head
    }
    const std::size_t headTagEnd = head == std::string_view::npos ? head : html.find('>', head);
    if (headTagEnd == std::string_view::npos) return std::string(html);
    std::string out(html.substr(0, headTagEnd + 1));
    out += "<meta http-equiv=\"content-type\" content=\"text/html; charset=windows-1251\"/>";
    out += html.substr(headTagEnd + 1);
    return out;
}

}  // namespace kelmo
