#include "CheckPanel.h"

#include <QApplication>
#include <QListWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <map>

#include "OutlineTree.h"

namespace kelmo {
namespace {

QIcon SeverityIcon(Severity level) {
    QStyle* style = QApplication::style();
    switch (level) {
        case Severity::Error:
            return style->standardIcon(QStyle::SP_MessageBoxCritical);
        case Severity::Warning:
            return style->standardIcon(QStyle::SP_MessageBoxWarning);
        case Severity::Note:
            break;
    }
    return style->standardIcon(QStyle::SP_MessageBoxInformation);
}

}  // namespace

CheckPanel::CheckPanel(QWidget* parent)
    : QDockWidget(QStringLiteral("Проверка"), parent), Findings(new QListWidget(this)) {
    setObjectName(QStringLiteral("CheckPanel"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    Findings->setObjectName(QStringLiteral("lvFindings"));
    Findings->setWordWrap(true);
    Findings->setAlternatingRowColors(true);
    Findings->setIconSize(QSize(16, 16));
    setWidget(Findings);
    connect(Findings, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int page = item->data(Qt::UserRole).toInt();
        if (page > 0) emit PageChosen(page);
    });
}

void CheckPanel::ShowFindings(const std::vector<Finding>& findings) {
    Clear();
    if (findings.empty()) {
        Findings->addItem(QStringLiteral("Замечаний нет"));
        return;
    }
    for (const Finding& finding : findings) {
        const QString text = QString::fromUtf8(FindingText(finding));
        auto* item = new QListWidgetItem(SeverityIcon(finding.Level), text, Findings);
        item->setToolTip(QString::fromUtf8(SeverityWord(finding.Level)) + QStringLiteral(": ") +
                         text);
        item->setData(Qt::UserRole, finding.Page);
    }
}

void CheckPanel::Clear() { Findings->clear(); }

void CheckPanel::SelectPage(int page) {
    for (int i = 0; i < Findings->count(); ++i) {
        if (Findings->item(i)->data(Qt::UserRole).toInt() != page) continue;
        Findings->setCurrentRow(i);
        Findings->scrollToItem(Findings->item(i));
        return;
    }
}

void MarkPages(QTreeWidget& tree, const std::vector<Finding>& findings) {
    std::map<int, Severity> worst;  // page -> the most severe error or warning
    for (const Finding& finding : findings) {
        if (finding.Page == 0 || finding.Level == Severity::Note) continue;
        const auto [it, fresh] = worst.emplace(finding.Page, finding.Level);
        if (!fresh && finding.Level < it->second) it->second = finding.Level;
    }
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        const auto found = worst.find((*it)->data(0, Qt::UserRole).toInt() + 1);
        (*it)->setIcon(0, found == worst.end() ? QIcon() : SeverityIcon(found->second));
    }
}

}  // namespace kelmo
