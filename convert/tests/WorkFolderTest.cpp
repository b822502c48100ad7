#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "WorkFolder.h"

namespace kelmo {
namespace {

TEST(NewSessionName, IsTwelveCharactersOfAnUpperCaseGuid) {
    const QString name = NewSessionName();
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{3}$").match(name).hasMatch())
        << name.toStdString();
    EXPECT_NE(name, NewSessionName());
}

TEST(DocumentFolder, DropsTheLastComponent) {
    EXPECT_EQ(DocumentFolder("/home/t/course.doc"), "/home/t");
    EXPECT_EQ(DocumentFolder("/course.doc"), "/");
    EXPECT_EQ(DocumentFolder("course.doc"), ".");
}

TEST(MakeWorkFolder, CreatesANewFolderAndSaysSo) {
    QTemporaryDir dir;
    const WorkFolder made = MakeWorkFolder(dir.path(), "ABCDEF12-345");
    EXPECT_EQ(made.Path, dir.path() + "/ABCDEF12-345");
    EXPECT_TRUE(made.Created);
    EXPECT_TRUE(QFileInfo(made.Path).isDir());
}

TEST(MakeWorkFolder, UsesAnExistingFolderUnchangedAndDoesNotClaimIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("temp"));
    QFile keep(dir.path() + "/temp/keep.txt");
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.close();
    const WorkFolder made = MakeWorkFolder(dir.path(), "temp");
    EXPECT_FALSE(made.Created);
    EXPECT_TRUE(QFile::exists(dir.path() + "/temp/keep.txt"));
}

TEST(MakeWorkFolder, FailsWithTheFolderNameWhenItCannotBeMade) {
    QTemporaryDir dir;
    const QString missingParent = dir.path() + "/no/such";
    try {
        MakeWorkFolder(missingParent, "ABCDEF12-345");
        FAIL() << "expected an error";
    } catch (const WorkFolderError& e) {
        EXPECT_EQ(QString::fromStdString(e.what()),
                  "Невозможно создать " + missingParent + "/ABCDEF12-345");
    }
}

TEST(MakeWorkFolder, RefusesAFileStandingWhereTheFolderWouldGo) {
    QTemporaryDir dir;
    QFile file(dir.path() + "/ABCDEF12-345");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_THROW(MakeWorkFolder(dir.path(), "ABCDEF12-345"), WorkFolderError);
}

TEST(MakeWorkFolderOrElsewhere, GoesToTheFallbackOnlyWhenTheFolderTakesNoNewFolder) {
    QTemporaryDir dir;
    const QString fallback = dir.path() + "/cache/work";
    const WorkFolder beside = MakeWorkFolderOrElsewhere(dir.path(), "ABCDEF12-345", fallback);
    EXPECT_EQ(beside.Path, dir.path() + "/ABCDEF12-345");
    EXPECT_FALSE(beside.Elsewhere);
    // Not even root makes a folder in /proc: it stands for a read-only share.
    const WorkFolder elsewhere = MakeWorkFolderOrElsewhere("/proc", "ABCDEF12-346", fallback);
    EXPECT_EQ(elsewhere.Path, fallback + "/ABCDEF12-346");
    EXPECT_TRUE(elsewhere.Created && elsewhere.Elsewhere);
    EXPECT_TRUE(QFileInfo(elsewhere.Path).isDir());
    // A folder that does not exist is an error, not a reason to go elsewhere.
    EXPECT_THROW(MakeWorkFolderOrElsewhere(dir.path() + "/no", "ABCDEF12-347", fallback),
                 WorkFolderError);
    EXPECT_FALSE(QFileInfo::exists(fallback + "/ABCDEF12-347"));
}

}  // namespace
}  // namespace kelmo
