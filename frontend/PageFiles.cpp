#include "PageFiles.h"

#include <QFileInfo>
#include <QHash>

namespace kelmo {

namespace {

constexpr char kHost[] = "local";

bool HasParentStep(const QString& path) {
    const QStringList steps = path.split(QLatin1Char('/'));
    return steps.contains(QStringLiteral(".."));
}

}  // namespace

QUrl PageUrl(const QString& filePath) {
    QUrl url;
    url.setScheme(QString::fromLatin1(PageScheme));
    url.setHost(QString::fromLatin1(kHost));
    url.setPath(QFileInfo(filePath).absoluteFilePath());
    return url;
}

QString ResolvePageFile(const QString& folder, const QUrl& url) {
    if (url.scheme() != QLatin1String(PageScheme) || url.host() != QLatin1String(kHost)) return {};
    const QString path = url.path(QUrl::FullyDecoded);
    if (!path.startsWith(QLatin1Char('/')) || HasParentStep(path)) return {};
    const QString root = QFileInfo(folder).canonicalFilePath();
    const QFileInfo info(path);
    if (root.isEmpty() || !info.isFile()) return {};
    const QString file = info.canonicalFilePath();
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return file.startsWith(prefix) ? file : QString();
}

QByteArray PageMimeType(const QString& filePath) {
    static const QHash<QString, QByteArray> types = {
        {QStringLiteral("~ht"), "text/html;charset=windows-1251"},
        {QStringLiteral("htm"), "text/html;charset=windows-1251"},
        {QStringLiteral("html"), "text/html;charset=windows-1251"},
        {QStringLiteral("txt"), "text/plain;charset=windows-1251"},
        {QStringLiteral("css"), "text/css"},
        {QStringLiteral("js"), "text/javascript"},
        {QStringLiteral("xml"), "text/xml"},
        {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("jpeg"), "image/jpeg"},
        {QStringLiteral("png"), "image/png"},
        {QStringLiteral("gif"), "image/gif"},
        {QStringLiteral("bmp"), "image/bmp"},
        {QStringLiteral("svg"), "image/svg+xml"},
        {QStringLiteral("webp"), "image/webp"},
    };
    const QString suffix = QFileInfo(filePath).suffix().toLower();
    return types.value(suffix, QByteArrayLiteral("application/octet-stream"));
}

}  // namespace kelmo
