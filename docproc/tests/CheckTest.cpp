#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LibFunc.h"
#include "TempFolder.h"

namespace kelmo {
namespace {

using testing::PutFile;
using testing::TempFolder;
namespace fs = std::filesystem;

struct Found {
    std::string Kind;
    Severity Level;
    int Page;
    bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os) {
    *os << f.Kind << '/' << SeverityKey(f.Level) << '/' << f.Page;
}

std::vector<Found> Kinds(const std::vector<Finding>& findings) {
    std::vector<Found> kinds;
    for (const Finding& f : findings) kinds.push_back({f.Kind, f.Level, f.Page});
    return kinds;
}

// The findings for a body split in a fresh folder.
std::vector<Finding> CheckBody(const std::string& body, const std::vector<WorkFile>& files = {},
                               const CheckLimits& limits = {},
                               Numbering numbering = Numbering::Auto) {
    const TempFolder work;
    const std::string html = "<html><head></head><body lang=RU><div>" + body + "</div></body>";
    HeadingTable table;
    (void)SplitIntoPages(table, work.Path(), html);
    return CheckDocument(table, html, files, limits, numbering);
}

std::string Headings(int count) {
    std::string body;
    for (int i = 0; i < count; ++i) body += "<h1>T" + std::to_string(i) + "</h1><p>t</p>";
    return body;
}

const std::string Text = "<p>plain text</p>";
const std::string Long(250, 'x');

struct Row {
    const char* Name;
    std::string Body;
    std::vector<WorkFile> Files;
    std::vector<Found> Expected;
    CheckLimits Limits{};
};

const Severity E = Severity::Error;
const Severity W = Severity::Warning;
const Severity N = Severity::Note;

// One small document per kind, with the look-alikes that must stay silent.
const std::vector<Row> Rows = {
    // Heading levels
    {"h1 then h3", "<h1>A</h1>" + Text + "<h3>B</h3>" + Text, {}, {{"level-jump", E, 2}}},
    {"all headings h2 and below",
     "<h2>A</h2>" + Text + "<h3>B</h3>" + Text,
     {},
     {{"level-start", N, 1}}},
    {"first heading h3 over a later h2",
     "<h3>A</h3>" + Text + "<h2>B</h2>" + Text,
     {},
     {{"level-jump", E, 1}}},
    {"h3 back to h1",
     "<h1>A</h1>" + Text + "<h2>B</h2>" + Text + "<h3>C</h3>" + Text + "<h1>D</h1>" + Text,
     {},
     {}},
    {"h2 then h1", "<h2>A</h2>" + Text + "<h1>B</h1>" + Text, {}, {{"level-jump", E, 1}}},
    {"no heading at all", Text, {}, {{"no-headings", E, 1}}},
    {"empty heading",
     "<h1>A</h1>" + Text + "<h1><a name=x></a>&nbsp;</h1>" + Text,
     {},
     {{"empty-heading", E, 2}}},
    {"heading closed inside the next", "<h1>A</h<h1>B</h1>" + Text, {}, {{"empty-page", W, 1}}},
    {"empty heading over nothing",
     "<h1>A</h1>" + Text + "<h1></h1><h1>B</h1>" + Text,
     {},
     {{"empty-heading", E, 2}}},
    {"same title, same parent",
     "<h1>A</h1>" + Text + "<h2>B</h2>" + Text + "<h2>B</h2>" + Text,
     {},
     {{"duplicate-title", W, 3}}},
    {"same title, other parent",
     "<h1>A</h1>" + Text + "<h2>B</h2>" + Text + "<h1>C</h1>" + Text + "<h2>B</h2>" + Text,
     {},
     {}},
    {"451 headings", Headings(451), {}, {{"heading-limit", W, 0}}},
    {"501 headings", Headings(501), {}, {{"heading-limit", E, 0}}},
    // Text before the first heading: a page of its own
    {"text before the first heading",
     "<p>" + Long + "</p><h1>A</h1>" + Text,
     {},
     {{"text-before-first-heading", N, 1}}},
    {"picture before the first heading",
     "<p><img src=a.png></p><h1>A</h1>" + Text,
     {{"a.png", 9}},
     {{"text-before-first-heading", N, 1}}},
    {"short title before the first heading",
     "<p><b>COURSE</b></p><p>for students</p><h1>A</h1>" + Text,
     {},
     {}},
    {"text before an h2",
     "<p>" + Long + "</p><h2>A</h2>" + Text,
     {},
     {{"text-before-first-heading", N, 1}, {"level-start", N, 2}}},
    // Pages
    {"empty leaf page",
     "<h1>A</h1>" + Text + "<h2>B</h2><p>&nbsp;</p><h2>C</h2>" + Text,
     {},
     {{"empty-page", W, 2}}},
    {"a letter after an entity", "<h1>A</h1>" + Text + "<h2>B</h2><p>&nbsp;x</p>", {}, {}},
    {"chapter page over its sections", "<h1>A</h1><h2>B</h2>" + Text, {}, {}},
    {"page with only a picture", "<h1>A</h1><p><img src=p.png></p>", {{"p.png", 9}}, {}},
    {"text over the limit",
     "<h1>A</h1><p>" + Long + "</p>",
     {},
     {{"large-page", W, 1}},
     CheckLimits{200, 5u << 20, 200}},
    {"pictures over the limit",
     "<h1>A</h1><p><img src=p.png><img src=p.png><img src=q.png></p>",
     {{"p.png", 3u << 20}, {"q.png", 3u << 20}},
     {{"large-page", W, 1}}},
    {"one picture twice under the limit",
     "<h1>A</h1><p><img src=p.png><img src=p.png></p>",
     {{"p.png", 3u << 20}},
     {}},
    // Paragraphs that look like headings
    {"bold line then text",
     "<h1>A</h1>" + Text + "<p><b>Summary</b></p>\r\n" + Text,
     {},
     {{"fake-heading", N, 1}}},
    {"capitals then text",
     "<h1>A</h1>" + Text + "<p>RESULTS</p>" + Text,
     {},
     {{"fake-heading", N, 1}}},
    {"bold sentence with a period", "<h1>A</h1><p><b>Note this.</b></p>" + Text, {}, {}},
    {"bold line then a table",
     "<h1>A</h1><p><b>Table 1</b></p><table><tr><td>x</td></tr></table>",
     {},
     {}},
    {"bold cell in a table",
     "<h1>A</h1><table><tr><td><p><b>Unit</b></p><p>byte</p></td></tr>"
     "</table>",
     {},
     {}},
    {"code sample then text",
     "<h1>A</h1><p><font face=\"Courier New, monospace\">RUN</font></p>" + Text + "<pre>" +
         "<p>END</p>" + Text + "</pre><p><code>MAIN</code></p>" + Text,
     {},
     {}},
    {"own table of contents",
     "<h1>A</h1><p><a href=#_Toc1>A</a></p><p><a href=#_Toc2>B</a></p><p><a href=#_Toc3>C</a>"
     "</p>" +
         Text + "<h1><a name=_Toc2></a>B</h1>" + Text,
     {},
     {{"own-contents", W, 1}}},
    {"one link to a heading's bookmark",
     "<h1>A</h1><p><a href=#_Toc9>B</a></p>" + Text + "<h1><a name=_Toc2></a>B</h1>" + Text,
     {},
     {{"link-broken", E, 1}}},
    {"blanks to fill in", "<h1>A</h1><p>______ (\xD4.\xC8.\xCE. ______)</p>" + Text, {}, {}},
    {"bold line then bold line", "<h1>A</h1><p><b>One</b></p><p><b>Two</b></p>", {}, {}},
    // Links and notes
    {"link to another page",
     "<h1>A</h1><p><a href=\"#x\">see</a></p><h1>B</h1><p><a name=x></a>t</p>",
     {},
     {}},
    {"link to a bookmark later on its page",
     "<h1>A</h1><p><a href=\"#x\">see</a><a id=\"x\">t</a></p>",
     {},
     {}},
    {"bare # link", "<h1>A</h1><p><a href=\"#\">up</a><a href=#>up</a></p>", {}, {}},
    {"#top without such a bookmark", "<h1>A</h1><p><a href=\"#Top\">up</a></p>", {}, {}},
    {"#top to a bookmark on another page",
     "<h1>A</h1><p><a href=\"#top\">up</a></p><h1>B</h1><p><a name=top></a>t</p>",
     {},
     {}},
    {"empty href", "<h1>A</h1><p><a href=\"\">self</a><a href=\"\" name=\"\">x</a></p>", {}, {}},
    {"link to no bookmark",
     "<h1>A</h1><p><a href='#gone'>see</a><a href='#gone'>x</a></p>",
     {},
     {{"link-broken", E, 1}}},
    {"contents before the first heading",
     "<p><a href=\"#gone\">1</a></p><h1>A</h1>" + Text,
     {},
     {{"link-broken", E, 1}}},
    {"Word footnote moved to its page",
     "<h1>A</h1><p>t<a href=\"#_ftn1\" name=\"_ftnref1\">[1]</a></p><h1>B</h1>" + Text +
         "<div id=ftn1><p><a href=\"#_ftnref1\" name=\"_ftn1\">[1]</a> note</p></div>",
     {},
     {}},
    {"footnote on its own page",
     "<h1>A</h1><p>t<a href=\"#sdfootnote1sym\" name=\"sdfootnote1anc\">1</a></p>"
     "<p><a href=\"#sdfootnote1anc\" name=\"sdfootnote1sym\">1</a> note</p>",
     {},
     {}},
    // Pictures
    {"picture not in the folder",
     "<h1>A</h1><p><img src=\"a.files/p.png\"></p>",
     {},
     {{"picture-missing", E, 1}}},
    {"picture found by its written path",
     "<h1>A</h1><p><img src=\"./a%20b.files\\p.png\"></p>",
     {{"a b.files/p.png", 9}},
     {}},
    {"WMF picture",
     "<h1>A</h1><p><img src=\"a.files/p.WMF\"></p>",
     {{"a.files/p.WMF", 9}},
     {{"picture-unsupported", E, 1}}},
    {"embedded TIFF",
     "<h1>A</h1><p><img src=\"data:image/tiff;base64,AAAA\"></p>",
     {},
     {{"picture-unsupported", E, 1}}},
    {"embedded PNG", "<h1>A</h1><p><img src=\"data:image/png;base64,AAAA\"></p>", {}, {}},
};

TEST(CheckDocument, FindsEachKindOnItsOwnDocument) {
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(Kinds(CheckBody(row.Body, row.Files, row.Limits)), row.Expected);
    }
}

TEST(CheckDocument, ErrorsComeFirstAndNameTheirPage) {
    const auto findings =
        CheckBody("<h1>A</h1><p><b>Summary</b></p>" + Text + "<h1>B</h1><p></p><h3>C</h3>" + Text);
    ASSERT_EQ(Kinds(findings), (std::vector<Found>{{"level-jump", E, 3}, {"fake-heading", N, 1}}));
    EXPECT_EQ(findings[0].Where, "2.1. C");
    EXPECT_EQ(FindingText(findings[1]).rfind("1. A: абзац «Summary»", 0), 0u);
}

TEST(CheckDocument, NamesThePageAsTheOutlineDoes) {
    // The headings carry their own numbers: automatic numbering adds none of ours.
    const std::string body =
        "<h1>1 A</h1>" + Text + "<h1>2 B</h1>" + Text + "<h3>2.1 C</h3>" + Text;
    const struct {
        Numbering Choice;
        std::string Where;
    } rows[] = {
        {Numbering::Auto, "2.1 C"}, {Numbering::On, "2.1. 2.1 C"}, {Numbering::Off, "2.1 C"}};
    for (const auto& row : rows) {
        const auto findings = CheckBody(body, {}, {}, row.Choice);
        ASSERT_FALSE(findings.empty());
        EXPECT_EQ(findings[0].Where, row.Where);
    }
}

TEST(CheckDocument, QuotesTextBeforeTheFirstHeadingInUtf8) {
    const auto findings =
        CheckBody("<p>\xCF\xF0\xE8\xEC\xE5\xF0 " + Long + "</p><h1>A</h1>" + Text);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_NE(findings[0].Message.find("(257 знаков: «Пример xxx"), std::string::npos)
        << findings[0].Message;
}

TEST(CheckDocument, CleanSampleCourseHasNoFindings) {
    const TempFolder work;
    fs::copy(KELMO_EXAMPLES "/course.files", work / "course.files");
    std::string html = LoadTextFile(KELMO_EXAMPLES "/course.htm");
    std::string title;
    CleanWordHtml(title, html);
    WriteCleanDocument(work / "clear.~ht", title, html);
    HeadingTable table;
    ASSERT_EQ(SplitIntoPages(table, work.Path(), html), SplitResult::Done);
    for (const Finding& finding : CheckDocument(table, html, ListWorkFiles(work.Path())))
        ADD_FAILURE() << finding.Kind << ": " << FindingText(finding);
}

TEST(SearchIndex, CountsHitsPerPageOfA500PageCourse) {
    // Page i says "page i"; every tenth also has "Ёлка" and "ёл<b></b>ка".
    std::string body;
    for (int i = 1; i <= 500; ++i) {
        body += "<h1>T" + std::to_string(i) + "</h1><p>page&nbsp;" + std::to_string(i) + "</p>";
        if (i % 10 == 0) body += "<p>\xA8\xEB\xEA\xE0 \xB8\xEB<b></b>\xEA\xE0</p>";
    }
    const TempFolder work;
    const std::string html = "<html><head><title>Tree</title></head><body>" + body + "</body>";
    HeadingTable table;
    ASSERT_EQ(SplitIntoPages(table, work.Path(), html), SplitResult::Done);
    SearchIndex index;
    for (int i = 1; i <= table.HeaderCount; ++i)
        index.AddPage(ReadWholeFile(table.Headers[i].FileName));
    ASSERT_EQ(index.PageCount(), 500);

    const auto fir = index.Find("\xC5\xCB\xCA\xC0");  // "ЕЛКА"
    ASSERT_EQ(fir.size(), 50u);
    EXPECT_EQ(fir.front().Page, 9);
    EXPECT_EQ(fir.back().Page, 499);
    EXPECT_EQ(fir.back().Count, 2);
    std::vector<int> pages;
    for (const auto& hit : index.Find(" page  7")) pages.push_back(hit.Page);
    EXPECT_EQ(pages, (std::vector<int>{6, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78}));
    // The page's <title> in its head is not counted, its heading is.
    const auto last = index.Find("t500");
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].Page, 499);
    EXPECT_EQ(last[0].Count, 1);
    EXPECT_TRUE(index.Find("  ").empty());
}

