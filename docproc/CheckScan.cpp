#include "CheckScan.h"

#include <algorithm>
#include <cstdint>

namespace kelmo::check {
namespace {

constexpr std::size_t FakeHeadingLength = 120;

bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// windows-1251: А..Я at 0xC0..0xDF, а..я at 0xE0..0xFF, Ё 0xA8, ё 0xB8.
bool IsUpper(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF) || c == 0xA8;
}
bool IsLower(unsigned char c) { return (c >= 'a' && c <= 'z') || c >= 0xE0 || c == 0xB8; }
bool IsWordByte(unsigned char c) { return IsDigit(c) || IsUpper(c) || IsLower(c); }
bool IsBlank(unsigned char c) { return c <= ' '; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

}  // namespace

std::string TagName(std::string_view tag) {
    std::string name;
    std::size_t i = 1;
    if (i < tag.size() && tag[i] == '/') name += tag[i++];
    for (; i < tag.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(tag[i]);
        if (!IsAsciiLetter(c) && !IsDigit(c) && c != ':' && c != '-') break;
        name += Lower(tag[i]);
    }
    return name;
}

std::string_view AttributeValue(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos;
         at = tag.find(name, at + 1)) {
        const std::size_t eq = at + name.size();
        if (at == 0 || !IsBlank(static_cast<unsigned char>(tag[at - 1])) || eq >= tag.size() ||
            tag[eq] != '=')
            continue;
        std::size_t from = eq + 1;
        std::size_t to = from;
        if (from < tag.size() && (tag[from] == '"' || tag[from] == '\'')) {
            to = tag.find(tag[from], from + 1);
            ++from;
            if (to == std::string_view::npos) to = tag.size() - 1;
        } else {
            while (to < tag.size() && !IsBlank(static_cast<unsigned char>(tag[to])) &&
                   tag[to] != '>')
                ++to;
        }
        return tag.substr(from, to - from);
    }
    return tag.substr(0, 0);
}

namespace {

std::string Attribute(std::string_view tag, std::string_view name) {
    return std::string(AttributeValue(tag, name));
}

// The page that holds a 1-based position, for positions met in increasing order.
class PageCursor {
  public:
    explicit PageCursor(const HeadingTable& table) : table_(table) {}
    int At(Pos position) {
        while (page_ < table_.HeaderCount && position >= table_.Headers[page_ + 1].Position)
            ++page_;
        return page_;
    }

  private:
    const HeadingTable& table_;
    int page_ = 0;
};

// A code sample: <code>, <tt>, <kbd>, <samp>, or a monospaced font named on the tag.
bool IsCodeTag(std::string_view tag, const std::string& name) {
    if (name == "code" || name == "tt" || name == "kbd" || name == "samp") return true;
    if (name.empty() || name[0] == '/') return false;
    std::string lower(tag);
    for (char& c : lower) c = Lower(c);
    for (const char* font : {"courier", "monospace", "consolas", "mono"})
        if (lower.find(font) != std::string::npos) return true;
    return false;
}

// How a paragraph's text looks.
struct Look {
    bool HeadingLike = false;  // short, wholly bold or in capitals, no closing period
    bool Ordinary = false;     // running text in lower case, not wholly bold
    std::string Text;
};

Look LookAt(std::string_view content) {
    int bold = 0;
    std::size_t inBold = 0, outside = 0, upper = 0, lower = 0, visible = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(content[i]);
        if (c == '<') {
            const std::size_t end = content.find('>', i);
            if (end == std::string_view::npos) break;
            const std::string_view tag = content.substr(i, end - i + 1);
            const std::string name = TagName(tag);
            if (IsCodeTag(tag, name)) return Look{};  // code is neither heading nor prose
            if (name == "b" || name == "strong") ++bold;
            if ((name == "/b" || name == "/strong") && bold > 0) --bold;
            i = end;
            continue;
        }
        if (c == '&') {
            const std::size_t end = content.find(';', i);
            if (end != std::string_view::npos && end - i <= 10) {
                i = end;
                continue;
            }
        }
        if (!IsBlank(c)) ++visible;
        if (IsWordByte(c)) ++(bold ? inBold : outside);
        if (IsUpper(c)) ++upper;
        if (IsLower(c)) ++lower;
        // Long running text in lower case, partly not bold: nothing after this can change it.
        if (visible >= FakeHeadingLength && lower > 0 && outside > 0) break;
    }
    Look look;
    const bool wholeBold = inBold > 0 && outside == 0;
    const bool capitals = upper >= 2 && lower == 0;
    look.Ordinary = lower > 0 && !wholeBold && !capitals;
    // The text is needed only for a short paragraph that may look like a heading.
    if (!(wholeBold || capitals) || visible >= FakeHeadingLength) return look;
    look.Text = std::string(content);
    HtmlToPlainText(look.Text);
    const char last = look.Text.empty() ? '.' : look.Text.back();
    const bool closed = last == '.' || last == ':' || last == ';' || last == ',';
    // Mostly letters: a line of blanks to fill in or a contents line with its page number
    // is no heading.
    const bool wordy = (upper + lower) * 2 >= visible;
    look.HeadingLike =
        !look.Text.empty() && look.Text.size() < FakeHeadingLength && !closed && wordy;
    return look;
}

