#include <gtest/gtest.h>

#include "LibFunc.h"
#include "TempFolder.h"

namespace kelmo {
namespace {

using testing::FileBytes;
using testing::TempFolder;

const std::string Header =
    "<html><head>\r\n"
    "<meta http-equiv=Content-Type content=\"text/html; charset=windows-1251\">\r\n"
    "<style>\r\n"
    "p  { text-align:justify; text-indent:34pt; font-size: 14pt }\r\n"
    "li { text-align:justify; text-indent:34pt; font-size: 14pt }\r\n"
    "div { text-align:justify; text-indent:34pt; font-size:14pt }\r\n"
    "td { font-size: 14pt }\r\n"
    "</style>\r\n";

TEST(PageHeader, IsTheFixedOpenHead) {
    EXPECT_EQ(PageHeader.size(), 317u);
    EXPECT_EQ(PageHeader, Header);
}

struct CleanCase {
    const char* name;
    std::string html;
    std::string title;
    std::string cleaned;
};

// --- The title and the head -------------------------------------------------------------
const CleanCase TitleCases[] = {
    {"whole export",
     "<html>\r\n<head>\r\n<title>Глава 1</title>\r\n</head>\r\n<body lang=RU>\r\n"
     "<p class=MsoNormal>Текст<o:p></o:p></p>\r\n</body>\r\n</html>\r\n",
     "<title>Глава 1</title>",
     "</head>\r\n<body lang=RU>\r\n<p >Текст</p>\r\n</body>\r\n</html>\r\n"},
    {"no </head> loses nothing", "<title>T</title><p>x</p>", "<title>T</title>",
     "<title>T</title><p>x</p>"},
    {"starts with </head>", "</head><p>x</p>", "</head><", "</head><p>x</p>"},
    {"upper-case title is no title", "<TITLE>x</TITLE></head>b", "<TITLE>x", "</head>b"},
    {"title with attributes is no title", "<title lang=ru>x</title></head>",
     "<title lang=ru>x</title><", "</head>"},
    {"closing tag only", "ab</title></head>", "ab</title><", "</head>"},
    {"opening tag late, no closing", "<head>  <title>x</head>", "", "</head>"},
    {"neither title tag", "0123456789</head>z", "01234567", "</head>z"},
    {"only a head", "<html><head><title>t</title></head>", "<title>t</title>", "</head>"},
    {"empty text", "", "", ""},
};

// --- Word's markup in the body ----------------------------------------------------------
const CleanCase MarkupCases[] = {
    {"span with mso style",
     "</head><p class=MsoNormal style='mso-margin-top-alt:auto'><b><span "
     "style='mso-bidi-font-size:12.0pt'>Text<o:p></o:p></span></b></p>",
     "</head><", "</head><p  ><b><span >Text</span></b></p>"},
    {"list item",
     "</head><p class=MsoNormal style='margin-left:18.0pt;text-indent:-18.0pt;mso-list:l0 level1 "
     "lfo1'><![if !supportLists]><span>1.<span>&nbsp;&nbsp;&nbsp;&nbsp; "
     "</span></span><![endif]>Item<o:p></o:p></p>",
     "</head><",
     "</head><p  style='margin-left:18.0pt;text-indent:-18.0pt;'><span>1.<span>&nbsp;&nbsp; "
     "</span></span>Item</p>"},
    {"longer class name", "</head><table class=MsoNormalTable border=1>", "</head><",
     "</head><table Table border=1>"},
    {"other Word class stays", "</head><p class=MsoTitle>x</p>", "</head><",
     "</head><p class=MsoTitle>x</p>"},
    {"conditional comment with xml",
     "</head><!--[if gte mso 9]><xml>\r\n<w:WordDocument></w:WordDocument>\r\n</xml><![endif]-->"
     "<p>a</p>",
     "</head><", "</head><p>a</p>"},
    {"vml picture switch", "</head><![if !vml]><img src=a.gif><![endif]>", "</head><",
     "</head><img src=a.gif>"},
    {"four nbsp become two", "</head>a&nbsp;&nbsp;&nbsp;&nbsp;b", "</head>a",
     "</head>a&nbsp;&nbsp;b"},
    {"no markers: head cut only", "<html><head><title>t</title></head><p>plain</p>",
     "<title>t</title>", "</head><p>plain</p>"},
};

void CheckClean(const CleanCase& c) {
    SCOPED_TRACE(c.name);
    std::string title = "stale";
    std::string html = c.html;
    CleanWordHtml(title, html);
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(html, c.cleaned);
}

TEST(CleanWordHtml, CutsTitleAndHead) {
    for (const CleanCase& c : TitleCases) CheckClean(c);
}

TEST(CleanWordHtml, RemovesWordMarkup) {
    for (const CleanCase& c : MarkupCases) CheckClean(c);
}

// --- The clean document file ------------------------------------------------------------

TEST(WriteCleanDocument, FileAndTextAreTheSameBytes) {
    TempFolder folder;
    const std::string path = folder / "clear.~ht";
    std::string html = "</head>\r\n<body lang=RU>\r\n</body>\r\n</html>";
    WriteCleanDocument(path, "<title>Глава 1</title>", html);
    EXPECT_EQ(html,
              Header + "<title>Глава 1</title>\r\n</head>\r\n<body lang=RU>\r\n</body>\r\n</html>");
    EXPECT_EQ(FileBytes(path), html) << "nothing appended at the end";
}

TEST(WriteCleanDocument, EmptyTitleLeavesEmptyLine) {
    TempFolder folder;
    std::string html = "</head>";
    WriteCleanDocument(folder / "clear.~ht", "", html);
    EXPECT_EQ(html, Header + "\r\n</head>");
}

TEST(WriteCleanDocument, FailureStillReplacesText) {
    TempFolder folder;
    const std::string path = folder / "gone/clear.~ht";
    std::string html = "</head>";
    EXPECT_EQ(testing::IoErrorText([&] { WriteCleanDocument(path, "<title>t</title>", html); }),
              "Cannot create file \"" + path + "\". No such file or directory");
    EXPECT_EQ(html, Header + "<title>t</title>\r\n</head>");
}

}  // namespace
}  // namespace kelmo
