// A real conversion through LibreOffice and the whole road after it: a flat ODT course is
// made into a Word 97 document, converted, cleaned, split and outlined.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrl>
#include <string>

#include "Converter.h"
#include "LibFunc.h"

namespace kelmo {
namespace {

const QString Fixture = QStringLiteral(KELMO_CONVERT_TEST_DIR "/data/course.fodt");

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string Cp1251(const char* utf8) {
    QStringEncoder encoder("windows-1251");
    const QByteArray bytes = encoder.encode(QString::fromUtf8(utf8));
    return bytes.toStdString();
}

class RoundTripTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        const QString profile = dir_->filePath("profile");
        QDir(dir_->path()).mkdir("author");
        QProcess soffice;
        soffice.start(
            "soffice",
            {"-env:UserInstallation=" + QUrl::fromLocalFile(profile).toString(), "--headless",
             "--norestore", "--convert-to", "doc", "--outdir", dir_->filePath("author"), Fixture});
        ASSERT_TRUE(soffice.waitForFinished(120000));
        document_ = dir_->filePath("author/course.doc");
        ASSERT_TRUE(QFile::exists(document_)) << soffice.readAllStandardError().toStdString();
        documentBytes_ = ReadFile(document_);

        work_ = dir_->filePath("work");
        QDir().mkdir(work_);
        ConvertOptions options;
        options.ProfileDir = profile;
        options.Progress = [](int) { ++progressCalls_; };
        ConvertDocument(document_, work_ + "/i.~ht", options);

        html_ = LoadTextFile((work_ + "/i.~ht").toStdString());
        std::string title;
        std::string clean = html_;
        CleanWordHtml(title, clean);
        WriteCleanDocument((work_ + "/clear.~ht").toStdString(), title, clean);
        ASSERT_EQ(SplitIntoPages(table_, work_.toStdString(), clean), SplitResult::Done);
        WriteOutline(table_, work_.toStdString(), Numbering::On);
    }
    static void TearDownTestSuite() { delete dir_; }

    static std::string Read(const char* name) {
        return ReadFile(work_ + '/' + QString::fromLatin1(name)).toStdString();
    }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline QString document_;
    static inline QByteArray documentBytes_;
    static inline QString work_;
    static inline std::string html_;
    static inline HeadingTable table_;
    static inline int progressCalls_ = 0;
};

TEST_F(RoundTripTest, ExportIsWindows1251WithReferencesForOtherCharacters) {
    EXPECT_NE(html_.find("charset=windows-1251"), std::string::npos);
    EXPECT_EQ(html_.find("charset=utf-8"), std::string::npos);
    const std::string expected[] = {
        Cp1251("Введение"), Cp1251("Спасибо за внимание."), Cp1251("€ № «кавычки»"),
        "&#945;",    // α
        "&#8721;",   // ∑
        "&#20013;",  // 中
    };
    for (const std::string& piece : expected)
        EXPECT_NE(html_.find(piece), std::string::npos) << piece;
    EXPECT_EQ(html_.find("\xD0\x92\xD0\xB2"), std::string::npos) << "UTF-8 left in the export";
    // the file name field shows the author's document, not the converter's private copy
    EXPECT_NE(html_.find(QFile::encodeName(document_).toStdString() + "<"), std::string::npos);
}

TEST_F(RoundTripTest, OutlineListsAllSixLevels) {
    EXPECT_EQ(Read("Names.txt"),
              "page_1_.htm\r\n"
              "\tpage_1_1_.htm\r\n"
              "\t\tpage_1_1_1_.htm\r\n"
              "\t\t\tpage_1_1_1_1_.htm\r\n"
              "\t\t\t\tpage_1_1_1_1_1_.htm\r\n"
              "\t\t\t\t\tpage_1_1_1_1_1_1_.htm\r\n"
              "page_2_.htm\r\n");
    EXPECT_EQ(Read("Titles.txt"), Cp1251("1. Введение\r\n"
                                         "\t1.1. Цели курса\r\n"
                                         "\t\t1.1.1. Таблица\r\n"
                                         "\t\t\t1.1.1.1. Рисунок\r\n"
                                         "\t\t\t\t1.1.1.1.1. Формулы\r\n"
                                         "\t\t\t\t\t1.1.1.1.1.1. Итоги\r\n"
                                         "2. Заключение\r\n"));
}

TEST_F(RoundTripTest, PagesHoldTheirListTableAndText) {
    const std::string goals = Read("page_1_1_.htm");
    EXPECT_NE(goals.find("<li"), std::string::npos);
    EXPECT_NE(goals.find(Cp1251("Второй пункт списка")), std::string::npos);
    const std::string table = Read("page_1_1_1_.htm");
    EXPECT_NE(table.find("<table"), std::string::npos);
    EXPECT_NE(table.find(Cp1251("Функции")), std::string::npos);
    EXPECT_NE(Read("page_1_1_1_1_1_.htm").find("&#945;"), std::string::npos);
}

TEST_F(RoundTripTest, PictureResolvesFromTheExportAndItsPage) {
    const QStringList pictures = QDir(work_).entryList({"*.png", "*.jpg", "*.gif"}, QDir::Files);
    ASSERT_EQ(pictures.size(), 1);
    const std::string reference = "src=\"" + pictures[0].toStdString() + '"';
    EXPECT_NE(html_.find(reference), std::string::npos);
    EXPECT_NE(Read("page_1_1_1_1_.htm").find(reference), std::string::npos);
    EXPECT_GT(QFileInfo(work_ + '/' + pictures[0]).size(), 0);
}

TEST_F(RoundTripTest, DocumentIsLeftAloneAndProgressWasReported) {
    EXPECT_EQ(ReadFile(document_), documentBytes_);
    EXPECT_EQ(QDir(dir_->filePath("author"))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"course.doc"});
    EXPECT_GT(progressCalls_, 0);
}

}  // namespace
}  // namespace kelmo
