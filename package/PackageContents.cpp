#include "PackageContents.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>

#include "LibFunc.h"
#include "LocalPath.h"

namespace kelmo {
namespace {

std::string Local(const QString& path) { return LocalPath(path); }

struct OutlineLine {
    int Indent = 0;
    QString Text;
};

// The lines of an outline file: tab-indented, CR LF after each, windows-1251.
QList<OutlineLine> ReadOutlineFile(const QString& path) {
    const std::string bytes = LoadTextFile(Local(path));
    QList<OutlineLine> lines;
    const QString text = QString::fromStdString(Windows1251ToUtf8(bytes));
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        int tabs = 0;
        while (tabs < line.size() && line[tabs] == QLatin1Char('\t')) ++tabs;
        lines.append({tabs, line.mid(tabs)});
    }
    lines.removeLast();  // after the last line end
    return lines;
}

bool IsPlainAscii(const QString& path) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*$"));
    return plain.match(path).hasMatch();
}

// A picture reference of a page: where its value stands and what it says.
struct Reference {
    qsizetype Start = 0;
    qsizetype Length = 0;
    QString Value;
};

// The src and background attributes of a page, its bytes read one character per byte.
QList<Reference> PictureReferences(const QString& page) {
    static const QRegularExpression attribute(
        QStringLiteral("\\s(?:src|background)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>\"']+))"),
        QRegularExpression::CaseInsensitiveOption);
    QList<Reference> references;
    for (auto it = attribute.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        for (int group = 1; group <= 3; ++group) {
            if (match.capturedStart(group) < 0) continue;
            references.append(
                {match.capturedStart(group), match.capturedLength(group), match.captured(group)});
        }
    }
    return references;
}

// The file inside folder that a page's reference names, or nothing for another place,
// a link or a missing file.
QString ReferencedFile(const QString& folder, const QString& value) {
    const QByteArray bytes = value.toLatin1();
    QString path = QUrl::fromPercentEncoding(bytes);
    if (!QString::fromLatin1(bytes).contains(QLatin1Char('%')))
        path = QStringDecoder("windows-1251").decode(bytes);
    path = QDir::cleanPath(path);
    if (path.isEmpty() || path.contains(QLatin1Char(':')) || path.startsWith(QLatin1Char('/')) ||
        path.startsWith(QLatin1String("..")))
        return {};
    const QFileInfo file(QDir(folder).filePath(path));
    const QString root = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
    if (file.isSymLink() || !file.isFile() || !file.canonicalFilePath().startsWith(root)) return {};
    return path;
}

class MaterialCollector {
  public:
    MaterialCollector(const PackagedMaterial& material, QString prefix, bool withManifest,
                      PackageContents& contents)
        : material_(material),
          prefix_(std::move(prefix)),
          withManifest_(withManifest),
          contents_(contents) {}

    std::vector<PackageItem> Collect() {
        const QList<OutlineLine> titles = ReadOutlineFile(InFolder(QStringLiteral("Titles.txt")));
        const QList<OutlineLine> names = ReadOutlineFile(InFolder(QStringLiteral("Names.txt")));
        std::vector<PackageItem> top;
        // The items that may still receive children, with their indents. Each lies in its
        // parent's list, which stays unchanged while it is here (pointers stay valid).
        std::vector<std::pair<int, PackageItem*>> open;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const SectionParameters section = SectionFor(material_.Sections, names[i].Text);
            if (withManifest_ && section.LeftOut) continue;
            PackageItem item = AddPage(names[i].Text);
            item.Title = !section.Title.isEmpty() ? section.Title
                         : i < titles.size()      ? titles[i].Text
                                                  : QString();
            while (!open.empty() && open.back().first >= names[i].Indent) open.pop_back();
            auto& siblings = open.empty() ? top : open.back().second->Children;
            siblings.push_back(std::move(item));
            open.emplace_back(names[i].Indent, &siblings.back());
        }
        if (!withManifest_) {
            AddFile(QStringLiteral("Titles.txt"), ReadWholeFile(Local(InFolder("Titles.txt"))));
            AddFile(QStringLiteral("Names.txt"), ReadWholeFile(Local(InFolder("Names.txt"))));
        }
        return top;
    }

  private:
    QString InFolder(const QString& name) const {
        return QDir(material_.WorkFolder).filePath(name);
    }

    QString AddFile(const QString& path, std::string bytes) {
        contents_.Files.push_back({prefix_ + path, std::move(bytes)});
        return prefix_ + path;
    }

    // The page with its pictures; references to pictures renamed for the package follow.
    PackageItem AddPage(const QString& name) {
        if (!IsPlainAscii(name) || name.contains(QLatin1Char('/')))
            throw IoError("Cannot open file \"" + Local(name) + "\".");
        std::string bytes = ReadWholeFile(Local(InFolder(name)));
        PackageItem item;
        const QString page = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
        QList<Reference> references = PictureReferences(page);
        std::reverse(references.begin(), references.end());
        for (const Reference& reference : references) {
            const QString file = ReferencedFile(material_.WorkFolder, reference.Value);
            if (file.isEmpty()) continue;
            const QString packaged = AddPicture(file);
            if (!item.Pictures.contains(prefix_ + packaged))
                item.Pictures.prepend(prefix_ + packaged);
            if (packaged != file) {
                bytes.replace(std::size_t(reference.Start), std::size_t(reference.Length),
                              packaged.toStdString());
            }
        }
        item.Page = AddFile(name, std::move(bytes));
        return item;
    }

    // The picture's path in the package (without prefix), added on first use.
    QString AddPicture(const QString& file) {
        if (const auto known = pictures_.constFind(file); known != pictures_.constEnd())
            return *known;
        QString packaged = file;
        if (!IsPlainAscii(file)) {
            const QString suffix = QFileInfo(file).suffix();
            packaged = QStringLiteral("pictures/p%1").arg(++renamed_) +
                       (IsPlainAscii(suffix) ? QLatin1Char('.') + suffix : QString());
        }
        pictures_.insert(file, packaged);
        AddFile(packaged, ReadWholeFile(Local(InFolder(file))));
        return packaged;
    }

    const PackagedMaterial& material_;
    const QString prefix_;
    const bool withManifest_;
    PackageContents& contents_;
    QHash<QString, QString> pictures_;  // file in the work folder: path in the package
    int renamed_ = 0;
};

}  // namespace

PackageContents CollectContents(const PackageRequest& request, bool withManifest) {
    PackageContents contents;
    for (qsizetype i = 0; i < request.Materials.size(); ++i) {
        const PackagedMaterial& material = request.Materials[i];
        const QString prefix =
            request.IsCourse ? QStringLiteral("material_%1/").arg(i + 1) : QString();
        std::vector<PackageItem> items =
            MaterialCollector(material, prefix, withManifest, contents).Collect();
        if (!request.IsCourse) {
            for (PackageItem& item : items) contents.Items.push_back(std::move(item));
            continue;
        }
        PackageItem top;
        top.Title = material.Title;
        top.Children = std::move(items);
        contents.Items.push_back(std::move(top));
    }
    if (withManifest || request.CourseOutline.isEmpty()) return contents;
    for (const char* name : {"Titles.txt", "Names.txt"})
        contents.Files.push_back(
            {name, ReadWholeFile(Local(QDir(request.CourseOutline).filePath(name)))});
    return contents;
}

}  // namespace kelmo
