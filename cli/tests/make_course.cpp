// Writes a Word-style HTML export of a generated course, for tests and timing:
//   make-course HEADINGS BYTES crlf|lf|cr OUTPUT
// Headings cycle through levels 1, 2, 3, 3, 2; paragraphs fill the text up to about BYTES.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// "Раздел" and "Текст занятия" in windows-1251.
const std::string Section = "\xD0\xE0\xE7\xE4\xE5\xEB";
const std::string Lesson = "\xD2\xE5\xEA\xF1\xF2 \xE7\xE0\xED\xFF\xF2\xE8\xFF";

std::string Paragraph(const std::string& eol) {
    return "<p class=MsoNormal style='mso-margin-top-alt:auto;text-align:justify'>" + Lesson +
           "&nbsp;&nbsp;&nbsp; " + Lesson + "<o:p></o:p></p>" + eol;
}

std::string Heading(int index, const std::string& eol) {
    static const int levels[] = {1, 2, 3, 3, 2};
    const std::string level = std::to_string(levels[index % 5]);
    return "<h" + level + " style='mso-list:l0 level" + level + " lfo1'>" + Section + " " +
           std::to_string(index + 1) + "<o:p></o:p></h" + level + ">" + eol;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: make-course HEADINGS BYTES crlf|lf|cr OUTPUT\n");
        return 2;
    }
    const long headings = std::atol(argv[1]);
    const long long bytes = std::atoll(argv[2]);
    const std::string eol = !std::strcmp(argv[3], "lf")   ? "\n"
                            : !std::strcmp(argv[3], "cr") ? "\r"
                                                          : "\r\n";

    std::string text =
        "<html xmlns:o=\"urn:schemas-microsoft-com:office:office\">" + eol + "<head>" + eol +
        "<title>" + Section + "</title>" + eol +
        "<!--[if gte mso 9]><xml><w:WordDocument></w:WordDocument></xml><![endif]-->" + eol +
        "</head>" + eol + "<body lang=RU>" + eol + "<div class=Section1>" + eol;
    const std::string paragraph = Paragraph(eol);
    const long long perHeading =
        headings > 0 ? (bytes - static_cast<long long>(text.size())) / headings : bytes;
    const long long paragraphs = perHeading / static_cast<long long>(paragraph.size()) + 1;
    text.reserve(static_cast<std::size_t>(bytes > 0 ? bytes : 0) + 4096);
    for (long i = 0; i < headings || i == 0; ++i) {
        if (i < headings) text += Heading(static_cast<int>(i), eol);
        for (long long p = 0; p < paragraphs; ++p) text += paragraph;
    }
    text += "</div>" + eol + "</body>" + eol + "</html>" + eol;

    std::FILE* out = std::fopen(argv[4], "wb");
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[4]);
        return 1;
    }
    return 0;
}
