#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "CheckScan.h"
#include "FileIo.h"
#include "LibFunc.h"
#include "PageLinks.h"

namespace kelmo {
namespace {

constexpr std::string_view PageFooter = "</div></body></html>";

// The level of a heading start "<hN" at position p, or 0 when "<h" starts no heading.
int HeadingLevelAt(std::string_view html, Pos p) {
    const Pos digit = p + 2;  // 1-based position of the byte after "<h"
    if (digit > static_cast<Pos>(html.size())) return 0;
    const char c = html[static_cast<std::size_t>(digit - 1)];
    return c >= '1' && c <= '6' ? c - '0' : 0;
}

// Numbers headings by their place in the tree of headings: a heading goes under the nearest
// earlier one of a lower level and takes the next number among its siblings. Plain
// counters: a 256th heading under one parent is numbered 256, not 0.
class Numberer {
  public:
    std::string Next(int level) {
        while (!open_.empty() && open_.back().Level >= level) open_.pop_back();
        long& siblings = open_.empty() ? topLevel_ : open_.back().Children;
        std::string number = open_.empty() ? std::string() : open_.back().Number;
        number.append(std::to_string(++siblings)).append(1, '.');
        open_.push_back({level, number, 0});
        return number + ' ';
    }

  private:
    struct Open {
        int Level;
        std::string Number;
        long Children;
    };
    std::vector<Open> open_;  // the headings the next one may go under, outermost first
    long topLevel_ = 0;
};

// "1.2. " gives "1_2_".
std::string FileNumber(std::string number) {
    ReplaceChar('.', '_', number);
    number.pop_back();
    return number;
}

std::string PageName(const std::string& workDir, const std::string& fileNumber) {
    return JoinPath(workDir, "page_" + fileNumber + ".htm");
}

struct ScanResult {
    int count = 0;
    bool tooMany = false;
};

// Fills entries 1.. with the headings of html; stops at a heading over MaxHeaders.
ScanResult ScanHeadings(HeadingTable& table, const std::string& workDir, std::string_view html,
                        Pos searchStart) {
    ScanResult result;
    Numberer numberer;
    for (;;) {
        const Pos p = FindFrom("<h", html, searchStart);
        if (p == 0) break;
        const int level = HeadingLevelAt(html, p);
        if (level == 0) {
            searchStart = p + 2;
            continue;
        }
        if (result.count == MaxHeaders) {
            result.tooMany = true;
            break;
        }
        RHeader& entry = table.Headers[++result.count];
        entry.Position = p;
        entry.Level = static_cast<std::uint8_t>(level);
        entry.Number = numberer.Next(level);
        entry.FileName = PageName(workDir, FileNumber(entry.Number));

        const Pos close = FindFrom("</h", html, p);
        if (close == 0) {
            // No closing tag anywhere after it: the heading takes the rest of the text.
            entry.Heading = CopyRange(html, p, static_cast<Pos>(html.size()) - p + 1);
            break;
        }
        entry.Heading = CopyRange(html, p, close - p + 5);
        searchStart = close;
    }
    return result;
}

// The single page of a text without headings: the body after its start tag (empty when
// the start tag never closes).
void SetWholeBodyPage(HeadingTable& table, const std::string& workDir, std::string_view html,
                      Pos bodyPos) {
    const Pos tagEnd = FindFrom(">", html, bodyPos + 4);
    RHeader& entry = table.Headers[1];
    entry.Position = tagEnd == 0 ? static_cast<Pos>(html.size()) + 1 : tagEnd + 1;
    entry.Level = 0;
    entry.Number.clear();
    entry.Heading.clear();
    entry.FileName = JoinPath(workDir, "page_0.htm");
}

void SetCount(HeadingTable& table, int count, std::string_view html) {
    table.HeaderCount = count;
    table.Headers[count + 1].Position = static_cast<Pos>(html.size()) + 1;
}

// The plain title back in HTML: the three characters markup gives meaning to as entities.
std::string EscapedForHtml(std::string_view plain) {
    std::string escaped;
    escaped.reserve(plain.size());
    for (const char c : plain) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string PageHead(const RHeader& entry) {
    std::string plain = entry.Heading;
    HtmlToPlainText(plain);
    const std::string title = EscapedForHtml(plain);
    std::string head;
    head.reserve(PageHeader.size() + title.size() + 48);
    head.append(PageHeader)
        .append("<title>")
        .append(title)
        .append("</title>\r\n")
        .append("</head>\r\n<body> <div>\r\n");
    return head;
}

// The bytes from..to of html, 1-based, to not included.
std::string_view Slice(std::string_view html, Pos from, Pos to) {
    return html.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from));
}

// Adds the bytes from..to of html with the link edits that fall there.
void AddEdited(const HeadingTable& table, std::string_view html, Pos from, Pos to,
               std::vector<std::string_view>& pieces) {
    auto edit = std::lower_bound(table.Edits.begin(), table.Edits.end(), from,
                                 [](const LinkEdit& e, Pos p) { return e.From < p; });
    for (; edit != table.Edits.end() && edit->From + edit->Count <= to; ++edit) {
        pieces.push_back(Slice(html, from, edit->From));
        pieces.push_back(edit->Text);
        from = edit->From + edit->Count;
    }
    pieces.push_back(Slice(html, from, to));
}

// The page of entry index after its head: the text from its Position up to the next entry's
// (kept inside html) without the notes that moved away and with its links edited, then the
// notes it cites.
void AddPageBody(const HeadingTable& table, int index, std::string_view html,
                 std::vector<std::string_view>& pieces) {
    const Pos size = static_cast<Pos>(html.size());
    Pos from = std::clamp<Pos>(table.Headers[index].Position, 1, size + 1);
    const Pos to = std::clamp<Pos>(table.Headers[index + 1].Position, from, size + 1);
    auto note = std::lower_bound(table.Notes.begin(), table.Notes.end(), from,
                                 [](const MovedNote& n, Pos p) { return n.From < p; });
    for (; note != table.Notes.end() && note->To <= to; ++note) {
        AddEdited(table, html, from, note->From, pieces);
        from = note->To;
    }
    AddEdited(table, html, from, to, pieces);
    for (const int cited : table.Headers[index].Notes) {
        const MovedNote& moved = table.Notes[std::size_t(cited)];
        AddEdited(table, html, moved.From, moved.To, pieces);
    }
    pieces.push_back(PageFooter);
}

bool ValidIndex(const HeadingTable& table, int index) {
    return index >= 1 && index <= table.HeaderCount && index <= MaxPages;
}

// True when the body shows anything in front of the first heading: a visible character,
// a picture or a table.
bool HasPreamble(std::string_view region) {
    return check::ShowsContent(region) || check::CountTags(region, "img") > 0 ||
           check::CountTags(region, "table") > 0;
}

// The outline line of the page in front of the first heading: the document's title
// element, or the first words of that page when the title is empty.
std::string PreambleTitle(std::string_view html, Pos bodyPos, std::string_view region) {
    const Pos from = FindFrom("<title>", html, 1);
    const Pos to = from == 0 ? 0 : FindFrom("</title>", html, from);
    if (to != 0 && to < bodyPos) {
        std::string title = CopyRange(html, from, to - from + 8);
        std::string plain = title;
        HtmlToPlainText(plain);
        if (!plain.empty()) return title;
    }
    std::string text(region);
    HtmlToPlainText(text);
    return EscapedForHtml(check::FirstWords(text));
}

// Makes what the body shows in front of the first heading (entry 1) a page of its own,
// page_0.htm, moving the headings one entry down.
void AddPreamblePage(HeadingTable& table, int& count, const std::string& workDir,
                     std::string_view html, Pos bodyPos) {
    const Pos tagEnd = FindFrom(">", html, bodyPos + 4);
    if (tagEnd == 0 || tagEnd + 1 >= table.Headers[1].Position) return;
    const std::string_view region = Slice(html, tagEnd + 1, table.Headers[1].Position);
    if (!HasPreamble(region)) return;
    std::move_backward(table.Headers.begin() + 1, table.Headers.begin() + count + 1,
                       table.Headers.begin() + count + 2);
    ++count;
    RHeader& entry = table.Headers[1];
    entry.Position = tagEnd + 1;
    entry.Level = 0;
    entry.Number.clear();
    entry.Heading = PreambleTitle(html, bodyPos, region);
    entry.FileName = JoinPath(workDir, "page_0.htm");
}

}  // namespace

