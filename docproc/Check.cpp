#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

#include "CheckScan.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

using check::Picture;
using check::Scan;

constexpr int WarnHeadings = 450;

std::string Quoted(std::string_view text) { return "«" + std::string(text) + "»"; }

// Russian plural: 1 ошибка, 2 ошибки, 5 ошибок.
std::string Counted(std::size_t n, const char* one, const char* few, const char* many) {
    const std::size_t tens = n % 100;
    const std::size_t units = n % 10;
    const char* form = many;
    if (tens < 11 || tens > 14) {
        if (units == 1)
            form = one;
        else if (units >= 2 && units <= 4)
            form = few;
    }
    return std::to_string(n) + ' ' + form;
}

std::string Characters(std::size_t n) { return Counted(n, "знак", "знака", "знаков"); }

// Word's and LibreOffice's own table of contents link to bookmarks of these names.
bool IsContentsLink(std::string_view name) {
    return name.rfind("_Toc", 0) == 0 || name.rfind("__RefHeading", 0) == 0;
}

class Checker {
  public:
    Checker(const HeadingTable& table, std::string_view html, const std::vector<WorkFile>& files,
            const CheckLimits& limits, Numbering numbering)
        : table_(table),
          html_(html),
          limits_(limits),
          numbering_(numbering),
          numbers_(UsesNumbers(table, numbering)),
          count_(table.HeaderCount),
          first_(count_ >= 1 && table.Headers[1].Level == 0 ? 2 : 1) {
        for (const WorkFile& file : files) files_.emplace(file.Name, file.Size);
        titles_.reserve(std::size_t(count_) + 1);
        for (int page = 0; page <= count_; ++page) titles_.push_back(PlainTitle(page));
    }

    std::vector<Finding> Run() {
        CheckHeadingCount();
        const check::ScanResult scan = Scan(table_, html_);
        if (first_ <= count_) {
            CheckTextBeforeFirstHeading();
            CheckHeadings();
        } else if (count_ == 1) {
            Add("no-headings", Severity::Error, 1,
                "ни у одного абзаца нет стиля заголовка, поэтому весь документ станет одной "
                "страницей; задайте названиям разделов стили «Заголовок 1», «Заголовок 2» и так "
                "далее.");
        }
        CheckPages();
        for (const auto& fake : scan.FakeHeadings)
            if (table_.Headers[fake.Page].Level >= 1) AddFakeHeading(fake);
        CheckLinks(scan);
        CheckPictures(scan.Pictures);
        std::stable_sort(found_.begin(), found_.end(), [](const Finding& a, const Finding& b) {
            if (a.Level != b.Level) return a.Level < b.Level;
            return a.Page < b.Page;
        });
        return std::move(found_);
    }

  private:
    void Add(std::string kind, Severity level, int page, std::string message) {
        found_.push_back(
            {std::move(kind), level, page, page ? Where(page) : std::string(), std::move(message)});
    }

    std::string PlainTitle(int page) const {
        std::string title = table_.Headers[page].Heading;
        HtmlToPlainText(title);
        return title;
    }

    const std::string& Title(int page) const { return titles_[std::size_t(page)]; }

    std::string Where(int page) const {
        const RHeader& entry = table_.Headers[page];
        if (entry.Level == 0 && count_ == 1) return "Документ без заголовков";
        if (entry.Level == 0 && Title(page).empty()) return FileOf(page);
        std::string title(OutlineNumber(entry, Title(page), numbers_, numbering_));
        return Windows1251ToUtf8(TrimBlanks(title + Title(page)));
    }

    std::string FileOf(int page) const {
        return std::filesystem::path(table_.Headers[page].FileName).filename().string();
    }

    static std::string Headings(int n) {
        return Counted(std::size_t(n), "заголовок", "заголовка", "заголовков");
    }

    void CheckHeadingCount() {
        const int headings = count_ > 0 ? count_ : check::CountHeadings(html_);
        if (headings > MaxHeaders) {
            Add("heading-limit", Severity::Error, 0,
                "В документе " + Headings(headings) +
                    ", больше 500: страницы не будут созданы; разделите документ "
                    "на несколько или сделайте часть заголовков обычным текстом.");
        } else if (headings > WarnHeadings) {
            Add("heading-limit", Severity::Warning, 0,
                "В документе " + Headings(headings) +
                    ", почти предел в 500: ещё немного, и страницы не будут созданы; "
                    "разделите документ на несколько.");
        }
    }

