#include "DocumentWatcher.h"

#include <QFile>
#include <QFileInfo>

namespace kelmo {

namespace {

// A file in the middle of being written may be missing, empty or locked for reading.
bool OpensWhole(const QString& path, qint64 size) {
    QFile file(path);
    return size > 0 && file.open(QIODevice::ReadOnly) && file.size() == size;
}

}  // namespace

DocumentWatcher::DocumentWatcher(QObject* parent) : QObject(parent) {
    Quiet.setSingleShot(true);
    Quiet.setInterval(kQuietMs);
    connect(&Quiet, &QTimer::timeout, this, &DocumentWatcher::QuietTimeOver);
    connect(&Watcher, &QFileSystemWatcher::fileChanged, this, &DocumentWatcher::Noticed);
    connect(&Watcher, &QFileSystemWatcher::directoryChanged, this, &DocumentWatcher::Noticed);
}

DocumentWatcher::Stamp DocumentWatcher::StampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return {};
    return {info.size(), info.lastModified(), info.metadataChangeTime()};
}

void DocumentWatcher::Watch(const QString& path) {
    if (!Watcher.files().isEmpty()) Watcher.removePaths(Watcher.files());
    if (!Watcher.directories().isEmpty()) Watcher.removePaths(Watcher.directories());
    Quiet.stop();
    ChangedDuringRun = false;
    Path = path;
    if (Path.isEmpty()) return;
    Pending = StampOf(Path);
    Watcher.addPath(QFileInfo(Path).absolutePath());
    RewatchFile();
}

// A file renamed over the document is a new file: the watch on the old one is gone.
void DocumentWatcher::RewatchFile() {
    if (!Watcher.files().contains(Path) && QFileInfo::exists(Path)) Watcher.addPath(Path);
}

void DocumentWatcher::Noticed() {
    RewatchFile();
    const Stamp now = StampOf(Path);
    if (now == Pending && !Quiet.isActive()) return;  // another file of the folder
    Pending = now;
    Quiet.start();
}

void DocumentWatcher::QuietTimeOver() {
    RewatchFile();
    const Stamp now = StampOf(Path);
    if (!(now == Pending) || !OpensWhole(Path, now.Size)) {
        Pending = now;
        Quiet.start();  // still being written
        return;
    }
    if (Running) {
        ChangedDuringRun = true;
        return;
    }
    emit Settled();
}

void DocumentWatcher::BeginRun() { Running = true; }

void DocumentWatcher::EndRun() {
    Running = false;
    if (!ChangedDuringRun) return;
    ChangedDuringRun = false;
    QTimer::singleShot(0, this, &DocumentWatcher::Settled);
}

}  // namespace kelmo
