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

// The img tag with its alt and title made from the routine's marks.
std::string Described(std::string_view tag) {
    const Attribute alt = Find(tag, "alt");
    const Attribute name = Find(tag, "name");
    std::string description;
    std::string title;
    const bool marked = alt.From != std::string_view::npos &&
                        alt.Value.find(Mark) != std::string_view::npos;
    if (marked) {
        const std::size_t mark = alt.Value.find(Mark);
        description = alt.Value.substr(0, mark);
        const std::string_view rest = alt.Value.substr(mark + Mark.size());
        title = rest.substr(0, rest.find(Mark));
    } else if (alt.From != std::string_view::npos && alt.Value != name.Value) {
        return std::string(tag);  // a text of the author's that the routine did not see
    }
    std::string out;
    out.reserve(tag.size() + description.size() + title.size() + 20);
    // Drop alt and a marked name (both hold the marks), keep the rest in order.
    std::size_t at = 0;
    const auto skip = [&](const Attribute& attribute) {
        out.append(tag.substr(at, attribute.From - at));
        at = attribute.To;
    };
    const bool dropName = name.From != std::string_view::npos &&
                          name.Value.find(Mark) != std::string_view::npos;
    const bool nameFirst = dropName && (alt.From == std::string_view::npos || name.From < alt.From);
    if (nameFirst) skip(name);
    if (alt.From != std::string_view::npos) skip(alt);
    if (dropName && !nameFirst) skip(name);
    out.append(tag.substr(at));
    // After "<img".
    std::string texts = " alt=\"" + description + "\"";
    if (!title.empty()) texts += " title=\"" + title + "\"";
    out.insert(4, texts);
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
