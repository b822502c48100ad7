// kelmo-gen-course SIZE_MB HEADINGS OUT.htm: writes a generated Word-style course for
// whole-program timings.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string_view>

#include "CourseGenerator.h"
#include "LibFunc.h"

namespace {

bool ParseCount(std::string_view text, long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    long megabytes = 0;
    long headings = 0;
    if (argc != 4 || !ParseCount(argv[1], megabytes) || !ParseCount(argv[2], headings) ||
        megabytes > 4096 || headings > 100000) {
        std::fprintf(stderr, "usage: kelmo-gen-course SIZE_MB HEADINGS OUT.htm\n");
        return 2;
    }
    try {
        const std::string html = kelmo::bench::GenerateCourse(
            static_cast<std::size_t>(megabytes) << 20, static_cast<int>(headings));
        kelmo::WriteWholeFile(argv[3], html);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelmo-gen-course: %s\n", e.what());
        return 1;
    }
    return 0;
}
