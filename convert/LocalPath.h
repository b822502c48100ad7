// A path as the bytes the file system takes: the one conversion from Qt's paths to the
// std::string paths of docproc's file helpers.
#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace kelmo {

inline std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace kelmo
