// The bytes half of the road of one document (MakePages): cleaning, the clean document,
// the split, the outline and the check. Beyond the sanitizers it checks what the window
// relies on: page positions ascend inside the text, and both outline texts have one line
// per page.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "LibFunc.h"

namespace {

using kelmo::Pos;

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// A folder of this run's own, removed again when the run ends.
class PageFolder {
  public:
    PageFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kelmo-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) Broken("cannot make a page folder");
        path_ = pattern;
    }
    ~PageFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

std::size_t CountLines(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

void CheckTable(const kelmo::HeadingTable& table, std::string_view html) {
    const int count = table.HeaderCount;
    if (count < 0 || count > kelmo::MaxPages) Broken("page count out of range");
    if (table.Headers[count + 1].Position != static_cast<Pos>(html.size()) + 1) {
        Broken("end mark is not the text's end");
    }
    for (int i = 1; i <= count; ++i) {
        const Pos p = table.Headers[i].Position;
        if (p < 1 || p > table.Headers[i + 1].Position) Broken("page positions do not ascend");
        if (table.Headers[i].Level > 6) Broken("heading level out of range");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536) return 0;
    static const PageFolder folder;
    const kelmo::Pages pages =
        kelmo::MakePages(folder.Path(), std::string(reinterpret_cast<const char*>(data), size));
    const kelmo::HeadingTable& table = *pages.Table;
    for (const kelmo::Finding& finding : pages.Findings) {
        if (finding.Page < 0 || finding.Page > table.HeaderCount) Broken("finding off the pages");
    }
    if (pages.Split != kelmo::SplitResult::Done) return 0;
    CheckTable(table, pages.Html);
    for (int i = 1; i <= table.HeaderCount; ++i) {
        const std::string page = kelmo::PageText(table, i, pages.Html);
        if (page.compare(0, kelmo::PageHeader.size(), kelmo::PageHeader) != 0) {
            Broken("page does not begin with the page head");
        }
    }
    for (const kelmo::Numbering numbering :
         {kelmo::Numbering::Off, kelmo::Numbering::On, kelmo::Numbering::Auto}) {
        const kelmo::Outline outline = kelmo::MakeOutline(table, numbering);
        const auto pageCount = static_cast<std::size_t>(table.HeaderCount);
        if (CountLines(outline.Titles) != pageCount || CountLines(outline.Names) != pageCount) {
            Broken("outline lines do not match the pages");
        }
    }
    for (int i = 1; i <= table.HeaderCount; ++i) std::remove(table.Headers[i].FileName.c_str());
    return 0;
}
