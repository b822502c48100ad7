#include "PageLinks.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "CheckScan.h"

namespace kelmo::links {
namespace {

struct Link {
    Pos Tag = 0;    // "<" of the link's tag
    Pos Value = 0;  // first byte of the href value, the "#"
    std::string_view Name;
    bool Reference = false;  // a note's reference: the note's text links back to it
};

struct NoteText {
    Pos From = 0;
    Pos To = 0;
    int Page = 0;
    int CitedOn = 0;  // the page of the first reference to it
};

// Word's "ftn3", "edn3" and LibreOffice's "sdfootnote3", "sdendnote3": the id of the element
// that holds a note's text.
bool IsNoteId(std::string_view id) {
    for (const std::string_view prefix : {"ftn", "edn", "sdfootnote", "sdendnote"}) {
        if (id.size() <= prefix.size() || id.substr(0, prefix.size()) != prefix) continue;
        const std::string_view digits = id.substr(prefix.size());
        if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

class Planner {
  public:
    Planner(HeadingTable& table, std::string_view html) : table_(table), html_(html) {}

    void Run(Pos bodyStart) {
        Scan(bodyStart);
        CiteNotes();
        MoveNotes();
        EditLinks();
    }

  private:
    // Anchors, links and note texts of the body, in document order.
    void Scan(Pos bodyStart) {
        int divs = 0;
        int noteDepth = 0;  // the div depth of the note text being read, 0 outside one
        for (std::size_t at = std::size_t(std::max<Pos>(bodyStart, 1) - 1); at < html_.size();) {
            const std::size_t lt = html_.find('<', at);
            if (lt == std::string_view::npos) break;
            const std::size_t gt = html_.find('>', lt + 1);
            if (gt == std::string_view::npos) break;
            at = gt + 1;
            const std::string_view tag = html_.substr(lt, gt - lt + 1);
            const std::string name = check::TagName(tag);
            if (name == "/div" && divs > 0) {
                if (noteDepth == divs) {
                    notes_.back().To = Pos(gt) + 2;
                    noteDepth = 0;
                }
                --divs;
            }
            if (name.empty() || name[0] == '/') continue;
            const std::string_view id = check::AttributeValue(tag, "id");
            if (name == "div") {
                ++divs;
                if (noteDepth == 0 && IsNoteId(id)) {
                    notes_.push_back({Pos(lt) + 1, 0, 0, 0});
                    noteDepth = divs;
                }
            }
            if (!id.empty()) anchors_.emplace(id, Pos(lt) + 1);
            if (name != "a") continue;
            const std::string_view anchor = check::AttributeValue(tag, "name");
            if (!anchor.empty()) anchors_.emplace(anchor, Pos(lt) + 1);
            const std::string_view href = check::AttributeValue(tag, "href");
            if (href.size() > 1 && href[0] == '#') {
                const Pos value = Pos(lt) + 1 + Pos(href.data() - tag.data());
                links_.push_back(
                    {Pos(lt) + 1, value, href.substr(1), check::IsNoteBackLink(anchor)});
            }
        }
        // A note text that never closes, or that a heading cuts, stays where it is.
        std::erase_if(notes_, [this](NoteText& note) {
            note.Page = PageAt(note.From);
            return note.To == 0 || PageAt(note.To - 1) != note.Page;
        });
    }

    // The page whose text holds position; 0 in front of the first page.
    int PageAt(Pos position) const {
        const auto* first = &table_.Headers[1];
        const auto* last = first + table_.HeaderCount;
        const auto* after = std::upper_bound(
            first, last, position, [](Pos p, const RHeader& entry) { return p < entry.Position; });
        return int(after - first);
    }

    // The note text that holds position, or nullptr.
    NoteText* NoteAt(Pos position) {
        auto after = std::upper_bound(notes_.begin(), notes_.end(), position,
                                      [](Pos p, const NoteText& note) { return p < note.From; });
        if (after == notes_.begin()) return nullptr;
        --after;
        return position < after->To ? &*after : nullptr;
    }

    void CiteNotes() {
        for (const Link& link : links_) {
            if (!link.Reference || NoteAt(link.Tag)) continue;
            const auto anchor = anchors_.find(link.Name);
            if (anchor == anchors_.end()) continue;
            NoteText* note = NoteAt(anchor->second);
            if (!note || note->CitedOn != 0) continue;
            note->CitedOn = PageAt(link.Tag);
            if (note->CitedOn != 0 && note->CitedOn != note->Page) cited_.push_back(note);
        }
    }

    void MoveNotes() {
        for (const NoteText& note : notes_) {
            if (note.CitedOn == 0 || note.CitedOn == note.Page) continue;
            table_.Notes.push_back({note.From, note.To});
        }
        for (const NoteText* note : cited_) {
            const auto moved =
                std::lower_bound(table_.Notes.begin(), table_.Notes.end(), note->From,
                                 [](const MovedNote& m, Pos from) { return m.From < from; });
            table_.Headers[note->CitedOn].Notes.push_back(int(moved - table_.Notes.begin()));
        }
    }

    // The page a position is shown on once the notes have moved.
    int ShownOn(Pos position) {
        const NoteText* note = NoteAt(position);
        return note && note->CitedOn != 0 ? note->CitedOn : PageAt(position);
    }

    void EditLinks() {
        for (const Link& link : links_) {
            const auto anchor = anchors_.find(link.Name);
            if (anchor == anchors_.end()) continue;
            const int from = ShownOn(link.Tag);
            int to = ShownOn(anchor->second);
            // An anchor in front of the first page stands right before it.
            const bool opensPage = to == 0 || OpensPage(to, anchor->second);
            if (to == 0) to = 1;
            if (from == 0 || from == to) continue;
            // A heading start inside the href itself would cut the edit in two.
            if (PageAt(link.Value) != PageAt(link.Value + Pos(link.Name.size()))) continue;
            std::string text(BaseName(table_.Headers[to].FileName));
            if (!opensPage) text.append(1, '#').append(link.Name);
            table_.Edits.push_back({link.Value, Pos(link.Name.size()) + 1, std::move(text)});
        }
    }

    // True when position lies in the heading element that starts page.
    bool OpensPage(int page, Pos position) const {
        const RHeader& entry = table_.Headers[page];
        return entry.Level >= 1 && position < entry.Position + Pos(entry.Heading.size());
    }

    static std::string_view BaseName(std::string_view path) {
        const auto slash = path.find_last_of('/');
        return slash == std::string_view::npos ? path : path.substr(slash + 1);
    }

    HeadingTable& table_;
    std::string_view html_;
    std::unordered_map<std::string_view, Pos> anchors_;  // name or id -> its first use
    std::vector<Link> links_;
    std::vector<NoteText> notes_;
    std::vector<const NoteText*> cited_;  // moved notes in citation order
};

}  // namespace

void PlanLinks(HeadingTable& table, std::string_view html, Pos bodyStart) {
    table.Edits.clear();
    table.Notes.clear();
    for (int i = 1; i <= table.HeaderCount; ++i) table.Headers[i].Notes.clear();
    if (table.HeaderCount < 2) return;
    Planner(table, html).Run(bodyStart);
}

}  // namespace kelmo::links
