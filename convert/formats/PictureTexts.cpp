#include "PictureTexts.h"

namespace kelmo {
namespace {

constexpr std::string_view Mark = "\xEE\x80\x80";  // U+E000 in UTF-8

// One attribute written as name="value": where it starts (its blank) and its value.
struct Attribute {
    std::size_t From = std::string_view::npos;  // the blank before the name
    std::size_t To = 0;                         // after the closing quote
    std::string_view Value;
};

Attribute Find(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos;
         at = tag.find(name, at + 1)) {
        const std::size_t quote = at + name.size() + 1;
        if (at == 0 || (tag[at - 1] != ' ' && tag[at - 1] != '\t' && tag[at - 1] != '\n') ||
            quote >= tag.size() || tag[quote - 1] != '=' || tag[quote] != '"')
            continue;
        const std::size_t end = tag.find('"', quote + 1);
        if (end == std::string_view::npos) break;
        return {at - 1, end + 1, tag.substr(quote + 1, end - quote - 1)};
    }
    return {};
}

// The img tag with its alt and title made from the routine's mark.
std::string Described(std::string_view tag) {
    const Attribute alt = Find(tag, "alt");
    const std::size_t mark =
        alt.From == std::string_view::npos ? std::string_view::npos : alt.Value.find(Mark);
    std::string_view description;
    std::string_view title;
    if (mark != std::string_view::npos) {
        description = alt.Value.substr(0, mark);
        title = alt.Value.substr(mark + Mark.size());
    } else if (alt.From != std::string_view::npos && alt.Value != Find(tag, "name").Value) {
        return std::string(tag);  // a text the routine did not see (its fallback ran)
    }
    std::string out;
    out.reserve(tag.size() + title.size() + 20);
    if (alt.From == std::string_view::npos) {
        out.append(tag);
    } else {
        out.append(tag.substr(0, alt.From)).append(tag.substr(alt.To));
    }
    std::string texts = " alt=\"";
    texts.append(description).append(1, '"');
    if (!title.empty()) texts.append(" title=\"").append(title).append(1, '"');
    // At the end of the tag, in front of its "/>" or ">".
    out.insert(out.size() - (out.size() >= 2 && out[out.size() - 2] == '/' ? 2 : 1), texts);
    return out;
}

}  // namespace

std::string WithPictureTexts(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    std::size_t at = 0;
    for (std::size_t img = html.find("<img "); img != std::string_view::npos;
         img = html.find("<img ", at)) {
        const std::size_t end = html.find('>', img);
        if (end == std::string_view::npos) break;
        out.append(html.substr(at, img - at));
        out.append(Described(html.substr(img, end + 1 - img)));
        at = end + 1;
    }
    out.append(html.substr(at));
    return out;
}

}  // namespace kelmo
