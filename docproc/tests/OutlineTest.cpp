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

struct Entry {
    int level;
    std::string number;
    std::string heading;
    std::string fileName;
};

HeadingTable TableOf(const std::vector<Entry>& entries) {
    HeadingTable table;
    for (const Entry& e : entries) {
        RHeader& h = table.Headers[++table.HeaderCount];
        h.Level = static_cast<std::uint8_t>(e.level);
        h.Number = e.number;
        h.Heading = e.heading;
        h.FileName = e.fileName;
    }
    return table;
}

struct OutlineCase {
    const char* name;
    std::vector<Entry> entries;
    Numbering numbering;
    std::string titles;
    std::string names;
};

const OutlineCase OutlineCases[] = {
    {"worked example, numbered",
     {{1, "1. ", "<h1>Введение</h1>", "/w/S/page_1_.htm"},
      {2, "1.1. ", "<h2>Цели</h2>", "/w/S/page_1_1_.htm"}},
     Numbering::On,
     "1. Введение\r\n\t1.1. Цели\r\n",
     "page_1_.htm\r\n\tpage_1_1_.htm\r\n"},
    {"worked example, plain",
     {{1, "1. ", "<h1>Введение</h1>", "/w/S/page_1_.htm"},
      {2, "1.1. ", "<h2>Цели</h2>", "/w/S/page_1_1_.htm"}},
     Numbering::Off,
     "Введение\r\n\tЦели\r\n",
     "page_1_.htm\r\n\tpage_1_1_.htm\r\n"},
    {"single page of a text without headings",
     {{0, "", "", "/w/S/page_0.htm"}},
     Numbering::On,
     "\r\n",
     "page_0.htm\r\n"},
    {"empty table", {}, Numbering::On, "", ""},
    {"headings start at h2",
     {{2, "1. ", "<h2>A</h2>", "S/page_1_.htm"}},
     Numbering::On,
     "\t1. A\r\n",
     "\tpage_1_.htm\r\n"},
    {"skipped level and deepest level",
     {{1, "1. ", "<h1>A</h1>", "page_1_.htm"},
      {3, "1.1. ", "<h3>B</h3>", "page_1_1_.htm"},
      {6, "1.1.1. ", "<h6>C</h6>", "page_1_1_1_.htm"}},
     Numbering::On,
     "1. A\r\n\t\t1.1. B\r\n\t\t\t\t\t1.1.1. C\r\n",
     "page_1_.htm\r\n\t\tpage_1_1_.htm\r\n\t\t\t\t\tpage_1_1_1_.htm\r\n"},
    {"heading of only a picture, plain",
     {{2, "1. ", "<h2><img src=\"a.gif\"></h2>", "/w/page_1_.htm"}},
     Numbering::Off,
     "\t\r\n",
     "\tpage_1_.htm\r\n"},
    {"markup, entities and line breaks in a heading",
     {{1, "1. ", "<h1 class=x>Глава&nbsp;1.\r\nВведение</h1>", "/w/page_1_.htm"}},
     Numbering::On,
     "1. Глава 1. Введение\r\n",
     "page_1_.htm\r\n"},
    {"line feed, tab and break tag become single blanks, entities characters",
     {{1, "1. ", "<h1>A\nB</h1>", "/w/page_1_.htm"},
      {2, "1.1. ", "<h2>1.1\tR&amp;D<br>&laquo;Основы&raquo;</h2>", "/w/page_1_1_.htm"}},
     Numbering::On,
     "1. A B\r\n\t1.1. 1.1 R&D \xAB"
     "Основы\xBB\r\n",
     "page_1_.htm\r\n\tpage_1_1_.htm\r\n"},
    {"automatic: a title with its own number gets none of ours",
     {{1, "1. ", "<h1>1) A</h1>", "page_1_.htm"},
      {1, "2. ", "<h1>B</h1>", "page_2_.htm"},
      {1, "3. ", "<h1>C</h1>", "page_3_.htm"}},
     Numbering::Auto,
     "1) A\r\n2. B\r\n3. C\r\n",
     "page_1_.htm\r\npage_2_.htm\r\npage_3_.htm\r\n"},
    {"equal page files give equal name lines",
     {{1, "1. ", "<h1>A</h1>", "/w/page_1_.htm"}, {1, "1. ", "<h1>B</h1>", "/w/page_1_.htm"}},
     Numbering::On,
     "1. A\r\n1. B\r\n",
     "page_1_.htm\r\npage_1_.htm\r\n"},
};

