#include <algorithm>
#include <functional>

#include "LibFunc.h"

namespace kelmo {
namespace {

// Lower case of a windows-1251 byte; "Ё" and "ё" read as "е".
char Folded(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'A' && b <= 'Z') return char(b + 32);
    if (b >= 0xC0 && b <= 0xDF) return char(b + 32);
    if (b == 0xA8 || b == 0xB8) return char(0xE5);
    return c;
}

// Folded text with every run of blanks one blank, trimmed.
std::string Normalized(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= ' ') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += Folded(c);
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The part of a page between its <body ...> and </body>, or all of it.
std::string_view Body(std::string_view html) {
    const Pos open = FindFrom("<body", html, 1);
    if (open == 0) return html;
    const Pos end = FindFrom(">", html, open);
    if (end == 0) return {};
    std::string_view body = html.substr(std::size_t(end));
    const Pos close = FindFrom("</body", body, 1);
    return close == 0 ? body : body.substr(0, std::size_t(close - 1));
}

}  // namespace

std::string JoinPages(const std::vector<std::string>& pages) {
    if (pages.empty()) return {};
    const std::string_view first = pages.front();
    const std::string_view body = Body(first);
    std::string joined(first.substr(0, std::size_t(body.data() - first.data())));
    if (body.size() == first.size()) joined = "<html><body>";  // a page without <body>
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0) joined += "\r\n<div style=\"page-break-before: always\"></div>\r\n";
        joined += Body(pages[i]);
    }
    joined += "\r\n</body></html>\r\n";
    return joined;
}

void SearchIndex::AddPage(std::string_view html) {
    std::string text(Body(html));
    HtmlToPlainText(text);
    texts_.push_back(Normalized(text));
}

std::vector<SearchIndex::Hit> SearchIndex::Find(std::string_view query) const {
    std::vector<Hit> hits;
    const std::string needle = Normalized(query);
    if (needle.empty()) return hits;
    const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
    for (std::size_t page = 0; page < texts_.size(); ++page) {
        const std::string& text = texts_[page];
        int count = 0;
        for (auto at = text.begin();;) {
            const auto found = std::search(at, text.end(), searcher);
            if (found == text.end()) break;
            ++count;
            at = found + std::ptrdiff_t(needle.size());
        }
        if (count > 0) hits.push_back({int(page), count});
    }
    return hits;
}

}  // namespace kelmo
