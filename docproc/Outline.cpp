#include <algorithm>

#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr std::string_view CrLf = "\r\n";

std::string_view BaseName(std::string_view path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::size_t IndentOf(const RHeader& entry) { return entry.Level >= 2 ? entry.Level - 1u : 0u; }

std::string TitleOf(const RHeader& entry, bool numbering) {
    std::string plain = entry.Heading;
    HtmlToPlainText(plain);
    return numbering ? entry.Number + plain : plain;
}

// True when a plain title begins with a section number of its own.
bool StartsWithNumber(std::string_view title) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < title.size() && title[i] >= '0' && title[i] <= '9') ++i;
        return i > from;
    };
    if (!digits()) return false;
    while (i + 1 < title.size() && title[i] == '.' && title[i + 1] >= '0' && title[i + 1] <= '9') {
        ++i;
        digits();
    }
    if (i < title.size() && (title[i] == '.' || title[i] == ')')) ++i;
    return i == title.size() || static_cast<unsigned char>(title[i]) <= ' ';
}

}  // namespace

bool HasOwnNumbers(const HeadingTable& table) {
    int headings = 0;
    int numbered = 0;
    const int count = std::min(table.HeaderCount, MaxPages);
    for (int i = 1; i <= count; ++i) {
        const RHeader& entry = table.Headers[i];
        if (entry.Level == 0) continue;
        std::string plain = entry.Heading;
        HtmlToPlainText(plain);
        ++headings;
        numbered += StartsWithNumber(plain);
    }
    return numbered * 2 > headings;
}

bool UsesNumbers(const HeadingTable& table, Numbering choice) {
    if (choice == Numbering::Auto) return !HasOwnNumbers(table);
    return choice == Numbering::On;
}

Outline MakeOutline(const HeadingTable& table, bool numbering) {
    Outline outline;
    const int count = std::min(table.HeaderCount, MaxPages);
    for (int i = 1; i <= count; ++i) {
        const RHeader& entry = table.Headers[i];
        const std::size_t indent = IndentOf(entry);
        outline.Titles.append(indent, '\t').append(TitleOf(entry, numbering)).append(CrLf);
        outline.Names.append(indent, '\t').append(BaseName(entry.FileName)).append(CrLf);
    }
    return outline;
}

void WriteOutline(const HeadingTable& table, const std::string& workDir, bool numbering) {
    const Outline outline = MakeOutline(table, numbering);
    WriteWholeFile(JoinPath(workDir, "Names.txt"), outline.Names);
    WriteWholeFile(JoinPath(workDir, "Titles.txt"), outline.Titles);
}

}  // namespace kelmo
