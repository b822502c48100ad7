// The names of the files and folders the road writes into a work folder. Every room that
// reads or writes them takes the names from here.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace kelmo::work {

inline constexpr std::string_view Export = "i.~ht";     // the converter's HTML export
inline constexpr std::string_view Clean = "clear.~ht";  // the clean whole document
inline constexpr std::string_view Titles = "Titles.txt";
inline constexpr std::string_view Names = "Names.txt";
inline constexpr std::string_view PagePrefix = "page_";  // "page_1_2_.htm"
inline constexpr std::string_view PageSuffix = ".htm";
inline constexpr std::string_view MaterialPrefix = "material_";  // "material_1", a course's

// The folder of a course's material index (0-based): "material_1", "material_2", ...
inline std::string MaterialFolder(int index) {
    return std::string(MaterialPrefix) + std::to_string(index + 1);
}

// The 0-based material index of a path below a course's work folder that begins with
// its material folder ("material_2/page_1_.htm" gives 1); -1 for any other path.
inline int MaterialIndex(std::string_view path) {
    if (path.substr(0, MaterialPrefix.size()) != MaterialPrefix) return -1;
    path.remove_prefix(MaterialPrefix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(path.data(), path.data() + path.size(), number);
    if (error != std::errc() || number < 1 || end == path.data() ||
        (end != path.data() + path.size() && *end != '/'))
        return -1;
    return number - 1;
}

// True for a name the road writes into the work folder itself.
inline bool IsRoadFile(std::string_view name) {
    return name == Export || name == Clean || name == Titles || name == Names ||
           (name.size() >= PagePrefix.size() + PageSuffix.size() &&
            name.substr(0, PagePrefix.size()) == PagePrefix &&
            name.substr(name.size() - PageSuffix.size()) == PageSuffix);
}

}  // namespace kelmo::work
