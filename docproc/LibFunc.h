// Document processing for Kelmo Preview.
//
// Everything here works on one document's HTML held as bytes (windows-1251 in practice,
// never transcoded). Positions and counts are 1-based, as in "position 1 is the first
// byte"; a position of 0 means "none".
//
// Errors: the text operations and primitives are total: they accept any input, never
// throw and never read outside the text. The functions that touch files throw IoError,
// whose text names the file and the system's reason; a writer has succeeded only when it
// returns.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelmo {

// A file could not be read, created or written. what() names the file and the reason;
// Reason() is the reason alone, for callers that word their own message.
class IoError : public std::runtime_error {
  public:
    explicit IoError(const std::string& message, std::string reason = {})
        : std::runtime_error(message), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }

  private:
    std::string reason_;
};

// A 1-based position in a text, or a count of bytes.
using Pos = std::int64_t;

// ---------------------------------------------------------------------------------------
// Text operations

// Position of the first occurrence of pattern that begins at or after start (start 0 or
// less searches the whole text); 0 when there is none or when start is past the last
// place the pattern can begin.
Pos FindFrom(std::string_view pattern, std::string_view text, Pos start);

// Removes count bytes from index on. Nothing happens for index < 1, index past the end,
// or count <= 0; a count past the end is cut at the end.
void DeleteRange(std::string& text, Pos index, Pos count);

// Inserts piece in front of the byte at index; index < 1 inserts at the start, an index
// past the end appends.
void InsertAt(std::string_view piece, std::string& text, Pos index);

// The count bytes from index on. index < 1 is raised to 1 without shortening count;
// empty for index past the end or count <= 0; cut at the end.
std::string CopyRange(std::string_view text, Pos index, Pos count);

// The text without leading and trailing bytes of value 32 or less (bytes >= 128 stay).
std::string TrimBlanks(std::string_view text);

// ---------------------------------------------------------------------------------------
// Removal primitives. Each rewrites text in place and returns how many removals it made.
// After a removal the search goes on at the removal point: an occurrence formed by
// joining the bytes in front of the removal with those behind it is never found.

// Removes every occurrence of literal.
std::int32_t RemoveAll(std::string_view literal, std::string& text);

// Removes every block from opening through the first closing at or after the opening's
// first byte. An opening without a closing after it stays, and the scan ends there.
std::int32_t RemoveBlocks(std::string_view opening, std::string_view closing, std::string& text);

// Removes every tag that begins "<![if" through its ">". One without ">" stays and ends
// the scan.
std::int32_t RemoveConditionalTags(std::string& text);

// Turns each pair "&nbsp;&nbsp;" into one "&nbsp;", going on behind the one that stays:
// a run of n entities keeps (n + 1) / 2 of them.
std::int32_t CollapseDoubleNbsp(std::string& text);

// Removes "mso" declarations that stand inside a tag: from "mso" through the next ";",
// or up to (not including) the next quote, apostrophe, "<" or ">". "mso" in the running
// text outside tags is never touched.
std::int32_t RemoveMsoDeclarations(std::string& text);

// Replaces every oldChar by newChar; returns how many were replaced.
std::int32_t ReplaceChar(char oldChar, char newChar, std::string& text);

// Turns a piece of HTML into one trimmed line: tags removed (a line-break tag leaves a
// blank), entities made their windows-1251 byte or removed (an unclosed "<" or "&" stays,
// and ends its stage), control bytes and runs of blanks made one blank.
void HtmlToPlainText(std::string& text);

// ---------------------------------------------------------------------------------------
// Cleaning Word's HTML export

// The fixed eight-line head (317 bytes, CR LF after each line) that begins the clean
// document and every page. It leaves the head open.
extern const std::string_view PageHeader;

// Cuts the title element into docTitle and removes Word's markup from html in place.
// Never fails.
void CleanWordHtml(std::string& docTitle, std::string& html);

