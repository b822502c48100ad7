// The text operations and removal primitives on hand-picked texts. Every row is checked
// against the fast functions and against the plain transcription, so a fault in either
// shows here and not only as a disagreement between them.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "LibFunc.h"
#include "ReferencePrimitives.h"

namespace kelmo {
namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------------------------------
// Text operations

struct FindCase {
    std::string pattern;
    std::string text;
    Pos start;
    Pos expected;
};

TEST(TextOps, FindFromStartsAndEnds) {
    const std::vector<FindCase> cases = {
        // start 0 or less searches the whole text
        {"ab", "xxab", 0, 3},
        {"ab", "abxx", 0, 1},
        {"ab", "abxx", -7, 1},
        {"ab", "abxx", 1, 1},
        // a later start never finds an occurrence that begins before it
        {"ab", "abab", 2, 3},
        {"ab", "abab", 3, 3},
        {"ab", "abab", 4, 0},
        {"aa", "aaa", 2, 2},
        {"aa", "aaa", 3, 0},
        // past the last place the pattern can begin, and past the end
        {"abc", "xxabc", 3, 3},
        {"abc", "xxabc", 4, 0},
        {"a", "a", 2, 0},
        {"a", "a", 1000, 0},
        // nothing to find
        {"ab", "", 1, 0},
        {"ab", "", 0, 0},
        {"abc", "ab", 1, 0},
        {"Mso", "mso", 1, 0},
        {"ab", "aXb", 1, 0},
        // bytes are bytes: 0 and >= 128 match like any other
        {"\0b"s, "a\0b"s, 1, 2},
        {"\xE0\xFF", "\xE0\xE0\xFF", 1, 2},
        // the last possible beginning
        {"yz", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxyz", 40, 40},
        {"yz", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxyz", 41, 0},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(FindFrom(c.pattern, c.text, c.start), c.expected)
            << c.pattern << " in " << c.text << " from " << c.start;
        EXPECT_EQ(reference::FindFrom(c.pattern, c.text, c.start), c.expected)
            << c.pattern << " in " << c.text << " from " << c.start;
    }
}

struct PlacedPattern {
    std::string pattern;
    std::string filler;  // a near miss: first, second and last bytes right, a middle one wrong
};

TEST(TextOps, FindFromFindsEveryPlaceInLongTexts) {
    const std::vector<PlacedPattern> cases = {
        {"mso", "mxo"},
        {"ab", "aa"},
        {"class=MsoNormal", "class=MsoNorMal"},
        {"&nbsp;&nbsp;", "&nbsp;&nbsp&;"},
    };
    // Lengths past two 32-byte blocks, every place, so a block-wise search meets its edges
    // and the end of the text in every way.
    for (const PlacedPattern& c : cases) {
        const std::size_t m = c.pattern.size();
        for (std::size_t length = m; length < 100; ++length) {
            for (std::size_t at = 0; at + m <= length; ++at) {
                std::string text;
                while (text.size() < length) text += c.filler;
                text.resize(length);
                text.replace(at, m, c.pattern);
                const Pos expected = FindFrom(c.pattern, text, 0);
                ASSERT_EQ(expected, reference::FindFrom(c.pattern, text, 0))
                    << c.pattern << " " << length << " " << at;
                ASSERT_GE(expected, 1);
                ASSERT_LE(expected, static_cast<Pos>(at) + 1);
            }
        }
    }
}

struct RangeCase {
    std::string text;
    Pos index;
    Pos count;
    std::string expected;
};

TEST(TextOps, DeleteRangeEdges) {
    const std::vector<RangeCase> cases = {
        {"abcdef", 2, 3, "aef"},
        {"abcdef", 1, 6, ""},
        // a count past the end stops at the end
        {"abcdef", 4, 100, "abc"},
        {"abcdef", 6, 1, "abcde"},
        // nothing happens
        {"abcdef", 0, 3, "abcdef"},
        {"abcdef", -1, 3, "abcdef"},
        {"abcdef", 7, 1, "abcdef"},
        {"abcdef", 2, 0, "abcdef"},
        {"abcdef", 2, -1, "abcdef"},
        {"", 1, 1, ""},
    };
    for (const RangeCase& c : cases) {
        std::string fast = c.text;
        std::string plain = c.text;
        DeleteRange(fast, c.index, c.count);
        reference::DeleteRange(plain, c.index, c.count);
        EXPECT_EQ(fast, c.expected) << c.text << " " << c.index << " " << c.count;
        EXPECT_EQ(plain, c.expected) << c.text << " " << c.index << " " << c.count;
    }
}

TEST(TextOps, CopyRangeEdges) {
    const std::vector<RangeCase> cases = {
        {"abcdefghij", 3, 2, "cd"},
        // index below 1 is raised without shortening the count
        {"abcdefghij", 0, 8, "abcdefgh"},
        {"abcdefghij", -5, 3, "abc"},
        // a count past the end stops at the end
        {"abcdefghij", 8, 100, "hij"},
        {"abcdefghij", 10, 1, "j"},
        // empty results
        {"abcdefghij", 11, 1, ""},
        {"abcdefghij", 2, 0, ""},
        {"abcdefghij", 2, -3, ""},
        {"", 0, 8, ""},
    };
    for (const RangeCase& c : cases) {
        EXPECT_EQ(CopyRange(c.text, c.index, c.count), c.expected)
            << c.text << " " << c.index << " " << c.count;
        EXPECT_EQ(reference::CopyRange(c.text, c.index, c.count), c.expected)
            << c.text << " " << c.index << " " << c.count;
    }
}

struct InsertCase {
    std::string piece;
    std::string text;
    Pos index;
    std::string expected;
};

TEST(TextOps, InsertAtEdges) {
    const std::vector<InsertCase> cases = {
        {"X", "abc", 1, "Xabc"},
        {"X", "abc", 3, "abXc"},
        // below 1 inserts at the start, past the end appends
        {"X", "abc", 0, "Xabc"},
        {"X", "abc", -4, "Xabc"},
        {"X", "abc", 4, "abcX"},
        {"X", "abc", 99, "abcX"},
        {"X", "", 1, "X"},
        {"", "abc", 2, "abc"},
    };
    for (const InsertCase& c : cases) {
        std::string fast = c.text;
        std::string plain = c.text;
        InsertAt(c.piece, fast, c.index);
        reference::InsertAt(c.piece, plain, c.index);
        EXPECT_EQ(fast, c.expected) << c.text << " " << c.index;
        EXPECT_EQ(plain, c.expected) << c.text << " " << c.index;
    }
}

struct TextCase {
    std::string text;
    std::string expected;
};

TEST(TextOps, TrimBlanksTrimsControlBytesOnly) {
    const std::vector<TextCase> cases = {
        {"  ab c  ", "ab c"},
        {"\t\r\n ab\r\n", "ab"},
        {"\x01\x1F"
         "ab\x7F"
         " ",
         "ab\x7F"},
        {"\0ab\0"s, "ab"},
        // no-break space and Cyrillic bytes stay
        {"\xA0"
         "ab\xA0",
         "\xA0"
         "ab\xA0"},
        {" \xC3\xEB\xE0\xE2\xE0 ", "\xC3\xEB\xE0\xE2\xE0"},
        {"   ", ""},
        {"", ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(TrimBlanks(c.text), c.expected) << c.text;
        EXPECT_EQ(reference::TrimBlanks(c.text), c.expected) << c.text;
    }
}

// ---------------------------------------------------------------------------------------
// Removal primitives

struct RemovalCase {
    std::string text;
    std::string expected;
    std::int32_t count;
};

using Removal = std::function<std::int32_t(std::string&)>;

void CheckRemovals(const std::vector<RemovalCase>& cases, const Removal& fast,
                   const Removal& plain) {
    for (const RemovalCase& c : cases) {
        std::string fastText = c.text;
        std::string plainText = c.text;
        EXPECT_EQ(fast(fastText), c.count) << c.text;
        EXPECT_EQ(fastText, c.expected) << c.text;
        EXPECT_EQ(plain(plainText), c.count) << c.text;
        EXPECT_EQ(plainText, c.expected) << c.text;
    }
}

TEST(Removals, RemoveAllGoesOnAtTheRemovalPoint) {
    const std::vector<RemovalCase> cases = {
        {"abab", "", 2},
        // the joined "ab" begins before the removal point
        {"aabb", "ab", 1},
        {"aaabbb", "aabb", 1},
        {"xabyabz", "xyz", 2},
        {"", "", 0},
        {"a", "a", 0},
        {"ba", "ba", 0},
    };
    CheckRemovals(
        cases, [](std::string& t) { return RemoveAll("ab", t); },
        [](std::string& t) { return reference::RemoveAll("ab", t); });
}

TEST(Removals, RemoveAllWordClass) {
    const std::vector<RemovalCase> cases = {
        {"<table class=MsoNormalTable border=1>", "<table Table border=1>", 1},
        {"<p class=MsoTitle>", "<p class=MsoTitle>", 0},
        {"<p class=MsoNormal><p class=MsoNormal>", "<p ><p >", 2},
    };
    CheckRemovals(
        cases, [](std::string& t) { return RemoveAll("class=MsoNormal", t); },
        [](std::string& t) { return reference::RemoveAll("class=MsoNormal", t); });
}

// A marker given as a view into the text itself must not change while the text is rewritten.
TEST(Removals, MarkersThatPointIntoTheText) {
    std::string text = "ab?ab?b";
    EXPECT_EQ(RemoveAll(std::string_view(text).substr(0, 2), text), 2);
    EXPECT_EQ(text, "??b");

    text = "<>x<y>z<";
    const std::string_view view(text);
    EXPECT_EQ(RemoveBlocks(view.substr(0, 1), view.substr(1, 1), text), 2);
    EXPECT_EQ(text, "xz<");
}

TEST(Removals, RemoveBlocksComments) {
    const std::vector<RemovalCase> cases = {
        {"x<!-- a -->y<!-- b -->z", "xyz", 2},
        // the closing marker is searched from the opening's first byte
        {"x<!-->y", "xy", 1},
        {"x<!--->y", "xy", 1},
        // blocks do not nest
        {"a<!-- <!-- b --> c -->d", "a c -->d", 1},
        // an opening without a closing stays, and the scan ends there
        {"a<!-- b", "a<!-- b", 0},
        {"a<!--b-->c<!--d", "ac<!--d", 1},
        {"a<!--b<!--c-->d", "ad", 1},
        // a closing without an opening is not touched
        {"a-->b", "a-->b", 0},
        // a block removal joins bytes that are not searched again from before the point
        {"<!<!--x-->--y-->z", "<!--y-->z", 1},
        {"", "", 0},
    };
    CheckRemovals(
        cases, [](std::string& t) { return RemoveBlocks("<!--", "-->", t); },
        [](std::string& t) { return reference::RemoveBlocks("<!--", "-->", t); });
}

TEST(Removals, RemoveBlocksOfficeParagraphs) {
    const std::vector<RemovalCase> cases = {
        {"Text<o:p></o:p></span>", "Text</span>", 1},
        {"<o:p>&nbsp;</o:p>x<o:p>y</o:p>", "x", 2},
        {"<o:p>open", "<o:p>open", 0},
    };
    CheckRemovals(
        cases, [](std::string& t) { return RemoveBlocks("<o:p>", "</o:p>", t); },
        [](std::string& t) { return reference::RemoveBlocks("<o:p>", "</o:p>", t); });
}

TEST(Removals, RemoveConditionalTags) {
    const std::vector<RemovalCase> cases = {
        {"a<![if !supportLists]>b", "ab", 1},
        {"a<![if>b", "ab", 1},
        // the scan for ">" starts at the marker's last byte
        {"<![if<![if x>y>", "y>", 1},
        {"a<![if !x]>b<![endif]>c", "ab<![endif]>c", 1},
        // without ">" the tag stays and ends the scan
        {"a<![if x", "a<![if x", 0},
        {"<![if a>b<![if c", "b<![if c", 1},
        {"<![i", "<![i", 0},
    };
    CheckRemovals(cases, RemoveConditionalTags, reference::RemoveConditionalTags);
}

TEST(Removals, CollapseDoubleNbspRuns) {
    auto run = [](int n, const char* before = "", const char* after = "") {
        std::ostringstream text;
        text << before;
        for (int i = 0; i < n; ++i) text << "&nbsp;";
        text << after;
        return text.str();
    };
    const std::vector<RemovalCase> cases = {
        // n in a row keep (n + 1) / 2 and count n / 2
        {run(1), run(1), 0},
        {run(2), run(1), 1},
        {run(3), run(2), 1},
        {run(4), run(2), 2},
        {run(5), run(3), 2},
        {run(8), run(4), 4},
        {run(7, "x", "y"), run(4, "x", "y"), 3},
        // runs are handled one by one
        {"a&nbsp;&nbsp;b&nbsp;&nbsp;&nbsp;c", "a&nbsp;b&nbsp;&nbsp;c", 2},
        {"&nbsp;&nbsp &nbsp;", "&nbsp;&nbsp &nbsp;", 0},
        {"", "", 0},
    };
    CheckRemovals(cases, CollapseDoubleNbsp, reference::CollapseDoubleNbsp);
}

TEST(Removals, MsoDeclarationsInsideTags) {
    const std::vector<RemovalCase> cases = {
        // the closing quote stays, a closing semicolon goes
        {"<span style='mso-spacerun:yes'>", "<span style=''>", 1},
        {"<span style=\"mso-spacerun:yes\">", "<span style=\"\">", 1},
        {"<p style='margin:0cm;mso-list:l0 level1 lfo1;tab-stops:36.0pt'>",
         "<p style='margin:0cm;tab-stops:36.0pt'>", 1},
        {"<p style='mso-a:1;mso-b:2;mso-c:3'>", "<p style=''>", 3},
        // an unquoted value ends at the tag's end or at a quote
        {"<td mso-x>", "<td >", 1},
        {"<td a=mso-x\"b\">", "<td a=\"b\">", 1},
        // case matters
        {"<p class=MsoTitle>", "<p class=MsoTitle>", 0},
        {"<p style='MSO-x:1'>", "<p style='MSO-x:1'>", 0},
    };
    CheckRemovals(cases, RemoveMsoDeclarations, reference::RemoveMsoDeclarations);
}

TEST(Removals, MsoInRunningTextStays) {
    const std::vector<RemovalCase> cases = {
        {"Thomson's", "Thomson's", 0},
        {"<p>Thomson's theorem; mso</p>", "<p>Thomson's theorem; mso</p>", 0},
        {"mso;", "mso;", 0},
        // a ">" with no "<" in front of it does not open a tag
        {"a > mso; b", "a > mso; b", 0},
        // "<" in front but the next bracket is another "<": not inside a tag
        {"x < msoft <b>", "x < msoft <b>", 0},
        {"<td a=mso-x<b>", "<td a=mso-x<b>", 0},
        // an unclosed "<" at the end
        {"<p mso-x", "<p mso-x", 0},
        {"<a>b</a> mso <c mso;>", "<a>b</a> mso <c >", 1},
        // many occurrences between two tags
        {"<p>mso mso mso mso</p><b mso;mso;>", "<p>mso mso mso mso</p><b >", 2},
    };
    CheckRemovals(cases, RemoveMsoDeclarations, reference::RemoveMsoDeclarations);
}

TEST(Removals, ReplaceCharCountsReplacements) {
    const std::vector<RemovalCase> cases = {
        {"1.2.", "1_2_", 2},
        {"1", "1", 0},
        {"", "", 0},
        {"....", "____", 4},
    };
    CheckRemovals(
        cases, [](std::string& t) { return ReplaceChar('.', '_', t); },
        [](std::string& t) { return reference::ReplaceChar('.', '_', t); });
}

TEST(Removals, PlainTextOfHeadings) {
    const std::vector<TextCase> cases = {
        {"<h1 class=x>\xC3\xEB\xE0\xE2\xE0&nbsp;1.\r\n\xC2\xE2\xE5\xE4\xE5\xED\xE8\xE5</h1>\r\n",
         "\xC3\xEB\xE0\xE2\xE0 1. \xC2\xE2\xE5\xE4\xE5\xED\xE8\xE5"},
        // a line-break tag leaves a blank, other tags nothing
        {"A<br>B", "A B"},
        {"A<BR/>B", "A B"},
        {"A<br clear=all>B<b>C</b>", "A BC"},
        {"A<bR\t/>B", "A B"},
        {"A<bdo>B<brx>C", "ABC"},
        // entities become their windows-1251 character
        {" A &amp; B ", "A & B"},
        {"&laquo;\xCE&raquo; &#171;&#x2116;&#X2014;", "\xAB\xCE\xBB \xAB\xB9\x97"},
        {"&Acy;&IOcy;&lt;&gt;&quot;", "\xC0\xA8<>\""},
        {"a&nbsp;&#160;&#xA0;b", "a b"},
        {"&amp;lt;", "&lt;"},
        // unknown entities and characters windows-1251 lacks go
        {"R&D dept; x", "R x"},
        {"a&alpha;&#945;&#x1F600;&#99999999999;&#;&#x;&bogus;b", "ab"},
        // control bytes become blanks, runs of blanks one, CR LF counts as one
        {"a\tb\rc\nd\x01"
         "e\x7F"
         "f",
         "a b c d e f"},
        {"a\r\nb", "a b"},
        {"a\r\r\nb", "a b"},
        {"a \r\n \t b", "a b"},
        {"1.1\t<span>Wrapped</span>\r\n  title&#9;end", "1.1 Wrapped title end"},
        {"\r\n<b>x</b>\r\n", "x"},
        {"\xA0"
         "a\xA0",
         "\xA0"
         "a\xA0"},
        // unclosed "<" or "&" stays and ends its stage
        {"a<b", "a<b"},
        {"<i>a</i><b", "a<b"},
        {"a&amp b", "a&amp b"},
        {"a&lt;b&c", "a<b&c"},
        {"", ""},
        {"<p></p>", ""},
    };
    for (const TextCase& c : cases) {
        std::string fast = c.text;
        std::string plain = c.text;
        HtmlToPlainText(fast);
        reference::HtmlToPlainText(plain);
        EXPECT_EQ(fast, c.expected) << c.text;
        EXPECT_EQ(plain, c.expected) << c.text;
    }
}

}  // namespace
}  // namespace kelmo
