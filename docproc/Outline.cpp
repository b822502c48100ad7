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

}  // namespace

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
