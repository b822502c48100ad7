// The line above the structure tree that says why the tree may not be what the document
// means (a skipped heading level), with a link to the heading concerned.
#pragma once

#include <QLabel>

class QTreeWidget;

namespace kelmo {

class TreeNotice : public QLabel {
    Q_OBJECT

  public:
    // Puts a hidden notice above tree, in the tree's place in its splitter.
    static TreeNotice* InstallAbove(QTreeWidget& tree);

    // Shows message with a link to the node at index; an empty message hides the line.
    void ShowMessage(const QString& message, int index);
    QString Message() const { return Text; }

  signals:
    // The link was clicked: the absolute index of the node concerned.
    void NodeChosen(int index);

  private:
    explicit TreeNotice(QWidget* parent);

    QString Text;
    int Index = -1;
};

}  // namespace kelmo