// Finds paragraphs that look like headings and are followed right away by running text.
class ParagraphWatch {
  public:
    ParagraphWatch(std::string_view html, std::vector<FakeHeading>& found)
        : html_(html), found_(found) {}

    void Open(std::size_t tagStart, std::size_t contentStart, int page, bool inTable) {
        open_ = true;
        openAt_ = tagStart;
        contentAt_ = contentStart;
        page_ = page;
        inTable_ = inTable;
    }

    void Close(std::size_t tagStart, std::size_t tagEnd) {
        if (!open_) return;
        open_ = false;
        Look look = LookAt(html_.substr(contentAt_, tagStart - contentAt_));
        if (last_.HeadingLike && look.Ordinary && lastPage_ == page_ && page_ > 0 && !inTable_ &&
            OnlyBlanks(html_.substr(lastEnd_, openAt_ - lastEnd_)))
            found_.push_back({last_.Text, page_});
        last_ = inTable_ ? Look{} : std::move(look);
        lastPage_ = page_;
        lastEnd_ = tagEnd;
    }

  private:
    static bool OnlyBlanks(std::string_view gap) {
        for (const char c : gap)
            if (!IsBlank(static_cast<unsigned char>(c))) return false;
        return true;
    }

    std::string_view html_;
    std::vector<FakeHeading>& found_;
    bool open_ = false;
    std::size_t openAt_ = 0, contentAt_ = 0;
    int page_ = 0;
    bool inTable_ = false;
    Look last_;
    int lastPage_ = -1;
    std::size_t lastEnd_ = 0;
};

Pos BodyStart(std::string_view html) {
    const Pos body = FindFrom("<body", html, 1);
    if (body == 0) return 1;
    const Pos end = FindFrom(">", html, body + 4);
    return end == 0 ? Pos(html.size()) + 1 : end + 1;
}

bool MatchesNumbered(std::string_view name, std::string_view prefix, std::string_view suffix) {
    if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix)
        return false;
    for (const char c : name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()))
        if (!IsDigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = Lower(c);
    return lower;
}

}  // namespace

ScanResult Scan(const HeadingTable& table, std::string_view html) {
    ScanResult result;
    result.BodyStart = BodyStart(html);
    PageCursor pages(table);
    ParagraphWatch paragraphs(html, result.FakeHeadings);
    int tables = 0;
    int preformatted = 0;
    for (std::size_t at = std::size_t(result.BodyStart - 1); at < html.size();) {
        const std::size_t lt = html.find('<', at);
        if (lt == std::string_view::npos) break;
        const std::size_t gt = html.find('>', lt + 1);
        if (gt == std::string_view::npos) break;
        at = gt + 1;
        const std::string_view tag = html.substr(lt, gt - lt + 1);
        const std::string name = TagName(tag);
        const int page = pages.At(Pos(lt) + 1);
        if (name == "table") ++tables;
        if (name == "/table" && tables > 0) --tables;
        if (name == "pre") ++preformatted;
        if (name == "/pre" && preformatted > 0) --preformatted;
        if (name == "p")
            paragraphs.Open(lt, gt + 1, page,
                            tables > 0 || preformatted > 0 || IsCodeTag(tag, name));
        if (name == "/p") paragraphs.Close(lt, gt + 1);
        if (name.empty() || name[0] == '/') continue;
        if (std::string id = Attribute(tag, "id"); !id.empty())
            result.Targets.emplace(std::move(id), page);
        if (name == "a") {
            if (std::string anchor = Attribute(tag, "name"); !anchor.empty())
                result.Targets.emplace(std::move(anchor), page);
            const std::string href = Attribute(tag, "href");
            if (href.size() > 1 && href[0] == '#') result.Links.push_back({href.substr(1), page});
        }
        if (name == "img") {
            if (std::string source = Attribute(tag, "src"); !source.empty())
                result.Pictures.push_back({std::move(source), page});
        }
    }
    return result;
}

int CountHeadings(std::string_view html) {
    const Pos body = FindFrom("<body", html, 1);
    int count = 0;
    for (Pos start = body == 0 ? 1 : body;;) {
        const Pos p = FindFrom("<h", html, start);
        if (p == 0) break;
        const char digit = p + 2 <= Pos(html.size()) ? html[std::size_t(p + 1)] : 0;
        if (digit < '1' || digit > '6') {
            start = p + 2;
            continue;
        }
        ++count;
        const Pos close = FindFrom("</h", html, p);
        if (close == 0) break;
        start = close;
    }
    return count;
}

