#include "CourseGenerator.h"

#include <algorithm>
#include <random>
#include <string_view>

namespace kelmo::bench {
namespace {

constexpr std::string_view WordHead =
    "<html xmlns:v=\"urn:schemas-microsoft-com:vml\"\r\n"
    "xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
    "xmlns:w=\"urn:schemas-microsoft-com:office:word\"\r\n"
    "xmlns=\"http://www.w3.org/TR/REC-html40\">\r\n"
    "\r\n"
    "<head>\r\n"
    "<meta http-equiv=Content-Type content=\"text/html; charset=windows-1251\">\r\n"
    "<meta name=ProgId content=Word.Document>\r\n"
    "<meta name=Generator content=\"Microsoft Word 9\">\r\n"
    "<meta name=Originator content=\"Microsoft Word 9\">\r\n"
    "<link rel=File-List href=\"./i.files/filelist.xml\">\r\n"
    "<title>\xD3\xF7\xE5\xE1\xED\xFB\xE9 \xEA\xF3\xF0\xF1</title>\r\n"
    "<!--[if gte mso 9]><xml>\r\n"
    " <o:DocumentProperties>\r\n"
    "  <o:Author>\xC0\xE2\xF2\xEE\xF0</o:Author>\r\n"
    "  <o:Revision>12</o:Revision>\r\n"
    "  <o:Pages>240</o:Pages>\r\n"
    " </o:DocumentProperties>\r\n"
    "</xml><![endif]--><!--[if gte mso 9]><xml>\r\n"
    " <w:WordDocument>\r\n"
    "  <w:View>Print</w:View>\r\n"
    "  <w:Zoom>100</w:Zoom>\r\n"
    " </w:WordDocument>\r\n"
    "</xml><![endif]-->\r\n"
    "<style>\r\n"
    "<!--\r\n"
    " /* Style Definitions */\r\n"
    "p.MsoNormal, li.MsoNormal, div.MsoNormal\r\n"
    "\t{mso-style-parent:\"\";\r\n"
    "\tmargin:0cm;\r\n"
    "\tmargin-bottom:.0001pt;\r\n"
    "\tmso-pagination:widow-orphan;\r\n"
    "\tfont-size:12.0pt;\r\n"
    "\tfont-family:\"Times New Roman\";\r\n"
    "\tmso-fareast-font-family:\"Times New Roman\";}\r\n"
    "h1\r\n"
    "\t{mso-style-next:\xCE\xE1\xFB\xF7\xED\xFB\xE9;\r\n"
    "\tmargin:0cm;\r\n"
    "\tmso-outline-level:1;\r\n"
    "\tfont-size:16.0pt;}\r\n"
    "@page Section1\r\n"
    "\t{size:595.3pt 841.9pt;\r\n"
    "\tmargin:2.0cm 42.5pt 2.0cm 3.0cm;\r\n"
    "\tmso-header-margin:35.4pt;\r\n"
    "\tmso-footer-margin:35.4pt;\r\n"
    "\tmso-paper-source:0;}\r\n"
    "div.Section1\r\n"
    "\t{page:Section1;}\r\n"
    "-->\r\n"
    "</style>\r\n"
    "</head>\r\n"
    "\r\n"
    "<body lang=RU style='tab-interval:35.4pt'>\r\n"
    "\r\n"
    "<div class=Section1>\r\n"
    "\r\n";

constexpr std::string_view WordTail = "</div>\r\n\r\n</body>\r\n\r\n</html>\r\n";

// Word wraps its export at about this column, at a blank.
constexpr std::size_t WrapColumn = 76;

class Writer {
  public:
    Writer(std::string& out, std::mt19937& random) : out_(out), random_(random) {}

    // Appends markup or text; a blank past the wrap column becomes a line break.
    void Put(std::string_view piece) {
        for (const char c : piece) {
            if (c == ' ' && Column() >= WrapColumn) {
                NewLine();
            } else {
                out_ += c;
                if (c == '\n') lineStart_ = out_.size();
            }
        }
    }

    void NewLine() {
        out_ += "\r\n";
        lineStart_ = out_.size();
    }

    // count words of windows-1251 Cyrillic, now and then with a Latin term or a number.
    void Words(int count) {
        for (int i = 0; i < count; ++i) {
            if (i > 0) Put(" ");
            const int kind = Pick(40);
            if (kind == 0) {
                Put("Microsoft");
            } else if (kind == 1) {
                Put(std::to_string(Pick(2000)));
            } else {
                Put(CyrillicWord(i == 0));
            }
        }
    }

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  private:
    std::size_t Column() const { return out_.size() - lineStart_; }

    std::string CyrillicWord(bool capital) {
        const int length = 2 + Pick(9);
        std::string word;
        for (int i = 0; i < length; ++i) {
            const int letter = Pick(32);
            word += static_cast<char>((i == 0 && capital ? 0xC0 : 0xE0) + letter);
        }
        return word;
    }