// html := PageHeader + docTitle + CR LF + html, then writes html to fileName byte for
// byte. html is replaced even when writing fails. Throws IoError.
void WriteCleanDocument(const std::string& fileName, const std::string& docTitle,
                        std::string& html);

// ---------------------------------------------------------------------------------------
// Heading table and page split

inline constexpr int MaxHeaders = 500;
// The headings and, in front of them, the page of the text before the first heading.
inline constexpr int MaxPages = MaxHeaders + 1;

// One page of the document: a heading, the text in front of the first heading, or the single
// page of a document without headings.
struct RHeader {
    Pos Position = 0;        // "<" of the heading's start tag (or the body's first byte)
    std::uint8_t Level = 0;  // 1 to 6; 0 for a page that starts at the body's first byte
    std::string Heading;     // the heading element as it stands in the text; for the page in
                             // front of the first heading the document's title element (or
                             // its first words); empty for the single page
    std::string Number;      // "1. ", "1.2. ", ...; empty for a level-0 page
    std::string FileName;    // full path of the page file
    std::vector<int> Notes;  // notes cited on this page and moved to its end, by index into
                             // HeadingTable::Notes, in citation order
};

// A link to an anchor on another page: the bytes of its href value from From on (Count of
// them, the "#name") become Text ("page_2_.htm#name" or "page_2_.htm").
struct LinkEdit {
    Pos From = 0;
    Pos Count = 0;
    std::string Text;
};

// A footnote or endnote text (its whole element, From up to, not including, To) that leaves
// its place for the end of the page that cites it.
struct MovedNote {
    Pos From = 0;
    Pos To = 0;
};

// The result of the last split. Entries 1 to HeaderCount describe the pages in document
// order; Headers[HeaderCount + 1].Position is the end mark (text length + 1). Entries
// above are left from earlier splits and never read. Edits (by position) and Notes (by
// position) say how the pages differ from plain cuts of the text. The caller owns the table.
struct HeadingTable {
    std::array<RHeader, MaxPages + 2> Headers{};
    int HeaderCount = 0;
    std::vector<LinkEdit> Edits;
    std::vector<MovedNote> Notes;
};

enum class SplitResult {
    Done,
    TooManyHeadings,  // a 501st heading: nothing of this split was written
};

// Scans html for h1..h6 headings, fills table and writes one page file per entry into
// workDir. Each heading is numbered by its place in the tree of headings (a heading goes
// under the nearest earlier one of a lower level), so no two headings share a number:
// h1, h3, h2 give "1.", "1.1.", "1.2.". Anything the body shows in front of the first
// heading (text, a table, a picture) becomes the first page, page_0.htm, of level 0. Links
// to an anchor on another page name that page ("page_2_.htm#_Toc1", or the page alone when
// the anchor opens its heading); a footnote's or endnote's text moves to the end of the page
// that first cites it. Returns TooManyHeadings, having written nothing and left HeaderCount
// 0, when there are more than MaxHeaders. A page name met again in one split gets "-2",
// "-3", ... ("page_1_-2.htm"). Throws IoError when a page cannot be written (pages before
// it stay).
[[nodiscard]] SplitResult SplitIntoPages(HeadingTable& table, const std::string& workDir,
                                         std::string_view html);

// The message for TooManyHeadings (UTF-8).
std::string HeadingLimitMessage();

// The bytes of the page of entry index (1 to HeaderCount), links and notes as written.
std::string PageText(const HeadingTable& table, int index, std::string_view html);

// Writes the page of entry index to its FileName. Throws IoError.
void WritePage(const HeadingTable& table, int index, std::string_view html);

// ---------------------------------------------------------------------------------------
// Outline files

// The contents of "Titles.txt" and "Names.txt": one line per entry, tab-indented by level,
// CR LF after every line.
struct Outline {
    std::string Titles;
    std::string Names;
};

