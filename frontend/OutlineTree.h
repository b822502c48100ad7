// The outline trees of the window: an indented text file ("Titles.txt", "Names.txt")
// read into a tree of byte strings, addressed by absolute (depth-first) index.
//
// Every line of the file becomes a node: the last child of the nearest earlier line with a
// smaller indentation, top-level when there is none (so an outline whose headings all
// start at level 3 is a whole tree). The first line two or more levels deeper than the line
// before it skips a level: the load reports it as "Invalid level (%d) for item "%s"", with
// its level (indentation + 1, the heading level of a document's outline) and its text.
//
// Errors: a file that cannot be opened throws kelmo::IoError before the tree is touched;
// a lookup of a missing index throws TreeViewError("Invalid index"). Messages are UTF-8.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kelmo {

class TreeViewError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct OutlineNode {
    QByteArray Text;  // the line without its indentation, as bytes
    int Depth = 0;    // 0 for a top-level node
    OutlineNode* Parent = nullptr;
    int Row = 0;  // place among the parent's children (or among the top-level nodes)
    std::vector<OutlineNode*> Children;
};

class OutlineTree {
  public:
    OutlineTree() = default;
    OutlineTree(const OutlineTree&) = delete;
    OutlineTree& operator=(const OutlineTree&) = delete;

    // The whole file; throws IoError "Cannot open file "<path>". <reason>".
    static QByteArray ReadFile(const QString& path);
    // Reads the whole file, then loads it as LoadText does.
    QString LoadFile(const QString& path) { return LoadText(ReadFile(path)); }
    // Replaces the nodes by the lines of text. The "Invalid level" message of the first
    // line that skips a level, or an empty text.
    QString LoadText(QByteArrayView text);
    void Clear();
    // The depth-first index of the line the last load reported, or -1.
    int RefusedIndex() const { return Refused; }

    int Count() const { return static_cast<int>(Nodes.size()); }
    const std::vector<OutlineNode*>& TopLevel() const { return Roots; }

    // The node at a 0-based depth-first index. Remembers the node it found, so that the
    // same index and its neighbours take one step.
    const OutlineNode& NodeAt(int index) const;
    // The depth-first index of a node of this tree.
    int AbsoluteIndex(const OutlineNode& node) const;
    // How many nodes the last NodeAt or AbsoluteIndex stepped over.
    int LastWalkLength() const { return WalkLength; }

    // The node after / before node in depth-first order, or nullptr.
    const OutlineNode* Next(const OutlineNode& node) const;
    const OutlineNode* Previous(const OutlineNode& node) const;

  private:
    OutlineNode& Add(QByteArray text, OutlineNode* parent);
    const std::vector<OutlineNode*>& Siblings(const OutlineNode& node) const;

    std::vector<std::unique_ptr<OutlineNode>> Nodes;  // owner, flat: deep trees free safely
    std::vector<OutlineNode*> Roots;
    int Refused = -1;
    mutable const OutlineNode* Remembered = nullptr;
    mutable int RememberedIndex = -1;
    mutable int WalkLength = 0;
};

// Where a heading that stood at place with title is in a reloaded tree: the node with that
// title (section numbers aside) nearest to place, the earlier on a tie; else the node at
// place; else -1.
int FindHeading(const OutlineTree& tree, int place, QByteArrayView title);

// "1.2. Title" gives "Title": the title without its section number.
QByteArrayView WithoutNumber(QByteArrayView title);

// A title as the user reads it: windows-1251 bytes decoded.
QString DecodeWindows1251(QByteArrayView bytes);

}  // namespace kelmo
