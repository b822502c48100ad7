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

// imsmanifest.xml for the items (UTF-8); scorm marks every resource as a SCORM asset.
std::string ManifestXml(const QString& title, const std::vector<PackageItem>& items, bool scorm);

}  // namespace kelmo