TEST(ListWorkFiles, NamesFilesBelowTheFolderAndSkipsLinks) {
    const TempFolder work;
    fs::create_directories(work / "a.files");
    PutFile(work / "a.files/p.png", "12345");
    fs::create_symlink(work / "a.files/p.png", work / "link.png");
    const auto files = ListWorkFiles(work.Path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].Name, "a.files/p.png");
    EXPECT_EQ(files[0].Size, 5u);
}

TEST(CheckSummary, RussianPluralForms) {
    struct Case {
        int Errors, Warnings;
        const char* Expected;
    };
    const Case cases[] = {
        {0, 0, "Проверка: 0 ошибок, 0 предупреждений"},
        {1, 1, "Проверка: 1 ошибка, 1 предупреждение"},
        {2, 4, "Проверка: 2 ошибки, 4 предупреждения"},
        {5, 11, "Проверка: 5 ошибок, 11 предупреждений"},
        {12, 14, "Проверка: 12 ошибок, 14 предупреждений"},
        {21, 22, "Проверка: 21 ошибка, 22 предупреждения"},
        {111, 101, "Проверка: 111 ошибок, 101 предупреждение"},
    };
    for (const Case& c : cases) {
        std::vector<Finding> findings(std::size_t(c.Errors),
                                      Finding{"x", Severity::Error, 0, "", ""});
        findings.resize(std::size_t(c.Errors + c.Warnings),
                        Finding{"x", Severity::Warning, 0, "", ""});
        findings.push_back({"x", Severity::Note, 0, "", ""});
        EXPECT_EQ(CheckSummary(findings), c.Expected);
    }
}

TEST(Windows1251ToUtf8, DecodesEveryRange) {
    EXPECT_EQ(Windows1251ToUtf8("a\xC0\xFF\xA8\xB8\xB9\x85\x98"), "aАяЁё№…\uFFFD");
}

}  // namespace
}  // namespace kelmo