    // The text in front of the first heading is a page of its own: told when it is more
    // than a title.
    void CheckTextBeforeFirstHeading() {
        if (first_ == 1) return;
        const std::string_view region =
            check::Range(html_, table_.Headers[1].Position, table_.Headers[2].Position);
        const int pictures = check::CountTags(region, "img");
        std::string text(region);
        HtmlToPlainText(text);
        if (pictures == 0 && Pos(text.size()) <= limits_.TitleBlock) return;
        std::string what = "рисунки (" + std::to_string(pictures) + ")";
        if (!text.empty()) {
            what = "текст (" + Characters(text.size()) + ": " +
                   Quoted(Windows1251ToUtf8(check::FirstWords(text))) + ")" +
                   (pictures ? " и " + what : std::string());
        }
        Add("text-before-first-heading", Severity::Note, 1,
            "перед первым заголовком стоит " + what +
                "; он показан отдельной первой страницей; если это часть раздела, перенесите "
                "его под заголовок.");
    }

    void CheckHeadings() {
        std::unordered_map<std::string, int> seen;  // parent page + title -> first page
        std::vector<int> parents;                   // the open page of each level
        int top = 6;                                // the outermost level of the document
        for (int i = first_; i <= count_; ++i) top = std::min<int>(top, table_.Headers[i].Level);
        for (int i = first_; i <= count_; ++i) {
            const int level = table_.Headers[i].Level;
            const int before = i == first_ ? 0 : table_.Headers[i - 1].Level;
            if (i == first_ && level != 1 && level == top) {
                // The tree takes the outermost level as its top: it is whole.
                Add("level-start", Severity::Note, i,
                    "все заголовки документа уровня " + std::to_string(top) +
                        " и ниже: дерево разделов начнётся с этого уровня; поднимите все "
                        "заголовки на уровень «Заголовок 1» (на " +
                        std::to_string(top - 1) + " выше).");
            } else if (i == first_ && level != 1) {
                Add("level-jump", Severity::Error, i,
                    "документ начинается с заголовка уровня " + std::to_string(level) +
                        ", а дальше есть заголовки уровня " + std::to_string(top) +
                        ": дерево разделов будет построено неверно; задайте этому заголовку "
                        "стиль «Заголовок " +
                        std::to_string(top) + "».");
            } else if (i > first_ && level >= before + 2) {
                Add("level-jump", Severity::Error, i,
                    "заголовок уровня " + std::to_string(level) +
                        " идёт сразу за заголовком "
                        "уровня " +
                        std::to_string(before) +
                        ": дерево разделов будет построено неверно; задайте ему стиль "
                        "«Заголовок " +
                        std::to_string(before + 1) + "».");
            }
            const std::string& title = Title(i);
            if (title.empty()) {
                Add("empty-heading", Severity::Error, i,
                    "заголовок без текста: в дереве разделов будет пустая строка; впишите текст "
                    "заголовка или снимите с абзаца стиль заголовка.");
            }
            while (!parents.empty() && table_.Headers[parents.back()].Level >= level)
                parents.pop_back();
            const int parent = parents.empty() ? 0 : parents.back();
            parents.push_back(i);
            if (title.empty()) continue;
            const auto [it, fresh] = seen.emplace(std::to_string(parent) + '\n' + title, i);
            if (!fresh) {
                Add("duplicate-title", Severity::Warning, i,
                    "так же называется страница " + Quoted(Where(it->second)) +
                        " в том же разделе: в дереве их не различить; переименуйте одну из них.");
            }
        }
    }