// Section numbers in front of the outline titles. On puts each entry's Number in front of
// its title, Off none; Auto none when most headings begin with a number of their own
// (HasOwnNumbers), else every title but those that begin with their own.
enum class Numbering { Auto, On, Off };

// True when a plain title begins with a section number of its own: up to two letters glued
// to digits, maybe more groups after dots ("2", "1.1", "4.1.1.", "П1."), an optional closing
// "." or ")", then a blank or the end ("2. Общие", "1.1 Цели", "3) Итоги"; not "3D-модели").
bool StartsWithOwnNumber(std::string_view title);

// True when more than half of the split's headings begin with a number of their own.
bool HasOwnNumbers(const HeadingTable& table);

// Whether the split's outline carries section numbers under choice (for Auto: the
// document's headings do not carry most of their own).
bool UsesNumbers(const HeadingTable& table, Numbering choice);

// The section number the outline puts in front of entry's plain title: entry.Number when
// numbers (UsesNumbers) are on and, under Auto, the title has no number of its own; else "".
std::string_view OutlineNumber(const RHeader& entry, std::string_view plainTitle, bool numbers,
                               Numbering numbering);

// The outline of the last split.
Outline MakeOutline(const HeadingTable& table, Numbering numbering);

// Writes workDir/Names.txt and workDir/Titles.txt. Throws IoError.
void WriteOutline(const HeadingTable& table, const std::string& workDir, Numbering numbering);

// ---------------------------------------------------------------------------------------
// Author's check: what will go wrong on the pages of the last split. It reads the cleaned
// text, the heading table and the work folder's file list and changes nothing. Total,
// never throws (except std::bad_alloc), linear in the text.

enum class Severity { Error, Warning, Note };

// One thing the author should fix in the word processor.
struct Finding {
    std::string Kind;  // stable key: "level-jump", "empty-heading", ...
    Severity Level = Severity::Note;
    int Page = 0;         // 1-based line of the outline; 0 for none
    std::string Where;    // the page as the outline names it ("3.2. Название"), UTF-8
    std::string Message;  // what will happen and what to do, one Russian sentence, UTF-8
    // In a course, the title of the material it concerns, UTF-8.
    std::string Material = {};
};

// One file of the work folder: its path below the folder with "/" separators, and its size.
struct WorkFile {
    std::string Name;
    std::uint64_t Size = 0;
};

struct CheckLimits {
    Pos PageText = 60000;                     // characters of text on one page
    std::uint64_t PagePictures = 5ull << 20;  // bytes of pictures on one page
    Pos TitleBlock = 200;                     // text before the first heading taken for
                                              // the course's name and not reported
};

// The findings for a split of html (the cleaned text the split was given) into table:
// errors first, then warnings, then notes, each group in page order, each page named as the
// outline made with numbering names it. A split refused for too many headings (HeaderCount
// 0) gives the heading-limit finding.
std::vector<Finding> CheckDocument(const HeadingTable& table, std::string_view html,
                                   const std::vector<WorkFile>& files,
                                   const CheckLimits& limits = {},
                                   Numbering numbering = Numbering::Auto);

// Every file below workDir, symbolic links not followed; empty when it cannot be read.
std::vector<WorkFile> ListWorkFiles(const std::string& workDir);

// "ошибка", "предупреждение", "замечание".
std::string SeverityWord(Severity level);
// "error", "warning", "note".
std::string SeverityKey(Severity level);
// The finding as one line: Where + ": " + Message, or Message alone without a page; in a
// course the material's title and " — " in front.
std::string FindingText(const Finding& finding);
// "Проверка: 2 ошибки, 5 предупреждений", Russian plural forms.
std::string CheckSummary(const std::vector<Finding>& findings);

// windows-1251 bytes as UTF-8.
std::string Windows1251ToUtf8(std::string_view text);

// ---------------------------------------------------------------------------------------
// The bytes half of the road: from the converter's export to pages, outline and check

