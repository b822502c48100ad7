// What a package changes in its copies of the pages: navigation bars, the contents page, the
// SCORM script, and deeper pages merged into their ancestor's.
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <cctype>

#include "Charset1251.h"
#include "PackageContents.h"

namespace kelmo {
namespace {

constexpr auto npos = std::string::npos;
const QString ContentsPage = QStringLiteral("index.htm");
const QString ScormScript = QStringLiteral("kelmo-scorm.js");

// Finds a SCORM 1.2 run-time in the windows around the page (the parents, then the opener's),
// reports the page completed once shown and finishes on leaving. Outside a learning system
// it finds none and does nothing.
constexpr char ScormScriptText[] =
    R"(// Reports this page to the learning system's SCORM 1.2 run-time, when there is one.
(function () {
  "use strict";
  function apiIn(win) {
    for (var hops = 0; win && hops < 100; hops++) {
      try {
        if (win.API && typeof win.API.LMSInitialize === "function") return win.API;
      } catch (e) {}
      var parent = null;
      try { parent = win.parent; } catch (e) {}
      if (!parent || parent === win) break;
      win = parent;
    }
    return null;
  }
  function findApi() {
    var api = apiIn(window);
    try {
      if (!api && window.opener) api = apiIn(window.opener);
      if (!api && window.top && window.top.opener) api = apiIn(window.top.opener);
    } catch (e) {}
    return api;
  }
  var api = findApi();
  if (!api) return;
  try {
    if (String(api.LMSInitialize("")) !== "true") return;
  } catch (e) {
    return;
  }
  var finished = false;
  function complete() {
    try {
      var status = String(api.LMSGetValue("cmi.core.lesson_status"));
      if (status !== "completed" && status !== "passed") {
        api.LMSSetValue("cmi.core.lesson_status", "completed");
      }
      api.LMSCommit("");
    } catch (e) {}
  }
  function finish() {
    if (finished) return;
    finished = true;
    try { api.LMSFinish(""); } catch (e) {}
  }
  if (document.readyState === "complete") complete();
  else window.addEventListener("load", complete);
  window.addEventListener("pagehide", finish);
  window.addEventListener("beforeunload", finish);
})();
)";

constexpr char NavigationStyle[] =
    "<style>\n"
    ".kelmo-nav{font:10pt sans-serif;text-align:left;text-indent:0;margin:0 0 12pt 0;"
    "padding:3pt 0;border-bottom:1px solid #bbb}\n"
    ".kelmo-nav div{font:10pt sans-serif;text-align:left;text-indent:0;color:#555;"
    "margin-bottom:3pt}\n"
    ".kelmo-nav a,.kelmo-nav span{margin-right:14pt}\n"
    ".kelmo-nav span{color:#999}\n"
    ".kelmo-bottom{margin:12pt 0 0 0;border-top:1px solid #bbb;border-bottom:0}\n"
    "</style>\n";

std::string Lower(std::string_view bytes) {
    std::string lower(bytes);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Where a tag named name (lower case, "<body") starts at or after from in lower.
std::size_t FindTag(const std::string& lower, std::string_view name, std::size_t from) {
    for (std::size_t at = lower.find(name, from); at != npos; at = lower.find(name, at + 1)) {
        const std::size_t after = at + name.size();
        if (after >= lower.size() || lower[after] == '>' || std::isspace(lower[after])) return at;
    }
    return npos;
}

// The body's content of a page: from after "<body ...>" to "</body>"; the whole page when
// it has no such tags. HeadEnd: where "</head>" stands, or npos.
struct Body {
    std::size_t Begin = 0;
    std::size_t End = 0;
    std::size_t HeadStart = 0;  // after "<head ...>", or 0
    std::size_t HeadEnd = npos;
};

Body BodyOf(const std::string& page) {
    const std::string lower = Lower(page);
    Body body{0, page.size(), 0, npos};
    if (const std::size_t open = FindTag(lower, "<body", 0); open != npos) {
        const std::size_t close = lower.find('>', open);
        if (close != npos) body.Begin = close + 1;
    }
    if (const std::size_t end = lower.rfind("</body"); end != npos && end >= body.Begin)
        body.End = end;
    if (const std::size_t head = FindTag(lower, "</head", 0); head != npos && head < body.Begin)
        body.HeadEnd = head;
    if (const std::size_t head = FindTag(lower, "<head", 0); head != npos && head < body.Begin) {
        const std::size_t close = lower.find('>', head);
        if (close != npos && close < body.Begin) body.HeadStart = close + 1;
    }
    return body;
}

// Text for an HTML page in windows-1251: markup characters escaped, what the code page
// lacks as character references.
std::string HtmlText(const QString& text) {
    QString plain = text;
    for (QChar& c : plain)
        if (c.unicode() < 0x20) c = QLatin1Char(' ');
    return Utf8ToWindows1251(plain.simplified().toHtmlEscaped().toStdString());
}

std::string Link(const QString& page, const QString& path, const char* text) {
    return "<a href=\"" + RelativePath(page, path).toStdString() + "\">" + text + "</a>";
}

// The pages in the order of the tree, each with the titles of the items above it.
struct PagePlace {
    PackageItem* Item = nullptr;
    QStringList Path;
};

void ListPages(std::vector<PackageItem>& items, QStringList& path, std::vector<PagePlace>& pages) {
    for (PackageItem& item : items) {
        if (!item.Page.isEmpty()) pages.push_back({&item, path});
        path.append(DisplayTitle(item));
        ListPages(item.Children, path, pages);
        path.removeLast();
    }
}

std::string Bar(const QString& title, const std::vector<PagePlace>& pages, std::size_t i,
                bool top) {
    const QString& page = pages[i].Item->Page;
    std::string bar = top ? "<div class=\"kelmo-nav\">" : "<div class=\"kelmo-nav kelmo-bottom\">";
    if (top) {
        QStringList path = pages[i].Path;
        path.prepend(title);
        path.append(DisplayTitle(*pages[i].Item));
        std::string line;
        for (const QString& part : path)
            line += (line.empty() ? "" : " &rsaquo; ") + HtmlText(part);
        bar += "<div>" + line + "</div>";
    }
    bar += i > 0 ? Link(page, pages[i - 1].Item->Page, "&larr; \xcd\xe0\xe7\xe0\xe4")
                 : "<span>&larr; \xcd\xe0\xe7\xe0\xe4</span>";                    // "Назад"
    bar += Link(page, ContentsPage, "\xd1\xee\xe4\xe5\xf0\xe6\xe0\xed\xe8\xe5");  // "Содержание"
    bar += i + 1 < pages.size()
               ? Link(page, pages[i + 1].Item->Page, "\xc4\xe0\xeb\xe5\xe5 &rarr;")  // "Далее"
               : "<span>\xc4\xe0\xeb\xe5\xe5 &rarr;</span>";
    return bar + "</div>\n";
}

void ListItems(const std::vector<PackageItem>& items, std::string& out) {
    if (items.empty()) return;
    out += "<ul>\n";
    for (const PackageItem& item : items) {
        const std::string title = HtmlText(DisplayTitle(item));
        out += item.Page.isEmpty()
                   ? "<li>" + title
                   : "<li><a href=\"" + item.Page.toStdString() + "\">" + title + "</a>";
        ListItems(item.Children, out);
        out += "</li>\n";
    }
    out += "</ul>\n";
}

std::string ContentsPageText(const PackageRequest& request, const std::vector<PackageItem>& items) {
    const std::string title = HtmlText(request.Title);
    std::string page =
        "<html><head>\n<meta http-equiv=Content-Type content=\"text/html; "
        "charset=windows-1251\">\n<title>" +
        title + "</title>\n</head>\n<body>\n<h1>" + title + "</h1>\n";
    for (const QString& line : request.Description.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.trimmed().isEmpty()) page += "<p>" + HtmlText(line) + "</p>\n";
    ListItems(items, page);
    return page + "</body></html>\n";
}

PackageFile* FileAt(PackageContents& contents, const QString& path) {
    const auto found = std::find_if(contents.Files.begin(), contents.Files.end(),
                                    [&](const PackageFile& file) { return file.Path == path; });
    return found == contents.Files.end() ? nullptr : &*found;
}

// The pages below item in the order of the tree, the item's children emptied.
void TakeDescendants(PackageItem& item, std::vector<PackageItem>& taken) {
    for (PackageItem& child : item.Children) {
        std::vector<PackageItem> below;
        TakeDescendants(child, below);
        taken.push_back(std::move(child));
        for (PackageItem& deeper : below) taken.push_back(std::move(deeper));
    }
    item.Children.clear();
}

void MergeLevel(std::vector<PackageItem>& items, int levels, PackageContents& contents,
                QHash<QString, QString>& mergedInto) {
    for (PackageItem& item : items) {
        if (levels > 1 || item.Page.isEmpty()) {
            MergeLevel(item.Children, levels - 1, contents, mergedInto);
            continue;
        }
        std::vector<PackageItem> below;
        TakeDescendants(item, below);
        PackageFile* host = FileAt(contents, item.Page);
        std::string added;
        for (const PackageItem& deeper : below) {
            for (const QString& picture : deeper.Pictures)
                if (!item.Pictures.contains(picture)) item.Pictures.append(picture);
            if (deeper.Page.isEmpty()) continue;
            mergedInto.insert(deeper.Page, item.Page);
            const auto file = std::find_if(
                contents.Files.begin(), contents.Files.end(),
                [&](const PackageFile& candidate) { return candidate.Path == deeper.Page; });
            if (file == contents.Files.end()) continue;
            const Body body = BodyOf(file->Bytes);
            added += file->Bytes.substr(body.Begin, body.End - body.Begin) + "\n";
            contents.Files.erase(file);
            host = FileAt(contents, item.Page);
        }
        const Body body = BodyOf(host->Bytes);
        host->Bytes.insert(body.End, added);
    }
}

// Turns links to merged pages into links to the page that holds them now.
void RetargetLinks(PackageFile& file, const QHash<QString, QString>& mergedInto) {
    static const QRegularExpression href(QStringLiteral("\\shref\\s*=\\s*[\"']?([^\"'#\\s>]+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString page = QString::fromLatin1(file.Bytes.data(), qsizetype(file.Bytes.size()));
    const QString folder = QFileInfo(file.Path).path();
    QList<QRegularExpressionMatch> matches;
    for (auto it = href.globalMatch(page); it.hasNext();) matches.append(it.next());
    std::reverse(matches.begin(), matches.end());
    for (const QRegularExpressionMatch& match : matches) {
        const QString target = QDir::cleanPath(folder == QLatin1String(".")
                                                   ? match.captured(1)
                                                   : folder + QLatin1Char('/') + match.captured(1));
        const auto host = mergedInto.constFind(target);
        if (host == mergedInto.constEnd()) continue;
        file.Bytes.replace(std::size_t(match.capturedStart(1)),
                           std::size_t(match.capturedLength(1)),
                           RelativePath(file.Path, *host).toStdString());
    }
}

}  // namespace

const QString XmlNs = QStringLiteral("http://www.w3.org/XML/1998/namespace");

QString XmlText(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return text;
}

QString RelativePath(const QString& page, const QString& path) {
    if (QFileInfo(page).path() == QFileInfo(path).path()) return QFileInfo(path).fileName();
    return QStringLiteral("../").repeated(page.count(QLatin1Char('/'))) + path;
}

QString DisplayTitle(const PackageItem& item) {
    const QString title = item.Title.simplified();
    return title.isEmpty() ? QStringLiteral("Без названия") : title;
}

void MergeDeeperPages(PackageContents& contents, int levels) {
    QHash<QString, QString> mergedInto;
    MergeLevel(contents.Items, levels, contents, mergedInto);
    if (mergedInto.isEmpty()) return;
    for (PackageFile& file : contents.Files)
        if (file.Path.endsWith(QLatin1String(".htm")) || file.Path.endsWith(QLatin1String(".html")))
            RetargetLinks(file, mergedInto);
}

QStringList AddNavigation(PackageContents& contents, const PackageRequest& request, bool scorm) {
    std::vector<PagePlace> pages;
    QStringList path;
    ListPages(contents.Items, path, pages);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        PackageFile* file = FileAt(contents, pages[i].Item->Page);
        if (!file) continue;
        std::string& bytes = file->Bytes;
        const Body body = BodyOf(bytes);
        std::string bottom = Bar(request.Title, pages, i, false);
        if (scorm)
            bottom += "<script src=\"" + RelativePath(file->Path, ScormScript).toStdString() +
                      "\"></script>\n";
        bytes.insert(body.End, bottom);
        bytes.insert(body.Begin, Bar(request.Title, pages, i, true));
        bytes.insert(body.Begin, 1, '\n');
        bytes.insert(body.HeadEnd == npos ? body.Begin : body.HeadEnd, NavigationStyle);
        // The browser runs none of the document's own scripts, only ours from the package.
        bytes.insert(body.HeadStart, scorm ? "\n<meta http-equiv=\"Content-Security-Policy\" "
                                             "content=\"script-src 'self'; object-src 'none'\">"
                                           : "\n<meta http-equiv=\"Content-Security-Policy\" "
                                             "content=\"script-src 'none'; object-src 'none'\">");
    }
    contents.Files.push_back({ContentsPage, ContentsPageText(request, contents.Items)});
    QStringList common{ContentsPage};
    if (scorm) {
        contents.Files.push_back({ScormScript, ScormScriptText});
        common.append(ScormScript);
    }
    return common;
}

}  // namespace kelmo
