// Follows the open document on disk: a save by the word processor (often a new file renamed
// over the old one) becomes one Settled signal once the file has stayed the same for a
// moment and can be read whole. Other files of the folder (lock and temporary files such as
// "~$name.docx", ".~lock.name#", "~WRL1234.tmp") are not looked at.
//
// While the owner's run is under way (BeginRun .. EndRun) changes are only noted; EndRun then
// gives one more Settled however many saves came meanwhile.
#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kelmo {

class DocumentWatcher : public QObject {
    Q_OBJECT

  public:
    static constexpr int kQuietMs = 700;

    explicit DocumentWatcher(QObject* parent = nullptr);

    // Follows path from now on, in place of any document before; an empty path stops.
    void Watch(const QString& path);
    const QString& Document() const { return Path; }
    void BeginRun();
    void EndRun();

  signals:
    void Settled();

  private:
    struct Stamp {
        qint64 Size = -1;
        QDateTime Modified;
        QDateTime Changed;  // metadata: a rename over the file changes it
        bool operator==(const Stamp&) const = default;
    };
    static Stamp StampOf(const QString& path);
    void Noticed();
    void QuietTimeOver();
    void RewatchFile();

    QFileSystemWatcher Watcher;
    QTimer Quiet;
    QString Path;
    Stamp Pending;  // the file when the last change was noticed
    bool Running = false;
    bool ChangedDuringRun = false;
};

}  // namespace kelmo
