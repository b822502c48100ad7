// What goes into a package: its files with their paths inside it, and the table of
// contents built from the materials' outlines.
#pragma once

#include <string>
#include <vector>

#include "Package.h"

namespace kelmo {

struct PackageFile {
    QString Path;  // inside the package, "/" between folders, ASCII
    std::string Bytes;
    bool Stored = false;  // kept uncompressed in a zip
};

struct PackageItem {
    QString Title;
    QString Page;             // the page's path in the package; empty for a material's item
    QList<QString> Pictures;  // paths of the pictures the page shows
    std::vector<PackageItem> Children;
};

struct PackageContents {
    std::vector<PackageFile> Files;
    std::vector<PackageItem> Items;
};

// withManifest: leave out the pages marked so and the outline files.
PackageContents CollectContents(const PackageRequest& request, bool withManifest);

// Keeps the first levels of the tree: the pages below are appended, in order, to the page
// of their ancestor on the last level kept, their own files left out and links to them
// turned to that page.
void MergeDeeperPages(PackageContents& contents, int levels);

// Puts a navigation bar at the top and bottom of every page and adds the contents page;
// with scorm every page also loads the script that reports it to the learning system.
// Returns the files every page uses, the contents page first.
QStringList AddNavigation(PackageContents& contents, const PackageRequest& request, bool scorm);

// The XML namespace, of xml:lang.
extern const QString XmlNs;

// Text XML 1.0 can hold: control characters but tab and line ends become spaces (a manual
// line break in a heading is one).
QString XmlText(QString text);

// The way from the folder of page to path, both inside the package.
QString RelativePath(const QString& page, const QString& path);

// The title a page or material shows: its own, or a stand-in when it has none.
QString DisplayTitle(const PackageItem& item);

// imsmanifest.xml for the items (UTF-8) with the request's metadata; scorm makes every page
// a SCORM SCO. common: the files every page uses, kept in one resource of their own.
std::string ManifestXml(const PackageRequest& request, const std::vector<PackageItem>& items,
                        bool scorm, const QStringList& common);

// The files of an EPUB 3 book of the contents, the "mimetype" first; notes gets what could
// not go in as it is.
std::vector<PackageFile> EpubFiles(const PackageContents& contents, const PackageRequest& request,
                                   QStringList& notes);

}  // namespace kelmo
