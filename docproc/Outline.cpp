#include <algorithm>

#include "LibFunc.h"
#include "WorkFiles.h"

namespace kelmo {
namespace {

constexpr std::string_view CrLf = "\r\n";

std::string_view BaseName(std::string_view path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::size_t IndentOf(const RHeader& entry) { return entry.Level >= 2 ? entry.Level - 1u : 0u; }

std::string PlainTitle(const RHeader& entry) {
    std::string plain = entry.Heading;
    HtmlToPlainText(plain);
    return plain;
}

bool IsLetter(unsigned char c) {
    return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c >= 0xC0 || c == 0xA8 || c == 0xB8;
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool StartsWithOwnNumber(std::string_view title) {
    std::size_t i = 0;
    while (i < 2 && i < title.size() && IsLetter(static_cast<unsigned char>(title[i]))) ++i;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < title.size() && IsDigit(title[i])) ++i;
        return i > from;
    };
    if (!digits()) return false;
    while (i + 1 < title.size() && title[i] == '.' && IsDigit(title[i + 1])) {
        ++i;
        digits();
    }
    if (i < title.size() && (title[i] == '.' || title[i] == ')')) ++i;
    return i == title.size() || static_cast<unsigned char>(title[i]) <= ' ';
}

bool HasOwnNumbers(const HeadingTable& table) {
    int headings = 0;
    int numbered = 0;
    const int count = std::min(table.HeaderCount, MaxPages);
    for (int i = 1; i <= count; ++i) {
        const RHeader& entry = table.Headers[i];
        if (entry.Level == 0) continue;
        ++headings;
        numbered += StartsWithOwnNumber(PlainTitle(entry));
    }
    return numbered * 2 > headings;
}

bool UsesNumbers(const HeadingTable& table, Numbering choice) {
    if (choice == Numbering::Auto) return !HasOwnNumbers(table);
    return choice == Numbering::On;
}

std::string_view OutlineNumber(const RHeader& entry, std::string_view plainTitle, bool numbers,
                               Numbering numbering) {
    // Automatic numbering gives no title two numbers.
    if (!numbers || (numbering == Numbering::Auto && StartsWithOwnNumber(plainTitle))) return {};
    return entry.Number;
}

Outline MakeOutline(const HeadingTable& table, Numbering numbering) {
    Outline outline;
    const bool numbers = UsesNumbers(table, numbering);
    const int count = std::min(table.HeaderCount, MaxPages);
    for (int i = 1; i <= count; ++i) {
        const RHeader& entry = table.Headers[i];
        const std::size_t indent = IndentOf(entry);
        const std::string plain = PlainTitle(entry);
        outline.Titles.append(indent, '\t')
            .append(OutlineNumber(entry, plain, numbers, numbering))
            .append(plain)
            .append(CrLf);
        outline.Names.append(indent, '\t').append(BaseName(entry.FileName)).append(CrLf);
    }
    return outline;
}

void WriteOutline(const HeadingTable& table, const std::string& workDir, Numbering numbering) {
    const Outline outline = MakeOutline(table, numbering);
    WriteWholeFile(JoinPath(workDir, work::Names), outline.Names);
    WriteWholeFile(JoinPath(workDir, work::Titles), outline.Titles);
}

}  // namespace kelmo