    void CheckPages() {
        for (int i = 1; i <= count_; ++i) {
            const RHeader& entry = table_.Headers[i];
            const std::string_view page =
                check::Range(html_, entry.Position, table_.Headers[i + 1].Position);
            // Text never has more characters than the page has bytes.
            const Pos length = Pos(page.size()) > limits_.PageText ? check::CountText(page) : 0;
            if (length > limits_.PageText) {
                Add("large-page", Severity::Warning, i,
                    "на странице " + Characters(std::size_t(length)) + " текста, больше " +
                        std::to_string(limits_.PageText) +
                        ": её долго загружать и неудобно читать; разделите раздел "
                        "подзаголовками.");
            }
            // An empty heading over nothing is told once, as the empty heading.
            if (entry.Level >= 1 && IsLeaf(i) &&
                IsEmptyBody(page.substr(std::min(entry.Heading.size(), page.size()))) &&
                !Title(i).empty()) {
                Add("empty-page", Severity::Warning, i,
                    "на странице нет ничего, кроме заголовка: читатель увидит пустую страницу; "
                    "добавьте текст или удалите заголовок.");
            }
        }
    }

    bool IsLeaf(int page) const {
        return page == count_ || table_.Headers[page + 1].Level <= table_.Headers[page].Level;
    }

    static bool IsEmptyBody(std::string_view body) {
        return !check::ShowsWordChars(body) && check::CountTags(body, "img") == 0;
    }

    void AddFakeHeading(const check::FakeHeading& fake) {
        Add("fake-heading", Severity::Note, fake.Page,
            "абзац " + Quoted(Windows1251ToUtf8(fake.Text)) +
                " похож на заголовок, но оформлен обычным стилем, и отдельной страницы у него "
                "не будет; если это заголовок, задайте ему стиль заголовка.");
    }

    // The split points every link to an existing anchor at its page; a link to no anchor
    // is told once per page.
    void CheckLinks(const check::ScanResult& scan) {
        std::unordered_map<int, std::size_t> groups;     // page -> finding's links
        std::vector<std::pair<int, std::string>> first;  // page, first name, in order
        // A table of contents is a run of links to contents bookmarks; told once per page.
        std::unordered_map<int, int> contents;  // page -> such links
        for (const check::Link& link : scan.Links)
            if (link.Page != 0 && IsContentsLink(link.Name)) ++contents[link.Page];
        for (const auto& [page, links] : contents) {
            if (links < MinContentsLinks) continue;
            Add("own-contents", Severity::Warning, page,
                "здесь оглавление документа: дерево разделов заменяет его; удалите оглавление "
                "из документа.");
        }
        for (const check::Link& link : scan.Links) {
            if (IsContentsLink(link.Name) && contents[link.Page] >= MinContentsLinks) continue;
            if (link.Page == 0 || check::IsNoteBackLink(link.Name) ||
                scan.Targets.count(link.Name) || check::IsTopLink(link.Name))
                continue;
            if (groups[link.Page]++ == 0) first.emplace_back(link.Page, link.Name);
        }
        for (const auto& [page, name] : first) {
            const std::size_t count = groups[page];
            const std::string more =
                count > 1 ? " (и ещё " + std::to_string(count - 1) + ")" : std::string();
            Add("link-broken", Severity::Error, page,
                "ссылка на закладку " + Quoted(Windows1251ToUtf8(name)) + more +
                    " ведёт на закладку, которой нет в документе: она никуда не приведёт; "
                    "исправьте или удалите гиперссылку.");
        }
    }

    static constexpr int MinContentsLinks = 3;

    void CheckPictures(const std::vector<Picture>& pictures) {
        std::unordered_map<int, std::uint64_t> weight;
        std::unordered_map<std::string, bool> counted;  // page + name, each picture once
        for (const Picture& picture : pictures) {
            if (picture.Page == 0) continue;  // on no page: told as text before the first heading
            if (IsEmbedded(picture.Source)) {
                if (check::IsUnsupportedPicture(picture.Source)) AddUnsupported(picture);
                continue;
            }
            const std::string name = check::PicturePath(picture.Source);
            const auto file = files_.find(name);
            const bool first =
                counted.emplace(std::to_string(picture.Page) + '\n' + name, true).second;
            if (!first) continue;
            if (file == files_.end()) {
                Add("picture-missing", Severity::Error, picture.Page,
                    "рисунка " + Quoted(Windows1251ToUtf8(picture.Source)) +
                        " нет в папке страниц: вместо него будет пустое место; вставьте рисунок "
                        "в документ заново, не связью с файлом.");
                continue;
            }
            if (check::IsUnsupportedPicture(name)) AddUnsupported(picture);
            weight[picture.Page] += file->second;
        }
        AddHeavyPages(weight);
    }