std::string_view Range(std::string_view html, Pos from, Pos to) {
    const Pos size = Pos(html.size());
    from = std::clamp<Pos>(from, 1, size + 1);
    to = std::clamp<Pos>(to, from, size + 1);
    return html.substr(std::size_t(from - 1), std::size_t(to - from));
}

int CountTags(std::string_view html, std::string_view name) {
    int count = 0;
    for (std::size_t lt = html.find('<'); lt != std::string_view::npos;
         lt = html.find('<', lt + 1)) {
        const std::size_t end = std::min(html.size(), lt + name.size() + 2);
        if (TagName(html.substr(lt, end - lt)) == name) ++count;
    }
    return count;
}

namespace {

// Calls see(byte) for each byte of html outside tags and entities while it returns true; a
// '<' or '&' that is never closed counts as text.
template <class See>
void ForEachShownByte(std::string_view html, See see) {
    for (std::size_t i = 0; i < html.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(html[i]);
        if (c == '<' || c == '&') {
            const std::size_t end = html.find(c == '<' ? '>' : ';', i);
            if (end != std::string_view::npos) {
                i = end;
                continue;
            }
        }
        if (!see(c)) return;
    }
}

}  // namespace

Pos CountText(std::string_view html) {
    Pos count = 0;
    bool blank = false;
    ForEachShownByte(html, [&](unsigned char c) {
        if (IsBlank(c)) {
            blank = count > 0;
        } else {
            count += blank ? 2 : 1;
            blank = false;
        }
        return true;
    });
    return count;
}

bool ShowsWordChars(std::string_view html) {
    bool found = false;
    ForEachShownByte(html, [&](unsigned char c) {
        found = IsWordByte(c);
        return !found;
    });
    return found;
}

bool ShowsContent(std::string_view html) {
    bool found = false;
    ForEachShownByte(html, [&](unsigned char c) {
        found = !IsBlank(c) && c != 0xA0;  // a no-break space is blank too
        return !found;
    });
    return found;
}

bool HasWordChars(std::string_view text) {
    for (const char c : text)
        if (IsWordByte(static_cast<unsigned char>(c))) return true;
    return false;
}

std::string FirstWords(std::string_view text) {
    constexpr std::size_t Length = 60;
    if (text.size() <= Length) return std::string(text);
    std::size_t cut = text.rfind(' ', Length);
    if (cut == std::string_view::npos || cut < Length / 2) cut = Length;
    return std::string(text.substr(0, cut)) + "\x85";  // "…" in windows-1251
}

bool IsNoteLink(std::string_view name) {
    return MatchesNumbered(name, "_ftn", "") || MatchesNumbered(name, "_edn", "") ||
           MatchesNumbered(name, "sdfootnote", "sym") || MatchesNumbered(name, "sdendnote", "sym");
}

bool IsNoteBackLink(std::string_view name) {
    return MatchesNumbered(name, "_ftnref", "") || MatchesNumbered(name, "_ednref", "") ||
           MatchesNumbered(name, "sdfootnote", "anc") || MatchesNumbered(name, "sdendnote", "anc");
}

bool IsTopLink(std::string_view name) { return LowerCase(name) == "top"; }

std::string PicturePath(std::string_view source) {
    std::string path;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        if (c == '%' && i + 2 < source.size() && HexDigit(source[i + 1]) >= 0 &&
            HexDigit(source[i + 2]) >= 0) {
            path += char(HexDigit(source[i + 1]) * 16 + HexDigit(source[i + 2]));
            i += 2;
        } else {
            path += c == '\\' ? '/' : c;
        }
    }
    while (path.rfind("./", 0) == 0) path.erase(0, 2);
    return path;
}

bool IsUnsupportedPicture(std::string_view source) {
    const std::string lower = LowerCase(source);
    if (lower.rfind("data:", 0) == 0) {
        const std::string type = lower.substr(5, lower.find_first_of(";,") - 5);
        return type == "image/x-wmf" || type == "image/wmf" || type == "image/x-emf" ||
               type == "image/emf" || type == "image/tiff";
    }
    const std::size_t dot = lower.rfind('.');
    if (dot == std::string::npos || lower.find('/', dot) != std::string::npos) return false;
    const std::string extension = lower.substr(dot + 1);
    return extension == "wmf" || extension == "emf" || extension == "tif" || extension == "tiff";
}

std::string Megabytes(std::uint64_t bytes) {
    const std::uint64_t tenths = (bytes * 10 + (1u << 19)) >> 20;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace kelmo::check