// The stages of MakePages, in the order they are reached.
enum class PagesStage { Cleaned, Split, Checked };

struct PagesOptions {
    Numbering Numbers = Numbering::Auto;  // section numbers in the outline titles
    bool Check = true;                    // the author's check after the split
    CheckLimits Limits;
};

// What MakePages made. Findings are empty when the check was not asked for.
struct Pages {
    std::string DocTitle;
    std::string Html;  // the clean document as written, the text the split was given
    std::unique_ptr<HeadingTable> Table = std::make_unique<HeadingTable>();
    SplitResult Split = SplitResult::Done;
    std::vector<Finding> Findings;
};

// Cleans html (the export), writes the clean document (work::Clean), the pages and the
// outline into workDir, and checks them; a split refused for too many headings writes no
// outline and still gets its check. stageReached is called after each stage (Split only
// when pages were made); an exception it throws stops the road there. Throws IoError.
Pages MakePages(const std::string& workDir, std::string html, const PagesOptions& options = {},
                const std::function<void(PagesStage)>& stageReached = {});

// ---------------------------------------------------------------------------------------
// File helpers

// workDir + the native separator + name.
std::string JoinPath(const std::string& folder, std::string_view name);

// Reads a whole file; every line end (CR, LF or CR LF) becomes CR LF, the last line gets
// one too, and the text stops at the first 0 byte. Throws IoError
// "Cannot open file "<path>". <reason>".
std::string LoadTextFile(const std::string& fileName);

// The bytes of a whole file, unchanged. Throws IoError "Cannot open file "<path>". <reason>"
// (also for a folder) or "Cannot read file ...".
std::string ReadWholeFile(const std::string& fileName);

// Reads the file open on fd from its offset to its end onto the end of bytes, growing the
// buffer once to the file's size, so a file begun elsewhere is read on without a second
// copy. fileName names it in errors; fd stays open. Throws IoError "Cannot read file ...".
void ReadRestOfFile(int fd, const std::string& fileName, std::string& bytes);

// Writes bytes to fileName. A new file is created; a regular file with no other name is
// written over in place and cut to length; a file that has another name too (a hard link)
// is replaced by a new file that takes its name, so the other name keeps its bytes. A
// symbolic link, a FIFO, a folder or any other non-regular file at fileName is refused and
// left as it is. A file the write created goes again when the write fails. Throws IoError
// "Cannot create file "<path>". <reason>" or "Cannot write file ...".
void WriteWholeFile(const std::string& fileName, std::string_view bytes);

// Copies the folders and regular files below source into target (made when missing),
// skipping links and other special files, each file written as WriteWholeFile does. A
// target that is source or lies inside it is refused before anything is written; a link
// or a non-folder where a folder of the copy goes is an error. Throws IoError.
void CopyFolder(const std::string& source, const std::string& target);

// Deletes folder and everything in it without following a symbolic link out of it.
// True when the folder is gone.
bool DeleteFolder(const std::string& folder);

// The pages as one document for printing: the first page's head, then the body of each
// page in the order given, each after the first starting on a new sheet.
std::string JoinPages(const std::vector<std::string>& pages);

// Search across the pages of a document or course: each page's visible text (the body
// without tags, references decoded, letters folded to lower case in windows-1251, "ё" as
// "е", blanks run together) is kept once per load, so a query is one pass over the texts.
class SearchIndex {
  public:
    struct Hit {
        int Page = 0;   // 0-based, in the order the pages were added
        int Count = 0;  // occurrences on that page
    };

    // Adds a page's HTML (windows-1251 bytes).
    void AddPage(std::string_view html);
    int PageCount() const { return int(texts_.size()); }
    // The pages where query occurs, in page order; none for a query of blanks only.
    std::vector<Hit> Find(std::string_view query) const;

  private:
    std::vector<std::string> texts_;
};

}  // namespace kelmo