SplitResult SplitIntoPages(HeadingTable& table, const std::string& workDir, std::string_view html) {
    const Pos bodyPos = FindFrom("<body", html, 1);
    const ScanResult scan = ScanHeadings(table, workDir, html, bodyPos == 0 ? 1 : bodyPos);
    if (scan.tooMany) {
        SetCount(table, 0, html);
        return SplitResult::TooManyHeadings;
    }
    int count = scan.count;
    if (count == 0 && bodyPos > 0) {
        SetWholeBodyPage(table, workDir, html, bodyPos);
        count = 1;
    } else if (count > 0 && bodyPos > 0) {
        AddPreamblePage(table, count, workDir, html, bodyPos);
    }
    SetCount(table, count, html);
    links::PlanLinks(table, html, bodyPos == 0 ? 1 : bodyPos);
    for (int i = 1; i <= count; ++i) WritePage(table, i, html);
    return SplitResult::Done;
}

std::string HeadingLimitMessage() {
    return "Количество заголовков не должно превышать" + std::to_string(MaxHeaders) + ".";
}

std::string PageText(const HeadingTable& table, int index, std::string_view html) {
    if (!ValidIndex(table, index)) return {};
    std::vector<std::string_view> pieces;
    AddPageBody(table, index, html, pieces);
    std::string page = PageHead(table.Headers[index]);
    std::size_t size = page.size();
    for (const std::string_view piece : pieces) size += piece.size();
    page.reserve(size);
    for (const std::string_view piece : pieces) page.append(piece);
    return page;
}

void WritePage(const HeadingTable& table, int index, std::string_view html) {
    if (!ValidIndex(table, index)) return;
    const RHeader& entry = table.Headers[index];
    const std::string head = PageHead(entry);
    std::vector<std::string_view> pieces{head};
    AddPageBody(table, index, html, pieces);
    detail::WritePieces(entry.FileName, pieces);
}

}  // namespace kelmo