    static bool IsEmbedded(const std::string& source) { return source.rfind("data:", 0) == 0; }

    void AddUnsupported(const Picture& picture) {
        const std::string shown = IsEmbedded(picture.Source)
                                      ? picture.Source.substr(0, picture.Source.find(';'))
                                      : picture.Source;
        Add("picture-unsupported", Severity::Error, picture.Page,
            "рисунок " + Quoted(Windows1251ToUtf8(shown)) +
                " в формате, который браузер не показывает (WMF, EMF, TIFF): вместо него будет "
                "пустое место; вставьте его заново как PNG или JPEG.");
    }

    void AddHeavyPages(const std::unordered_map<int, std::uint64_t>& weight) {
        std::vector<std::pair<int, std::uint64_t>> heavy;
        for (const auto& [page, bytes] : weight)
            if (bytes > limits_.PagePictures) heavy.emplace_back(page, bytes);
        std::sort(heavy.begin(), heavy.end());
        for (const auto& [page, bytes] : heavy) {
            Add("large-page", Severity::Warning, page,
                "рисунки страницы весят " + check::Megabytes(bytes) + " МБ, больше " +
                    check::Megabytes(limits_.PagePictures) +
                    " МБ: страница будет долго загружаться; уменьшите рисунки (сожмите их в "
                    "текстовом редакторе) или разнесите по разделам.");
        }
    }

    const HeadingTable& table_;
    std::string_view html_;
    const CheckLimits& limits_;
    Numbering numbering_;
    bool numbers_;
    int count_;
    int first_;  // the entry of the first heading: 2 behind a page of text before it
    std::unordered_map<std::string, std::uint64_t> files_;
    std::vector<std::string> titles_;  // plain text of each heading, by page
    std::vector<Finding> found_;
};

struct SeverityNames {
    const char* Word;
    const char* Key;
};

// Indexed by Severity; anything past the end reads as a note.
constexpr SeverityNames NamesBySeverity[] = {
    {"ошибка", "error"}, {"предупреждение", "warning"}, {"замечание", "note"}};

const SeverityNames& NamesOf(Severity level) {
    constexpr std::size_t Last = std::size(NamesBySeverity) - 1;
    return NamesBySeverity[std::min(static_cast<std::size_t>(level), Last)];
}

std::size_t CountOf(const std::vector<Finding>& findings, Severity level) {
    return std::size_t(std::count_if(findings.begin(), findings.end(),
                                     [level](const Finding& f) { return f.Level == level; }));
}

}  // namespace

std::vector<Finding> CheckDocument(const HeadingTable& table, std::string_view html,
                                   const std::vector<WorkFile>& files, const CheckLimits& limits,
                                   Numbering numbering) {
    return Checker(table, html, files, limits, numbering).Run();
}

std::vector<WorkFile> ListWorkFiles(const std::string& workDir) {
    namespace fs = std::filesystem;
    std::vector<WorkFile> files;
    std::error_code error;
    fs::recursive_directory_iterator it(workDir, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored) || it->is_symlink(ignored)) continue;
        const auto size = it->file_size(ignored);
        files.push_back({it->path().lexically_relative(workDir).generic_string(),
                         ignored ? 0 : std::uint64_t(size)});
    }
    return files;
}

std::string SeverityWord(Severity level) { return NamesOf(level).Word; }

std::string SeverityKey(Severity level) { return NamesOf(level).Key; }

std::string FindingText(const Finding& finding) {
    const std::string material = finding.Material.empty() ? "" : finding.Material + " — ";
    if (finding.Where.empty()) return material + finding.Message;
    return material + finding.Where + ": " + finding.Message;
}

std::string CheckSummary(const std::vector<Finding>& findings) {
    return "Проверка: " +
           Counted(CountOf(findings, Severity::Error), "ошибка", "ошибки", "ошибок") + ", " +
           Counted(CountOf(findings, Severity::Warning), "предупреждение", "предупреждения",
                   "предупреждений");
}

}  // namespace kelmo
