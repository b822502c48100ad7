#include "OutlineTree.h"

#include <LibFunc.h>

#include <QFile>
#include <cstdlib>
#include <string_view>

namespace kelmo {

namespace {

// Splits at CR LF, lone CR and lone LF; the text ends at the first NUL and a final line
// end makes no further line.
std::vector<QByteArrayView> SplitLines(QByteArrayView text) {
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0) text = text.first(nul);
    std::vector<QByteArrayView> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.push_back(text.sliced(start, i - start));
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size()) lines.push_back(text.sliced(start));
    return lines;
}

int IndentOf(QByteArrayView line) {
    int n = 0;
    while (n < line.size() && (line[n] == '\t' || line[n] == ' ')) ++n;
    return n;
}

QString InvalidLevelMessage(int level, QByteArrayView itemText) {
    return QStringLiteral("Invalid level (%1) for item \"%2\"")
        .arg(level)
        .arg(DecodeWindows1251(itemText));
}

}  // namespace

QString DecodeWindows1251(QByteArrayView bytes) {
    return QString::fromStdString(
        Windows1251ToUtf8(std::string_view(bytes.data(), std::size_t(bytes.size()))));
}

QByteArray OutlineTree::ReadFile(const QString& path) {
    const std::string bytes = ReadWholeFile(QFile::encodeName(path).toStdString());
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

void OutlineTree::Clear() {
    Roots.clear();
    Nodes.clear();
    Refused = -1;
    Remembered = nullptr;
    RememberedIndex = -1;
}

OutlineNode& OutlineTree::Add(QByteArray text, OutlineNode* parent) {
    auto node = std::make_unique<OutlineNode>();
    node->Text = std::move(text);
    node->Parent = parent;
    node->Depth = parent ? parent->Depth + 1 : 0;
    std::vector<OutlineNode*>& siblings = parent ? parent->Children : Roots;
    node->Row = static_cast<int>(siblings.size());
    siblings.push_back(node.get());
    Nodes.push_back(std::move(node));
    return *Nodes.back();
}

QString OutlineTree::LoadText(QByteArrayView text) {
    Clear();
    QString firstRefused;
    // Earlier lines with strictly rising indentation: the top is the nearest earlier line
    // with a smaller indentation than the one read, which becomes the parent.
    std::vector<std::pair<int, OutlineNode*>> smaller;
    int previousIndent = -1;
    for (const QByteArrayView line : SplitLines(text)) {
        const int indent = IndentOf(line);
        QByteArray itemText = line.sliced(indent).toByteArray();
        while (!smaller.empty() && smaller.back().first >= indent) smaller.pop_back();
        if (firstRefused.isEmpty() && previousIndent >= 0 && indent > previousIndent + 1) {
            firstRefused = InvalidLevelMessage(indent + 1, itemText);
            Refused = Count();
        }
        OutlineNode* parent = smaller.empty() ? nullptr : smaller.back().second;
        smaller.emplace_back(indent, &Add(std::move(itemText), parent));
        previousIndent = indent;
    }
    return firstRefused;
}

const std::vector<OutlineNode*>& OutlineTree::Siblings(const OutlineNode& node) const {
    return node.Parent ? node.Parent->Children : Roots;
}

const OutlineNode* OutlineTree::Next(const OutlineNode& node) const {
    if (!node.Children.empty()) return node.Children.front();
    for (const OutlineNode* up = &node; up; up = up->Parent) {
        const std::vector<OutlineNode*>& siblings = Siblings(*up);
        if (up->Row + 1 < static_cast<int>(siblings.size())) return siblings[up->Row + 1];
    }
    return nullptr;
}

const OutlineNode* OutlineTree::Previous(const OutlineNode& node) const {
    if (node.Row == 0) return node.Parent;
    const OutlineNode* last = Siblings(node)[node.Row - 1];
    while (!last->Children.empty()) last = last->Children.back();
    return last;
}

const OutlineNode& OutlineTree::NodeAt(int index) const {
    if (index < 0 || index >= Count()) throw TreeViewError("Invalid index");
    const OutlineNode* node = nullptr;
    if (Remembered && index == RememberedIndex) {
        node = Remembered;
    } else if (Remembered && index == RememberedIndex + 1) {
        node = Next(*Remembered);
    } else if (Remembered && index == RememberedIndex - 1) {
        node = Previous(*Remembered);
    }
    if (node) {
        WalkLength = 1;
    } else {
        node = Roots.front();
        for (int i = 0; i < index; ++i) node = Next(*node);
        WalkLength = index + 1;
    }
    Remembered = node;
    RememberedIndex = index;
    return *node;
}

int OutlineTree::AbsoluteIndex(const OutlineNode& node) const {
    if (&node == Remembered) {
        WalkLength = 1;
        return RememberedIndex;
    }
    int index = 0;
    for (const OutlineNode* walk = &node; (walk = Previous(*walk)); ++index) {
    }
    WalkLength = index + 1;
    return index;
}

QByteArrayView WithoutNumber(QByteArrayView title) {
    qsizetype i = 0;
    while (i < title.size() && (title[i] == '.' || (title[i] >= '0' && title[i] <= '9'))) ++i;
    if (i > 0 && i < title.size() && title[i - 1] == '.' && title[i] == ' ')
        return title.sliced(i + 1);
    return title;
}

int FindHeading(const OutlineTree& tree, int place, QByteArrayView title) {
    title = WithoutNumber(title);
    int found = -1;
    int index = 0;
    for (const OutlineNode* node = tree.Count() ? &tree.NodeAt(0) : nullptr; node;
         node = tree.Next(*node), ++index) {
        if (WithoutNumber(node->Text) != title) continue;
        if (found < 0 || std::abs(index - place) < std::abs(found - place)) found = index;
        if (index >= place) break;  // later ones are farther still
    }
    if (found >= 0) return found;
    return place >= 0 && place < tree.Count() ? place : -1;
}

}  // namespace kelmo