TEST(MakeOutline, TitlesAndNamesLineByLine) {
    for (const OutlineCase& c : OutlineCases) {
        SCOPED_TRACE(c.name);
        const HeadingTable table = TableOf(c.entries);
        const Outline outline = MakeOutline(table, c.numbering);
        EXPECT_EQ(outline.Titles, c.titles);
        EXPECT_EQ(outline.Names, c.names);
        EXPECT_EQ(table.Headers[1].Heading, c.entries.empty() ? "" : c.entries[0].heading)
            << "the table is not changed";
    }
}

// --- Numbers of the document's own ---------------------------------------------------------

TEST(HasOwnNumbers, MoreThanHalfOfTheHeadingsBeginWithANumber) {
    struct Row {
        const char* name;
        std::vector<std::string> titles;
        bool own;
    } rows[] = {
        {"list labels and typed numbers", {"1 Общие", "1.1. Цели", "4.1.1 x", "Итоги"}, true},
        {"closing bracket, a number alone", {"1) A", "2"}, true},
        {"half is not most", {"1. A", "B"}, false},
        {"letters glued in front: appendix labels", {"\xCF" "1. x", "B2", "A.1"}, true},
        {"digits glued to a word, three letters in front",
         {"3D-модели", "2020год", "1.x", "ABC1 x"},
         false},
        {"no headings", {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HeadingTable table = TableOf({{0, "", "<title>1 Title</title>", "page_0.htm"}});
        for (const std::string& title : row.titles)
            table.Headers[++table.HeaderCount] = {1, 1, "<h1>" + title + "</h1>", "1. ", "p", {}};
        EXPECT_EQ(HasOwnNumbers(table), row.own);
        EXPECT_EQ(UsesNumbers(table, Numbering::Auto), !row.own);
    }
}

// --- Files ------------------------------------------------------------------------------

TEST(WriteOutline, WritesBothFilesByteForByte) {
    TempFolder work;
    HeadingTable table;
    ASSERT_EQ(SplitIntoPages(table, work.Path(), "<body><h2>Цели</h2><h1>Итоги</h1>"),
              SplitResult::Done);
    WriteOutline(table, work.Path(), Numbering::On);
    EXPECT_EQ(FileBytes(work / "Titles.txt"), "\t1. Цели\r\n2. Итоги\r\n");
    EXPECT_EQ(FileBytes(work / "Names.txt"), "\tpage_1_.htm\r\npage_2_.htm\r\n");
}

TEST(WriteOutline, EmptyTableGivesTwoEmptyFiles) {
    TempFolder work;
    PutFile(work / "Titles.txt", "stale");
    WriteOutline(HeadingTable{}, work.Path(), Numbering::On);
    EXPECT_EQ(FileBytes(work / "Titles.txt"), "");
    EXPECT_TRUE(std::filesystem::exists(work / "Names.txt"));
    EXPECT_EQ(FileBytes(work / "Names.txt"), "");
}

TEST(WriteOutline, MissingFolderRaisesNamingFile) {
    TempFolder temp;
    EXPECT_EQ(
        testing::IoErrorText([&] { WriteOutline(HeadingTable{}, temp / "gone", Numbering::Off); }),
        "Cannot create file \"" + (temp / "gone/Names.txt") + "\". No such file or directory");
}

}  // namespace
}  // namespace kelmo
