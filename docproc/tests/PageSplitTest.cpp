#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "LibFunc.h"
#include "TempFolder.h"

namespace kelmo {
namespace {

using testing::FileBytes;
using testing::PutFile;
using testing::TempFolder;
namespace fs = std::filesystem;

const std::string Header(PageHeader);
const std::string CleanHead = Header + "<title>x</title>\r\n</head>\r\n";

std::string PageOf(const std::string& title, const std::string& body) {
    return Header + "<title>" + title + "</title>\r\n</head>\r\n<body> <div>\r\n" + body +
           "</div></body></html>";
}

std::string BaseName(const std::string& path) { return fs::path(path).filename().string(); }

// One split of a text into a fresh folder.
struct Split {
    explicit Split(std::string_view html) : result(SplitIntoPages(table, work.Path(), html)) {}
    std::string Page(std::string_view name) const { return FileBytes(work / name); }
    std::size_t Files() const {
        return std::size_t(std::distance(fs::directory_iterator(work.Path()), {}));
    }

    TempFolder work;
    HeadingTable table;
    SplitResult result;
};

std::string RepeatHeadings(int count, const std::string& tag) {
    std::string text = "<body>";
    for (int i = 0; i < count; ++i) text += "<" + tag + ">x</" + tag + "><p>t</p>\r\n";
    return text + "</body></html>\r\n";
}

// --- The worked example -----------------------------------------------------------------

TEST(SplitIntoPages, WorkedExample) {
    const std::string body =
        "<body lang=RU><div class=Section1><h1>Введение</h1><p>a</p><hr><h2>Цели</h2><p>b</p>"
        "</div></body></html>\r\n";
    const std::string html = CleanHead + body;
    const Split split(html);
    ASSERT_EQ(split.result, SplitResult::Done);
    const HeadingTable& table = split.table;

    ASSERT_EQ(table.HeaderCount, 2);
    const RHeader& first = table.Headers[1];
    EXPECT_EQ(first.Position, Pos(html.find("<h1>") + 1));
    EXPECT_EQ(first.Level, 1);
    EXPECT_EQ(first.Number, "1. ");
    EXPECT_EQ(first.Heading, "<h1>Введение</h1>");
    EXPECT_EQ(first.FileName, split.work / "page_1_.htm");
    const RHeader& second = table.Headers[2];
    EXPECT_EQ(second.Level, 2);
    EXPECT_EQ(second.Number, "1.1. ");
    EXPECT_EQ(second.Heading, "<h2>Цели</h2>");
    EXPECT_EQ(second.FileName, split.work / "page_1_1_.htm");
    EXPECT_EQ(table.Headers[3].Position, Pos(html.size() + 1));

    EXPECT_EQ(split.Page("page_1_.htm"), PageOf("Введение", "<h1>Введение</h1><p>a</p><hr>"));
    EXPECT_EQ(split.Page("page_1_1_.htm"),
              PageOf("Цели", "<h2>Цели</h2><p>b</p></div></body></html>\r\n"));
    EXPECT_EQ(PageText(table, 2, html), split.Page("page_1_1_.htm"));
    EXPECT_EQ(split.Files(), 2u);
}

TEST(SplitIntoPages, TitleOfAPageIsThePlainHeadingWithMarkupCharactersEscaped) {
    const std::string heading = "<h1>R&amp;D&nbsp;&lt;2&gt;<br>\r\n\t&laquo;A&raquo;</h1>";
    const Split split("<body>" + heading);
    EXPECT_EQ(split.Page("page_1_.htm"), PageOf("R&amp;D &lt;2&gt; \xAB"
                                                "A\xBB",
                                                heading));
}

// --- Numbers and page names -------------------------------------------------------------

struct NumberCase {
    const char* name;
    std::string text;
    std::vector<std::string> numbers;
    std::vector<std::string> files;
};

const NumberCase NumberCases[] = {
    {"h1 h2 h1",
     "<body><h1>A</h1><h2>B</h2><h1>C</h1>",
     {"1. ", "1.1. ", "2. "},
     {"page_1_.htm", "page_1_1_.htm", "page_2_.htm"}},
    {"all six levels, then back up",
     "<body><h1>a</h1><h2>b</h2><h3>c</h3><h4>d</h4><h5>e</h5><h6>f</h6><h2>g</h2>",
     {"1. ", "1.1. ", "1.1.1. ", "1.1.1.1. ", "1.1.1.1.1. ", "1.1.1.1.1.1. ", "1.2. "},
     {"page_1_.htm", "page_1_1_.htm", "page_1_1_1_.htm", "page_1_1_1_1_.htm", "page_1_1_1_1_1_.htm",
      "page_1_1_1_1_1_1_.htm", "page_1_2_.htm"}},
    {"h2 before any h1: the h1 takes the next number",
     "<body><h2>A</h2><h1>B</h1>",
     {"1. ", "2. "},
     {"page_1_.htm", "page_2_.htm"}},
    {"h3 under h1 then h2: both under the h1, numbered apart",
     "<body><h1>A</h1><h3>B</h3><h2>C</h2>",
     {"1. ", "1.1. ", "1.2. "},
     {"page_1_.htm", "page_1_1_.htm", "page_1_2_.htm"}},
    {"a heading above all before it starts a new top number",
     "<body><h3>a</h3><h2>b</h2><h1>c</h1><h2>d</h2>",
     {"1. ", "2. ", "3. ", "3.1. "},
     {"page_1_.htm", "page_2_.htm", "page_3_.htm", "page_3_1_.htm"}},
    {"tags that are no headings; their text before the first heading is page_0",
     "<body><hr><h0>x</h0><h7>y</h7><H1>z</H1><head><h4>D</h4><h",
     {"", "1. "},
     {"page_0.htm", "page_1_.htm"}},
    {"no body: search from the first byte", "<h1>A</h1><p>t</p>", {"1. "}, {"page_1_.htm"}},
    {"headings in front of the body are skipped",
     "<h1>A</h1><body><h2>B</h2>",
     {"1. "},
     {"page_1_.htm"}},
};

TEST(SplitIntoPages, NumbersAndPageNames) {
    for (const NumberCase& c : NumberCases) {
        SCOPED_TRACE(c.name);
        const Split split(c.text);
        ASSERT_EQ(split.result, SplitResult::Done);
        const HeadingTable& table = split.table;
        ASSERT_EQ(table.HeaderCount, int(c.numbers.size()));
        for (int i = 1; i <= table.HeaderCount; ++i) {
            EXPECT_EQ(table.Headers[i].Number, c.numbers[i - 1]) << "entry " << i;
            EXPECT_EQ(BaseName(table.Headers[i].FileName), c.files[i - 1]) << "entry " << i;
            EXPECT_TRUE(fs::exists(table.Headers[i].FileName)) << "entry " << i;
        }
        EXPECT_EQ(split.Files(), c.numbers.size()) << "no page replaced another";
    }
}

// --- Where a heading ends ---------------------------------------------------------------

struct HeadingCase {
    const char* name;
    std::string text;
    std::vector<std::string> headings;
};

const HeadingCase HeadingCases[] = {
    {"any closing tag starting </h ends it", "<body><h1>A</html>", {"<h1>A</htm"}},
    {"closing tag of another level", "<body><h2>A</h3><h1>B</h1>", {"<h2>A</h3>", "<h1>B</h1>"}},
    {"no closing tag: runs to the end, scan ends", "<body><h1>A<h2>B", {"<h1>A<h2>B"}},
    {"closing tag cut at the end", "<body><h1>A</h", {"<h1>A</h"}},
};

TEST(SplitIntoPages, HeadingExtent) {
    for (const HeadingCase& c : HeadingCases) {
        SCOPED_TRACE(c.name);
        const Split split(c.text);
        ASSERT_EQ(split.result, SplitResult::Done);
        ASSERT_EQ(split.table.HeaderCount, int(c.headings.size()));
        for (int i = 1; i <= split.table.HeaderCount; ++i)
            EXPECT_EQ(split.table.Headers[i].Heading, c.headings[i - 1]);
    }
}

// --- A text without headings ------------------------------------------------------------

struct SinglePageCase {
    const char* name;
    std::string text;
    int count;
    std::string page;  // bytes of page_0.htm when count is 1
};

const SinglePageCase SinglePageCases[] = {
    {"body start tag", "<html><body lang=RU><p>a</p></body></html>\r\n", 1,
     PageOf("", "<p>a</p></body></html>\r\n")},
    {"body tag never closes", "<p>x</p><body lang=RU", 1, PageOf("", "")},
    {"body tag is the last byte", "<body>", 1, PageOf("", "")},
    {"no body at all", "<p>x</p>", 0, ""},
    {"empty text", "", 0, ""},
};

TEST(SplitIntoPages, TextWithoutHeadings) {
    for (const SinglePageCase& c : SinglePageCases) {
        SCOPED_TRACE(c.name);
        const Split split(c.text);
        ASSERT_EQ(split.result, SplitResult::Done);
        const HeadingTable& table = split.table;
        ASSERT_EQ(table.HeaderCount, c.count);
        EXPECT_EQ(table.Headers[c.count + 1].Position, Pos(c.text.size() + 1));
        EXPECT_EQ(split.Files(), std::size_t(c.count));
        if (c.count == 0) continue;
        EXPECT_EQ(table.Headers[1].Level, 0);
        EXPECT_EQ(table.Headers[1].Number, "");
        EXPECT_EQ(table.Headers[1].FileName, split.work / "page_0.htm");
        EXPECT_EQ(split.Page("page_0.htm"), c.page);
    }
}

// --- The whole text on the pages: preamble, links, notes ------------------------------------

struct WholeCase {
    const char* name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> pages;  // every file and its page
};

const std::string Note1 =
    "<div id=\"sdfootnote1\"><p><a name=\"sdfootnote1sym\" "
    "href=\"#sdfootnote1anc\">1</a>one</p></div>";
const std::string Note2 =
    "<div id=\"sdfootnote2\"><p><a name=\"sdfootnote2sym\" "
    "href=\"#sdfootnote2anc\">2</a>two</p></div>";
const std::string Cite1 = "<a href=\"#sdfootnote1sym\" name=\"sdfootnote1anc\">1</a>";
const std::string Cite2 = "<a href=\"#sdfootnote2sym\" name=\"sdfootnote2anc\">2</a>";

const WholeCase WholeCases[] = {
    {"text before the first heading is page_0, titled by the document",
     CleanHead + "<body><p>Title page</p><h1>A</h1>",
     {{"page_0.htm", PageOf("x", "<p>Title page</p>")},
      {"page_1_.htm", PageOf("A", "<h1>A</h1>")}}},
    {"untitled: page_0 takes its first words",
     "<title></title><body><table><tr><td>Approval &amp; sheet</td></tr></table><h1>A</h1>",
     {{"page_0.htm",
       PageOf("Approval &amp; sheet", "<table><tr><td>Approval &amp; sheet</td></tr></table>")},
      {"page_1_.htm", PageOf("A", "<h1>A</h1>")}}},
    {"a picture alone is a page too",
     "<body><img src=a.png><h1>A</h1>",
     {{"page_0.htm", PageOf("", "<img src=a.png>")}, {"page_1_.htm", PageOf("A", "<h1>A</h1>")}}},
    {"blanks and empty paragraphs are not",
     CleanHead + "<body>\r\n<div><p>&nbsp;</p><p>\xA0</p><a name=\"t\"></a></div><h1>A</h1>",
     {{"page_1_.htm", PageOf("A", "<h1>A</h1>")}}},
    {"links lead to the page of their anchor; others stay",
     "<body><h1><a name=\"h1\"></a>A</h1><a href=\"#h2\">B</a><a href='#in'>in</a>"
     "<a href=\"#gone\">?</a><a href=\"b.htm#in\">file</a><a href=\"#a\">here</a><a id=a></a>"
     "<h1><a name=\"h2\"></a>B</h1><p id=in><a href=\"#h1\">A</a>",
     {{"page_1_.htm", PageOf("A",
                             "<h1><a name=\"h1\"></a>A</h1><a href=\"page_2_.htm\">B</a>"
                             "<a href='page_2_.htm#in'>in</a><a href=\"#gone\">?</a>"
                             "<a href=\"b.htm#in\">file</a><a href=\"#a\">here</a><a id=a></a>")},
      {"page_2_.htm",
       PageOf("B", "<h1><a name=\"h2\"></a>B</h1><p id=in><a href=\"page_1_.htm\">A</a>")}}},
    {"an anchor in blank text before the first heading leads to the first page",
     "<body><a name=\"top\"></a><h1>A</h1><h1>B</h1><a href=\"#top\">up</a>",
     {{"page_1_.htm", PageOf("A", "<h1>A</h1>")},
      {"page_2_.htm", PageOf("B", "<h1>B</h1><a href=\"page_1_.htm\">up</a>")}}},
    {"notes go to the end of the citing page in citation order",
     "<body><h1>A</h1><p>t" + Cite2 + Cite1 + "</p><h1>B</h1><p>u</p>" + Note1 + Note2 + "</body>",
     {{"page_1_.htm", PageOf("A", "<h1>A</h1><p>t" + Cite2 + Cite1 + "</p>" + Note2 + Note1)},
      {"page_2_.htm", PageOf("B", "<h1>B</h1><p>u</p></body>")}}},
    {"a note cited on its own page stays; a link to it from elsewhere names that page",
     "<body><h1>A</h1><a href=\"#sdfootnote1sym\">see</a><h1>B</h1><p>u" + Cite1 + "</p>" + Note1,
     {{"page_1_.htm", PageOf("A", "<h1>A</h1><a href=\"page_2_.htm#sdfootnote1sym\">see</a>")},
      {"page_2_.htm", PageOf("B", "<h1>B</h1><p>u" + Cite1 + "</p>" + Note1)}}},
};

TEST(SplitIntoPages, WholeTextLinksAndNotes) {
    for (const WholeCase& c : WholeCases) {
        SCOPED_TRACE(c.name);
        const Split split(c.text);
        ASSERT_EQ(split.result, SplitResult::Done);
        EXPECT_EQ(split.Files(), c.pages.size());
        for (const auto& [name, page] : c.pages) EXPECT_EQ(split.Page(name), page) << name;
        for (int i = 1; i <= split.table.HeaderCount; ++i)
            EXPECT_EQ(PageText(split.table, i, c.text),
                      split.Page(BaseName(split.table.Headers[i].FileName)));
    }
}

// --- Large tables -----------------------------------------------------------------------

TEST(SplitIntoPages, CountersDoNotWrap) {
    const Split split("<body><h1>A</h1>" + RepeatHeadings(256, "h2"));
    ASSERT_EQ(split.result, SplitResult::Done);
    const HeadingTable& table = split.table;
    ASSERT_EQ(table.HeaderCount, 257);
    EXPECT_EQ(table.Headers[256].Number, "1.255. ");
    EXPECT_EQ(table.Headers[257].Number, "1.256. ");
    EXPECT_EQ(BaseName(table.Headers[257].FileName), "page_1_256_.htm");
    EXPECT_EQ(split.Files(), 257u);
}

TEST(SplitIntoPages, FiveHundredHeadingsLastPageRunsToEnd) {
    const std::string text = RepeatHeadings(MaxHeaders, "h1");
    const Split split(text);
    ASSERT_EQ(split.result, SplitResult::Done);
    ASSERT_EQ(split.table.HeaderCount, MaxHeaders);
    EXPECT_EQ(split.table.Headers[MaxHeaders + 1].Position, Pos(text.size() + 1));
    EXPECT_EQ(split.Page("page_500_.htm"), PageOf("x", "<h1>x</h1><p>t</p>\r\n</body></html>\r\n"));
    EXPECT_EQ(split.Files(), std::size_t(MaxHeaders));
}

TEST(SplitIntoPages, HeadingOverLimitWritesNothing) {
    const Split split(RepeatHeadings(MaxHeaders + 1, "h3"));
    EXPECT_EQ(split.result, SplitResult::TooManyHeadings);
    EXPECT_EQ(split.table.HeaderCount, 0);
    EXPECT_EQ(split.Files(), 0u);
    EXPECT_EQ(HeadingLimitMessage(), "Количество заголовков не должно превышать500.");
}

// --- Repeated splits and failures -------------------------------------------------------

TEST(SplitIntoPages, SecondSplitLeavesHigherEntries) {
    TempFolder work;
    HeadingTable table;
    ASSERT_EQ(SplitIntoPages(table, work.Path(), "<body><h1>A</h1><h1>B</h1><h1>C</h1>"),
              SplitResult::Done);
    const std::string text = "<body><h2>Z</h2>";
    ASSERT_EQ(SplitIntoPages(table, work.Path(), text), SplitResult::Done);
    EXPECT_EQ(table.HeaderCount, 1);
    EXPECT_EQ(table.Headers[2].Position, Pos(text.size() + 1));
    EXPECT_EQ(table.Headers[2].Heading, "<h1>B</h1>");
    EXPECT_EQ(table.Headers[3].Heading, "<h1>C</h1>");
}

TEST(SplitIntoPages, UnwritablePageRaisesNamingIt) {
    TempFolder temp;
    PutFile(temp / "file", "");
    HeadingTable table;
    EXPECT_EQ(testing::IoErrorText(
                  [&] { (void)SplitIntoPages(table, temp / "file", "<body><h1>A</h1>"); }),
              "Cannot create file \"" + (temp / "file/page_1_.htm") + "\". Not a directory");
    EXPECT_EQ(table.HeaderCount, 1) << "the table holds the whole scan";
}

TEST(PageText, IndexOutsideTableGivesNothing) {
    HeadingTable table;
    table.HeaderCount = 1;
    table.Headers[1].Position = 1;
    table.Headers[2].Position = 4;
    EXPECT_EQ(PageText(table, 0, "abc"), "");
    EXPECT_EQ(PageText(table, 2, "abc"), "");
    EXPECT_EQ(PageText(table, 1, "abc"), PageOf("", "abc"));
    table.Headers[2].Position = 99;  // a table that does not fit the text stays inside it
    EXPECT_EQ(PageText(table, 1, "abc"), PageOf("", "abc"));
}

}  // namespace
}  // namespace kelmo