    std::string& out_;
    std::mt19937& random_;
    std::size_t lineStart_ = 0;
};

void Paragraph(Writer& w) {
    w.Put(
        "<p class=MsoNormal style='text-align:justify;text-indent:35.4pt'><span "
        "style='font-size:14.0pt;mso-bidi-font-size:12.0pt'>");
    w.Words(20 + w.Pick(60));
    if (w.Pick(4) == 0) {
        w.Put("&nbsp;&nbsp;&nbsp; ");
        w.Words(5 + w.Pick(10));
    }
    w.Put(".<o:p></o:p></span></p>");
    w.NewLine();
    w.NewLine();
}

void ListItem(Writer& w, int number) {
    w.Put(
        "<p class=MsoNormal style='margin-left:18.0pt;text-indent:-18.0pt;mso-list:l0 level1 "
        "lfo1;tab-stops:list 18.0pt'><![if !supportLists]><span style='font-size:14.0pt;"
        "mso-bidi-font-size:12.0pt'>");
    w.Put(std::to_string(number));
    w.Put(
        ".<span style='font:7.0pt \"Times New Roman\"'>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp; "
        "</span></span><![endif]><span style='font-size:14.0pt;mso-bidi-font-size:12.0pt'>");
    w.Words(6 + w.Pick(20));
    w.Put(";<o:p></o:p></span></p>");
    w.NewLine();
    w.NewLine();
}

void EmptyParagraph(Writer& w) {
    w.Put("<p class=MsoNormal style='text-align:justify'><o:p>&nbsp;</o:p></p>");
    w.NewLine();
    w.NewLine();
}

void Picture(Writer& w, int number) {
    const std::string id = std::to_string(1025 + number);
    w.Put(
        "<p class=MsoNormal align=center style='text-align:center'><span "
        "style='mso-no-proof:yes'><!--[if gte vml 1]><v:shape id=\"_x0000_i");
    w.Put(id);
    w.Put("\" type=\"#_x0000_t75\" style='width:300pt;height:200pt'>");
    w.NewLine();
    w.Put(" <v:imagedata src=\"./i.files/image001.wmz\" o:title=\"\"/>");
    w.NewLine();
    w.Put(
        "</v:shape><![endif]--><![if !vml]><img width=400 height=267 "
        "src=\"./i.files/image002.gif\" v:shapes=\"_x0000_i");
    w.Put(id);
    w.Put("\"><![endif]></span><o:p></o:p></p>");
    w.NewLine();
    w.NewLine();
}

void Table(Writer& w) {
    w.Put(
        "<table class=MsoNormalTable border=1 cellspacing=0 cellpadding=0 "
        "style='border-collapse:collapse;border:none;mso-border-alt:solid windowtext .5pt;"
        "mso-padding-alt:0cm 5.4pt 0cm 5.4pt'>");
    w.NewLine();
    const int rows = 2 + w.Pick(4);
    for (int r = 0; r < rows; ++r) {
        w.Put(" <tr style='mso-yfti-irow:");
        w.Put(std::to_string(r));
        w.Put("'>");
        w.NewLine();
        for (int c = 0; c < 3; ++c) {
            w.Put(
                "  <td width=213 valign=top style='width:159.5pt;border:solid windowtext 1.0pt;"
                "mso-border-alt:solid windowtext .5pt;padding:0cm 5.4pt 0cm 5.4pt'>");
            w.NewLine();
            w.Put("  <p class=MsoNormal><span style='font-size:12.0pt'>");
            w.Words(1 + w.Pick(6));
            w.Put("<o:p></o:p></span></p>");
            w.NewLine();
            w.Put("  </td>");
            w.NewLine();
        }
        w.Put(" </tr>");
        w.NewLine();
    }
    w.Put("</table>");
    w.NewLine();
    w.NewLine();
}

void Heading(Writer& w, int level, int number) {
    const char digit[] = {static_cast<char>('0' + level), '\0'};
    w.Put("<h");
    w.Put(digit);
    w.Put(" style='margin-top:12.0pt;mso-list:none'><a name=\"_Toc");
    w.Put(std::to_string(100000 + number));
    w.Put("\"><span style='font-size:16.0pt;mso-bidi-font-size:12.0pt'>");
    w.Words(2 + w.Pick(6));
    w.Put("</span></a><o:p></o:p></h");
    w.Put(digit);
    w.Put(">");
    w.NewLine();
    w.NewLine();
}

// The next heading level: one deeper at most, anything shallower, never below 4.
int NextLevel(Writer& w, int level) {
    if (level == 0) return 1;
    const int roll = w.Pick(10);
    if (roll < 4 && level < 4) return level + 1;
    if (roll < 7) return level;
    return 1 + w.Pick(level);
}

void BodyBlock(Writer& w, int& listNumber, int& pictureNumber) {
    const int roll = w.Pick(100);
    if (roll < 60) {
        Paragraph(w);
        listNumber = 1;
    } else if (roll < 78) {
        ListItem(w, listNumber++);
    } else if (roll < 88) {
        EmptyParagraph(w);
    } else if (roll < 95) {
        Table(w);
    } else {
        Picture(w, pictureNumber++);
    }
}

}  // namespace

std::string GenerateCourse(std::size_t sizeBytes, int headingCount) {
    std::mt19937 random(2000);
    std::string out;
    out.reserve(sizeBytes + 4096);
    Writer w(out, random);
    w.Put(WordHead);
    const std::size_t bodyStart = out.size();
    const std::size_t bodySize =
        std::max(sizeBytes, bodyStart + WordTail.size()) - bodyStart - WordTail.size();
    int headingsMade = 0;
    int level = 0;
    int listNumber = 1;
    int pictureNumber = 0;
    while (out.size() - bodyStart < bodySize) {
        const std::size_t due = headingCount > 0
                                    ? bodySize * static_cast<std::size_t>(headingsMade) /
                                          static_cast<std::size_t>(headingCount)
                                    : bodySize;
        if (headingsMade < headingCount && out.size() - bodyStart >= due) {
            level = NextLevel(w, level);
            Heading(w, level, ++headingsMade);
        } else {
            BodyBlock(w, listNumber, pictureNumber);
        }
    }
    w.Put(WordTail);
    return out;
}

}  // namespace kelmo::bench
