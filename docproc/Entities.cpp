#include "Entities.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "LibFunc.h"

namespace kelmo {
namespace {

struct NamedEntity {
    std::string_view Name;
    char32_t Code;
};

// The HTML named character references whose character windows-1251 holds, sorted by name
// (byte order) for a binary search.
constexpr NamedEntity NamedEntities[] = {
    {"AMP", 0x26},
    {"Acy", 0x410},
    {"Bcy", 0x411},
    {"CHcy", 0x427},
    {"COPY", 0xA9},
    {"CenterDot", 0xB7},
    {"CloseCurlyDoubleQuote", 0x201D},
    {"CloseCurlyQuote", 0x2019},
    {"DJcy", 0x402},
    {"DScy", 0x405},
    {"DZcy", 0x40F},
    {"Dagger", 0x2021},
    {"Dcy", 0x414},
    {"DiacriticalGrave", 0x60},
    {"Ecy", 0x42D},
    {"Fcy", 0x424},
    {"GJcy", 0x403},
    {"GT", 0x3E},
    {"Gcy", 0x413},
    {"HARDcy", 0x42A},
    {"Hat", 0x5E},
    {"IEcy", 0x415},
    {"IOcy", 0x401},
    {"Icy", 0x418},
    {"Iukcy", 0x406},
    {"Jcy", 0x419},
    {"Jsercy", 0x408},
    {"Jukcy", 0x404},
    {"KHcy", 0x425},
    {"KJcy", 0x40C},
    {"Kcy", 0x41A},
    {"LJcy", 0x409},
    {"LT", 0x3C},
    {"Lcy", 0x41B},
    {"Mcy", 0x41C},
    {"NJcy", 0x40A},
    {"Ncy", 0x41D},
    {"NewLine", 0xA},
    {"NonBreakingSpace", 0xA0},
    {"Ocy", 0x41E},
    {"OpenCurlyDoubleQuote", 0x201C},
    {"OpenCurlyQuote", 0x2018},
    {"Pcy", 0x41F},
    {"PlusMinus", 0xB1},
    {"QUOT", 0x22},
    {"REG", 0xAE},
    {"Rcy", 0x420},
    {"SHCHcy", 0x429},
    {"SHcy", 0x428},
    {"SOFTcy", 0x42C},
    {"Scy", 0x421},
    {"TRADE", 0x2122},
    {"TSHcy", 0x40B},
    {"TScy", 0x426},
    {"Tab", 0x9},
    {"Tcy", 0x422},
    {"Ubrcy", 0x40E},
    {"Ucy", 0x423},
    {"UnderBar", 0x5F},
    {"Vcy", 0x412},
    {"VerticalLine", 0x7C},
    {"YAcy", 0x42F},
    {"YIcy", 0x407},
    {"YUcy", 0x42E},
    {"Ycy", 0x42B},
    {"ZHcy", 0x416},
    {"Zcy", 0x417},
    {"acy", 0x430},
    {"amp", 0x26},
    {"apos", 0x27},
    {"ast", 0x2A},
    {"bcy", 0x431},
    {"bdquo", 0x201E},
    {"brvbar", 0xA6},
    {"bsol", 0x5C},
    {"bull", 0x2022},
    {"bullet", 0x2022},
    {"centerdot", 0xB7},
    {"chcy", 0x447},
    {"circledR", 0xAE},
    {"colon", 0x3A},
    {"comma", 0x2C},
    {"commat", 0x40},
    {"copy", 0xA9},
    {"curren", 0xA4},
    {"dagger", 0x2020},
    {"dcy", 0x434},
    {"ddagger", 0x2021},
    {"deg", 0xB0},
    {"djcy", 0x452},
    {"dollar", 0x24},
    {"dscy", 0x455},
    {"dzcy", 0x45F},
    {"ecy", 0x44D},
    {"equals", 0x3D},
    {"euro", 0x20AC},
    {"excl", 0x21},
    {"fcy", 0x444},
    {"gcy", 0x433},
    {"gjcy", 0x453},
    {"grave", 0x60},
    {"gt", 0x3E},
    {"hardcy", 0x44A},
    {"hellip", 0x2026},
    {"icy", 0x438},
    {"iecy", 0x435},
    {"iocy", 0x451},
    {"iukcy", 0x456},
    {"jcy", 0x439},
    {"jsercy", 0x458},
    {"jukcy", 0x454},
    {"kcy", 0x43A},
    {"khcy", 0x445},
    {"kjcy", 0x45C},
    {"laquo", 0xAB},
    {"lbrace", 0x7B},
    {"lbrack", 0x5B},
    {"lcub", 0x7B},
    {"lcy", 0x43B},
    {"ldquo", 0x201C},
    {"ldquor", 0x201E},
    {"ljcy", 0x459},
    {"lowbar", 0x5F},
    {"lpar", 0x28},
    {"lsaquo", 0x2039},
    {"lsqb", 0x5B},
    {"lsquo", 0x2018},
    {"lsquor", 0x201A},
    {"lt", 0x3C},
    {"mcy", 0x43C},
    {"mdash", 0x2014},
    {"micro", 0xB5},
    {"midast", 0x2A},
    {"middot", 0xB7},
    {"mldr", 0x2026},
    {"nbsp", 0xA0},
    {"ncy", 0x43D},
    {"ndash", 0x2013},
    {"njcy", 0x45A},
    {"not", 0xAC},
    {"num", 0x23},
    {"numero", 0x2116},
    {"ocy", 0x43E},
    {"para", 0xB6},
    {"pcy", 0x43F},
    {"percnt", 0x25},
    {"period", 0x2E},
    {"permil", 0x2030},
    {"plus", 0x2B},
    {"plusmn", 0xB1},
    {"pm", 0xB1},
    {"quest", 0x3F},
    {"quot", 0x22},
    {"raquo", 0xBB},
    {"rbrace", 0x7D},
    {"rbrack", 0x5D},
    {"rcub", 0x7D},
    {"rcy", 0x440},
    {"rdquo", 0x201D},
    {"rdquor", 0x201D},
    {"reg", 0xAE},
    {"rpar", 0x29},
    {"rsaquo", 0x203A},
    {"rsqb", 0x5D},
    {"rsquo", 0x2019},
    {"rsquor", 0x2019},
    {"sbquo", 0x201A},
    {"scy", 0x441},
    {"sect", 0xA7},
    {"semi", 0x3B},
    {"shchcy", 0x449},
    {"shcy", 0x448},
    {"shy", 0xAD},
    {"softcy", 0x44C},
    {"sol", 0x2F},
    {"tcy", 0x442},
    {"trade", 0x2122},
    {"tscy", 0x446},
    {"tshcy", 0x45B},
    {"ubrcy", 0x45E},
    {"ucy", 0x443},
    {"vcy", 0x432},
    {"verbar", 0x7C},
    {"vert", 0x7C},
    {"yacy", 0x44F},
    {"ycy", 0x44B},
    {"yicy", 0x457},
    {"yucy", 0x44E},
    {"zcy", 0x437},
    {"zhcy", 0x436},
};

// The characters of windows-1251 bytes 0x80 to 0xFF; 0 where the code page has none (0x98).
constexpr std::array<char16_t, 128> HighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

}  // namespace

std::optional<char32_t> NamedEntityCode(std::string_view name) {
    const auto byName = [](const NamedEntity& entity, std::string_view key) {
        return entity.Name < key;
    };
    const auto* found =
        std::lower_bound(std::begin(NamedEntities), std::end(NamedEntities), name, byName);
    if (found == std::end(NamedEntities) || found->Name != name) return std::nullopt;
    return found->Code;
}

std::optional<char> Windows1251Byte(char32_t code) {
    if (code < 0x80) return static_cast<char>(code);
    for (std::size_t k = 0; k < HighHalf.size(); ++k) {
        if (HighHalf[k] != 0 && HighHalf[k] == code) return static_cast<char>(0x80 + k);
    }
    return std::nullopt;
}

std::string Windows1251ToUtf8(std::string_view text) {
    constexpr char16_t Replacement = 0xFFFD;
    std::string utf8;
    utf8.reserve(text.size() * 2);
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            utf8 += byte;
            continue;
        }
        const unsigned code = HighHalf[c - 0x80] != 0 ? HighHalf[c - 0x80] : Replacement;
        if (code < 0x800) {
            utf8 += char(0xC0 | (code >> 6));
        } else {
            utf8 += char(0xE0 | (code >> 12));
            utf8 += char(0x80 | ((code >> 6) & 0x3F));
        }
        utf8 += char(0x80 | (code & 0x3F));
    }
    return utf8;
}

}  // namespace kelmo
