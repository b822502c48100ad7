#include "CheckOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <algorithm>

namespace kelmo::cli {

std::string FindingLines(const std::vector<Finding>& findings) {
    std::string lines;
    for (const Finding& finding : findings)
        lines += SeverityWord(finding.Level) + "  " + FindingText(finding) + '\n';
    return lines;
}

std::string FindingsJson(const std::vector<Finding>& findings) {
    QJsonArray list;
    for (const Finding& finding : findings) {
        QJsonObject item{
            {QStringLiteral("kind"), QString::fromStdString(finding.Kind)},
            {QStringLiteral("severity"), QString::fromStdString(SeverityKey(finding.Level))},
            {QStringLiteral("page"), finding.Page ? QJsonValue(finding.Page) : QJsonValue()},
            {QStringLiteral("message"), QString::fromUtf8(FindingText(finding))},
        };
        if (!finding.Material.empty())
            item.insert(QStringLiteral("material"), QString::fromStdString(finding.Material));
        list.append(item);
    }
    const QJsonObject root{{QStringLiteral("findings"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool HasErrors(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& finding) { return finding.Level == Severity::Error; });
}

}  // namespace kelmo::cli
