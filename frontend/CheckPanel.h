// The panel under the page that lists what the author's check found, and the marks it puts
// on the structure tree.
#pragma once

#include <LibFunc.h>

#include <QDockWidget>
#include <vector>

class QListWidget;
class QTreeWidget;

namespace kelmo {

class CheckPanel : public QDockWidget {
    Q_OBJECT

  public:
    explicit CheckPanel(QWidget* parent = nullptr);

    // Lists findings in the order given, or "Замечаний нет" when there are none. Without
    // numbers the pages are named as the tree names them, by title alone.
    void ShowFindings(const std::vector<Finding>& findings);
    // Empties the list while no document is split.
    void Clear();
    // Selects the first finding about page (1-based line of the outline), if any.
    void SelectPage(int page);
    QListWidget& List() { return *Findings; }

  signals:
    // A finding about a page was clicked: the 1-based line of the outline.
    void PageChosen(int page);

  private:
    QListWidget* Findings;
};

// Gives each node of tree (whose Qt::UserRole holds its absolute index) the icon of the worst
// error or warning about its page; other nodes lose theirs.
void MarkPages(QTreeWidget& tree, const std::vector<Finding>& findings);

}  // namespace kelmo
