#include <gtest/gtest.h>

#include <string>

#include "Charset1251.h"

namespace kelmo {
namespace {

struct EncodeRow {
    const char* name;
    std::string utf8;
    std::string expected;
};

TEST(Utf8ToWindows1251, EncodesEachCharacterOrRefersToIt) {
    const EncodeRow rows[] = {
        // Bytes of the code page
        {"ascii and markup untouched", "a<b href=\"x\">&amp;\r\n", "a<b href=\"x\">&amp;\r\n"},
        {"cyrillic", "Привет, Ёж", "\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xE6"},
        {"ukrainian letters", "ґЇі", "\xB4\xAF\xB3"},
        {"punctuation the code page holds", "€№«»—…™\u00A0", "\x88\xB9\xAB\xBB\x97\x85\x99\xA0"},
        // Characters outside it
        {"greek", "α", "&#945;"},
        {"sum sign between letters", "aΣ∑b", "a&#931;&#8721;b"},
        {"cjk", "中", "&#20013;"},
        {"four-byte character", "\xF0\x9F\x98\x80", "&#128512;"},
        {"latin-1 letter 1251 lacks", "é", "&#233;"},
        // Malformed input: one reference per bad byte, nothing read past the end
        {"stray continuation", "\x80", "&#65533;"},
        {"invalid lead",
         "\xFF"
         "A",
         "&#65533;A"},
        {"two-byte cut at the end", "\xD0", "&#65533;"},
        {"three-byte cut at the end", "\xE2\x82", "&#65533;&#65533;"},
        {"four-byte cut at the end", "\xF0\x9F\x98", "&#65533;&#65533;&#65533;"},
        {"lead followed by ascii",
         "\xD0"
         "A",
         "&#65533;A"},
        {"overlong slash", "\xC0\xAF", "&#65533;&#65533;"},
        {"overlong three-byte", "\xE0\x80\xAF", "&#65533;&#65533;&#65533;"},
        {"surrogate", "\xED\xA0\x80", "&#65533;&#65533;&#65533;"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "&#65533;&#65533;&#65533;&#65533;"},
        {"empty", "", ""},
    };
    for (const EncodeRow& row : rows) {
        EXPECT_EQ(Utf8ToWindows1251(row.utf8), row.expected) << row.name;
    }
}

TEST(Utf8ToWindows1251, EveryLetterOfTheCodePageTakesItsByte) {
    std::string bytes;
    for (int byte = 0xC0; byte <= 0xFF; ++byte) bytes += static_cast<char>(byte);
    bytes += "\xA8\xB8\xA5\xB4\xAA\xBA\xB2\xB3\xAF\xBF\xA1\xA2";
    EXPECT_EQ(Utf8ToWindows1251("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя"
                                "ЁёҐґЄєІіЇїЎў"),
              bytes);
}

TEST(Utf8ToWindows1251, ZeroBytePassesThrough) {
    EXPECT_EQ(Utf8ToWindows1251(std::string("a\0b", 3)), std::string("a\0b", 3));
}

struct DeclareRow {
    const char* name;
    const char* html;
    const char* expected;
};

TEST(DeclareWindows1251, RewritesOrAddsTheCharsetOfTheHead) {
    const DeclareRow rows[] = {
        {"libreoffice meta tag",
         "<head>\n\t<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>",
         "<head>\n\t<meta http-equiv=\"content-type\" content=\"text/html; "
         "charset=windows-1251\"/>"},
        {"upper case", "<HEAD><META CONTENT=\"text/html; CHARSET=UTF-8\"></HEAD>",
         "<HEAD><META CONTENT=\"text/html; CHARSET=windows-1251\"></HEAD>"},
        {"html5 form", "<head><meta charset=\"utf-8\"></head>",
         "<head><meta charset=\"windows-1251\"></head>"},
        {"apostrophes", "<head><meta charset='utf-8'></head>",
         "<head><meta charset='windows-1251'></head>"},
        {"bare value", "<head><meta charset=utf-8><title>t</title></head>",
         "<head><meta charset=windows-1251><title>t</title></head>"},
        {"no charset", "<html><head><title>t</title></head>",
         "<html><head><meta http-equiv=\"content-type\" content=\"text/html; "
         "charset=windows-1251\"/><title>t</title></head>"},
        {"head with attributes", "<head lang=\"ru\"></head>",
         "<head lang=\"ru\"><meta http-equiv=\"content-type\" content=\"text/html; "
         "charset=windows-1251\"/></head>"},
        {"charset only in the body is left alone", "<head></head><body>charset=utf-8</body>",
         "<head><meta http-equiv=\"content-type\" content=\"text/html; "
         "charset=windows-1251\"/></head><body>charset=utf-8</body>"},
        {"header element is not the head", "<header>x</header>", "<header>x</header>"},
        {"unclosed head tag", "<head", "<head"},
        {"charset= at the very end", "<head>charset=", "<head>charset=windows-1251"},
        {"empty", "", ""},
    };
    for (const DeclareRow& row : rows) {
        EXPECT_EQ(DeclareWindows1251(row.html), row.expected) << row.name;
    }
}

struct HtmlRow {
    const char* name;
    std::string html;
    std::string expected;  // empty: the input byte for byte
};

TEST(HtmlAsWindows1251, TranscodesWhatIsNotWindows1251) {
    const std::string meta1251 =
        "<meta http-equiv=\"content-type\" content=\"text/html; "
        "charset=windows-1251\"/>";
    const HtmlRow rows[] = {
        // Kept byte for byte
        {"declared windows-1251", "<head><meta charset=windows-1251></head>\xCF\xF0\xE8\r\n\0", ""},
        {"declared cp1251, word's way",
         "<head><meta http-equiv=Content-Type content=\"text/html; charset=CP1251\"></head>\xCF",
         ""},
        {"undeclared and not utf-8", "<html><p>\xCF\xF0\xE8\xE2\xE5\xF2</p>", ""},
        {"undeclared ascii", "<html><p>a&amp;b</p>", ""},
        {"unknown charset, not utf-8", "<head><meta charset=x-unheard-of></head>\xCF", ""},
        // Transcoded and declared
        {"declared utf-8", "<head><meta charset=\"UTF-8\"></head>Привет α",
         "<head><meta charset=\"windows-1251\"></head>\xCF\xF0\xE8\xE2\xE5\xF2 &#945;"},
        {"byte-order mark, no meta", "\xEF\xBB\xBF<html><head></head>Ёж",
         "<html><head>" + meta1251 + "</head>\xA8\xE6"},
        {"byte-order mark wins over the meta", "\xEF\xBB\xBF<head><meta charset=windows-1251>Ё",
         "<head><meta charset=windows-1251>\xA8"},
        {"undeclared valid utf-8", "<html><head></head>Ё",
         "<html><head>" + meta1251 + "</head>\xA8"},
        {"unknown charset, valid utf-8", "<head><meta charset=x-unheard-of></head>Ё",
         "<head><meta charset=windows-1251></head>\xA8"},
        {"utf-16 with its mark", std::string("\xFF\xFE<\0h\0e\0a\0d\0>\0\x01\x04", 16),
         "<head>" + meta1251 + "\xA8"},
        {"utf-16 without a mark", std::string("<\0h\0e\0a\0d\0>\0\x01\x04", 14),
         "<head>" + meta1251 + "\xA8"},
        {"utf-16be without a mark", std::string("\0<\0h\0e\0a\0d\0>\x04\x01", 14),
         "<head>" + meta1251 + "\xA8"},
        {"koi8-r", "<head><meta charset=koi8-r></head>\xF0\xD2\xC9",
         "<head><meta charset=windows-1251></head>\xCF\xF0\xE8"},
        // A label the bytes contradict, and labels read as browsers read them
        {"utf-8 labelled windows-1252", "<head><meta charset=windows-1252></head>bridge’s",
         "<head><meta charset=windows-1251></head>bridge\x92s"},
        {"utf-8 labelled gb2312", "<head><meta charset=gb2312></head>中",
         "<head><meta charset=windows-1251></head>&#20013;"},
        {"gb2312 read as gbk", "<head><meta charset=gb2312></head>\xD6\xD0\x81\x40",
         "<head><meta charset=windows-1251></head>&#20013;&#19970;"},
        {"iso-8859-1 read as windows-1252", "<head><meta charset=iso-8859-1></head>\x80\xE9",
         "<head><meta charset=windows-1251></head>\x88&#233;"},
        {"undecodable bytes", "<head><meta charset=windows-1252></head>\x81<p>\xFF\xFF",
         "<head><meta charset=windows-1251></head>&#65533;<p>&#255;&#255;"},
    };
    for (const HtmlRow& row : rows) {
        EXPECT_EQ(HtmlAsWindows1251(row.html), row.expected.empty() ? row.html : row.expected)
            << row.name;
    }
}

}  // namespace
}  // namespace kelmo
