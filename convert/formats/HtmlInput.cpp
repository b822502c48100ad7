#include "HtmlInput.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <unordered_set>
#include <utility>

#include "AsciiText.h"
#include "Charset1251.h"
#include "Converter.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

constexpr std::string_view ReferenceAttributes[] = {"src=", "href=", "background="};

bool IsAttributeStart(std::string_view html, std::size_t at) {
    return at > 0 && static_cast<unsigned char>(html[at - 1]) <= ' ';
}

// The attribute value that begins at html[at], quoted or not.
std::string_view AttributeValue(std::string_view html, std::size_t at) {
    if (at >= html.size()) return {};
    const char quote = html[at];
    if (quote == '"' || quote == '\'') {
        const std::size_t end = html.find(quote, at + 1);
        return end == std::string_view::npos ? std::string_view()
                                             : html.substr(at + 1, end - at - 1);
    }
    std::size_t end = at;
    while (end < html.size() && static_cast<unsigned char>(html[end]) > ' ' && html[end] != '>') {
        ++end;
    }
    return html.substr(at, end - at);
}

// The local path a reference names, cleaned, or empty for one that cannot name a file inside
// the page's folder.
QString LocalPath(std::string_view value) {
    QByteArray reference(value.data(), qsizetype(value.size()));
    reference = reference.trimmed().replace("&amp;", "&");
    for (const char stop : {'?', '#'}) {
        const qsizetype at = reference.indexOf(stop);
        if (at >= 0) reference.truncate(at);
    }
    const qsizetype colon = reference.indexOf(':');
    const qsizetype slash = reference.indexOf('/');
    const bool hasScheme = colon >= 0 && (slash < 0 || colon < slash);
    if (reference.isEmpty() || hasScheme || reference.startsWith('/') ||
        reference.startsWith('\\')) {
        return {};
    }
    const QString path =
        QDir::cleanPath(QFile::decodeName(QByteArray::fromPercentEncoding(reference)));
    if (path == QLatin1String("..") || path.startsWith(QLatin1String("../"))) return {};
    return path;
}

// Owns a descriptor; -1 when there is none.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }

  private:
    int fd_;
};

constexpr int NoLinkFlags = O_NOFOLLOW | O_CLOEXEC;

// The folder path names beneath folder ("" for folder itself), reached through folders
// that are not links; with make, each missing one is made on the way.
Descriptor OpenFolderBeneath(int folder, std::string_view path, bool make) {
    Descriptor current(::openat(folder, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t begin = 0; begin < path.size() && current.Get() >= 0;) {
        const std::size_t end = std::min(path.find('/', begin), path.size());
        const std::string part(path.substr(begin, end - begin));
        if (make) ::mkdirat(current.Get(), part.c_str(), 0777);
        current =
            Descriptor(::openat(current.Get(), part.c_str(), O_PATH | O_DIRECTORY | NoLinkFlags));
        begin = end + 1;
    }
    return current;
}

std::string_view FolderPart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string_view NamePart(std::string_view path) { return path.substr(path.rfind('/') + 1); }

// The file at relative (clean, not leading out) beneath folder, opened for reading, when
// no part of the way is a symbolic link: in one call where the kernel resolves beneath a
// folder, else a part at a time.
Descriptor OpenFileBeneath(int folder, const std::string& relative) {
    constexpr int flags = O_RDONLY | O_NONBLOCK | NoLinkFlags;
    open_how how{};
    how.flags = flags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return Descriptor(int(fd));
    const Descriptor parent = OpenFolderBeneath(folder, FolderPart(relative), false);
    if (parent.Get() < 0) return Descriptor();
    return Descriptor(::openat(parent.Get(), std::string(NamePart(relative)).c_str(), flags));
}

// Copies the file at relative beneath from to the same place beneath to, when it is a
// regular file reached without a link and its copy would be neither the export, nor the
// file itself, nor written through a link.
void CopyReferencedFile(int from, const QFileInfo& output, int to, const QString& relative) {
    if (relative == output.fileName()) return;
    const std::string name = QFile::encodeName(relative).toStdString();
    const Descriptor source = OpenFileBeneath(from, name);
    struct stat sourceInfo {};
    if (source.Get() < 0 || ::fstat(source.Get(), &sourceInfo) != 0 ||
        !S_ISREG(sourceInfo.st_mode)) {
        return;
    }
    const Descriptor folder = OpenFolderBeneath(to, FolderPart(name), true);
    if (folder.Get() < 0) return;
    struct stat targetInfo {};
    if (::fstatat(folder.Get(), std::string(NamePart(name)).c_str(), &targetInfo,
                  AT_SYMLINK_NOFOLLOW) == 0 &&
        (S_ISLNK(targetInfo.st_mode) ||
         (targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino))) {
        return;
    }
    std::string bytes;
    ReadRestOfFile(source.Get(), name, bytes);
    WriteWholeFile(JoinPath(QFile::encodeName(output.absolutePath()).toStdString(), name), bytes);
}

}  // namespace

QStringList LocalReferences(std::string_view html) {
    QStringList references;
    QSet<QString> seen;
    std::unordered_set<std::string_view> seenValues;
    for (std::size_t at = html.find('='); at != std::string_view::npos;
         at = html.find('=', at + 1)) {
        for (const std::string_view attribute : ReferenceAttributes) {
            if (at + 1 < attribute.size()) continue;
            const std::size_t start = at + 1 - attribute.size();
            if (!StartsWithNoCase(html, start, attribute) || !IsAttributeStart(html, start)) {
                continue;
            }
            const std::string_view value = AttributeValue(html, at + 1);
            if (!seenValues.insert(value).second) continue;
            const QString path = LocalPath(value);
            if (!path.isEmpty() && !seen.contains(path)) {
                seen.insert(path);
                references << path;
            }
        }
    }
    return references;
}

void ImportHtml(const QString& htmlPath, std::string html, const QString& outputHtml) {
    const QFileInfo input(htmlPath);
    const QFileInfo output(outputHtml);
    if (input.canonicalFilePath() == output.canonicalFilePath()) return;
    const QStringList references = LocalReferences(html);
    // The picture folders first: an output folder inside one of them is refused before
    // anything is written.
    CopyPictureFolders(htmlPath, output.absolutePath());
    WriteWholeFile(QFile::encodeName(outputHtml).toStdString(), HtmlAsWindows1251(std::move(html)));

    const Descriptor from(::open(QFile::encodeName(input.absolutePath()).constData(),
                                 O_PATH | O_DIRECTORY | O_CLOEXEC));
    const Descriptor to(::open(QFile::encodeName(output.absolutePath()).constData(),
                               O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (from.Get() < 0 || to.Get() < 0) return;
    for (const QString& relative : references) {
        CopyReferencedFile(from.Get(), output, to.Get(), relative);
    }
}

}  // namespace kelmo
