#include "TreeNotice.h"

#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelmo {

TreeNotice::TreeNotice(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("TreeNotice"));
    setWordWrap(true);
    setTextFormat(Qt::RichText);
    setMargin(4);
    setStyleSheet(QStringLiteral("background: #fdecea; color: #8a1c12;"));
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    hide();
    connect(this, &QLabel::linkActivated, this, [this] {
        if (Index >= 0) emit NodeChosen(Index);
    });
}

TreeNotice* TreeNotice::InstallAbove(QTreeWidget& tree) {
    auto* splitter = qobject_cast<QSplitter*>(tree.parentWidget());
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("TreeColumn"));
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* notice = new TreeNotice(column);
    const int place = splitter ? splitter->indexOf(&tree) : -1;
    layout->addWidget(notice);
    layout->addWidget(&tree);
    if (splitter) splitter->insertWidget(place, column);
    return notice;
}

void TreeNotice::ShowMessage(const QString& message, int index) {
    Text = message;
    Index = index;
    if (message.isEmpty()) {
        hide();
        return;
    }
    QString html = message.toHtmlEscaped();
    if (index >= 0) html += QStringLiteral(" — <a href=\"#node\">показать</a>");
    setText(html);
    show();
}

}  // namespace kelmo
