#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

#include "FileIo.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr int LevelCount = 6;
constexpr std::string_view PageFooter = "</div></body></html>";

// Plain counters: a 256th heading of one level is numbered 256, not 0.
using LevelCounters = std::array<long, LevelCount + 1>;

// The level of a heading start "<hN" at position p, or 0 when "<h" starts no heading.
int HeadingLevelAt(std::string_view html, Pos p) {
    const Pos digit = p + 2;  // 1-based position of the byte after "<h"
    if (digit > static_cast<Pos>(html.size())) return 0;
    const char c = html[static_cast<std::size_t>(digit - 1)];
    return c >= '1' && c <= '6' ? c - '0' : 0;
}

std::string NextNumber(LevelCounters& counters, int level) {
    ++counters[level];
    std::fill(counters.begin() + level + 1, counters.end(), 0);
    std::string number;
    for (int j = 1; j <= LevelCount; ++j) {
        if (counters[j] == 0) continue;
        number += std::to_string(counters[j]);
        number += '.';
    }
    number += ' ';
    return number;
}

// "1.2. " gives "1_2_".
std::string FileNumber(std::string number) {
    ReplaceChar('.', '_', number);
    number.pop_back();
    return number;
}

// Gives a name already taken in this split the smallest free "-k" suffix (k >= 2), so that
// no page overwrites an earlier one. Digits and "_" never form "-k", so suffixed names
// cannot meet a plain one.
class PageNamer {
  public:
    explicit PageNamer(const std::string& workDir) : workDir_(workDir) {}

    std::string Name(const std::string& fileNumber) {
        const int uses = ++uses_[fileNumber];
        std::string name = "page_";
        name.append(fileNumber);
        if (uses > 1) name.append(1, '-').append(std::to_string(uses));
        name.append(".htm");
        return JoinPath(workDir_, name);
    }

  private:
    const std::string& workDir_;
    std::unordered_map<std::string, int> uses_;
};

struct ScanResult {
    int count = 0;
    bool tooMany = false;
};

// Fills entries 1.. with the headings of html; stops at a heading over MaxHeaders.
ScanResult ScanHeadings(HeadingTable& table, const std::string& workDir, std::string_view html,
                        Pos searchStart) {
    ScanResult result;
    LevelCounters counters{};
    PageNamer namer(workDir);
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
        entry.Number = NextNumber(counters, level);
        entry.FileName = namer.Name(FileNumber(entry.Number));

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

// The text from entry index's Position up to the next entry's, kept inside html.
std::string_view PageBody(const HeadingTable& table, int index, std::string_view html) {
    const Pos size = static_cast<Pos>(html.size());
    const Pos from = std::clamp<Pos>(table.Headers[index].Position, 1, size + 1);
    const Pos to = std::clamp<Pos>(table.Headers[index + 1].Position, from, size + 1);
    return html.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from));
}

bool ValidIndex(const HeadingTable& table, int index) {
    return index >= 1 && index <= table.HeaderCount && index <= MaxHeaders;
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
    }
    SetCount(table, count, html);
    for (int i = 1; i <= count; ++i) WritePage(table, i, html);
    return SplitResult::Done;
}

std::string HeadingLimitMessage() {
    return "Количество заголовков не должно превышать" + std::to_string(MaxHeaders) + ".";
}

std::string PageText(const HeadingTable& table, int index, std::string_view html) {
    if (!ValidIndex(table, index)) return {};
    std::string page = PageHead(table.Headers[index]);
    const std::string_view body = PageBody(table, index, html);
    page.reserve(page.size() + body.size() + PageFooter.size());
    page.append(body).append(PageFooter);
    return page;
}

void WritePage(const HeadingTable& table, int index, std::string_view html) {
    if (!ValidIndex(table, index)) return;
    const RHeader& entry = table.Headers[index];
    detail::WritePieces(entry.FileName,
                        {PageHead(entry), PageBody(table, index, html), PageFooter});
}

}  // namespace kelmo
