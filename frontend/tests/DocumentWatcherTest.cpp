// Following the open document on disk, without widgets: saves by write-and-rename settle
// into few runs, other files of the folder bring none, saves during a run bring one more.
#include <DocumentWatcher.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

namespace {

constexpr int kSettleMs = 3 * kelmo::DocumentWatcher::kQuietMs;
constexpr int kHangGuardMs = 30000;  // what must come may come late on a busy machine

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// As the word processors save: a new file, renamed over the document.
void Save(const QString& path, const QByteArray& bytes) {
    const QString fresh = QFileInfo(path).absolutePath() + QStringLiteral("/~WRL0001.tmp");
    WriteFile(fresh, bytes);
    QVERIFY(std::rename(QFile::encodeName(fresh), QFile::encodeName(path)) == 0);
}

}  // namespace

class DocumentWatcherTest : public QObject {
    Q_OBJECT

  private slots:
    void SavesSettleIntoOneRun();
    void OtherFilesOfTheFolderBringNothing();
    void SavesDuringARunBringOneMore();
    void EmptiedDuringASaveWaitsUntilWhole();

  private:
    QTemporaryDir Folder;
    QString Document() const { return Folder.filePath(QStringLiteral("c.docx")); }
};

void DocumentWatcherTest::SavesSettleIntoOneRun() {
    WriteFile(Document(), "v0");
    kelmo::DocumentWatcher watcher;
    watcher.Watch(Document());
    QSignalSpy settled(&watcher, &kelmo::DocumentWatcher::Settled);
    for (int i = 1; i <= 5; ++i) {
        Save(Document(), "v" + QByteArray::number(i) + QByteArray(i, 'x'));
        QTest::qWait(150);
    }
    QTRY_COMPARE_WITH_TIMEOUT(settled.size(), 1, kHangGuardMs);
    QTest::qWait(kSettleMs);
    QCOMPARE(settled.size(), 1);

    // The watch survives the renames: a later save is seen too.
    Save(Document(), "v6");
    QTRY_COMPARE_WITH_TIMEOUT(settled.size(), 2, kHangGuardMs);
}

void DocumentWatcherTest::OtherFilesOfTheFolderBringNothing() {
    WriteFile(Document(), "v0");
    kelmo::DocumentWatcher watcher;
    watcher.Watch(Document());
    QSignalSpy settled(&watcher, &kelmo::DocumentWatcher::Settled);
    for (const char* name : {"~$c.docx", ".~lock.c.docx#", "~WRL1234.tmp", "other.doc"})
        WriteFile(Folder.filePath(QLatin1String(name)), "lock");
    QFile::remove(Folder.filePath(QStringLiteral("~$c.docx")));
    QTest::qWait(kSettleMs);
    QCOMPARE(settled.size(), 0);
}

void DocumentWatcherTest::SavesDuringARunBringOneMore() {
    WriteFile(Document(), "v0");
    kelmo::DocumentWatcher watcher;
    watcher.Watch(Document());
    QSignalSpy settled(&watcher, &kelmo::DocumentWatcher::Settled);
    watcher.BeginRun();
    Save(Document(), "v1");
    QTest::qWait(kSettleMs);
    Save(Document(), "v22");
    QTest::qWait(kSettleMs);
    QCOMPARE(settled.size(), 0);
    watcher.EndRun();
    QTRY_COMPARE_WITH_TIMEOUT(settled.size(), 1, kHangGuardMs);
    QTest::qWait(kSettleMs);
    QCOMPARE(settled.size(), 1);
}

// A save that truncates the document in place, then writes it.
void DocumentWatcherTest::EmptiedDuringASaveWaitsUntilWhole() {
    WriteFile(Document(), "v0");
    kelmo::DocumentWatcher watcher;
    watcher.Watch(Document());
    QSignalSpy settled(&watcher, &kelmo::DocumentWatcher::Settled);
    WriteFile(Document(), "");
    QTest::qWait(kSettleMs);
    QCOMPARE(settled.size(), 0);
    WriteFile(Document(), "v1 whole");
    QTRY_COMPARE_WITH_TIMEOUT(settled.size(), 1, kHangGuardMs);
}

QTEST_GUILESS_MAIN(DocumentWatcherTest)
#include "DocumentWatcherTest.moc"
