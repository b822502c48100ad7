#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include "Converter.h"
#include "OfficeLaunch.h"
#include "ProcessGroup.h"
#include "WordFormat.h"

namespace kelmo {
namespace {

const QString FakeConverter = QStringLiteral(KELMO_CONVERT_TEST_DIR "/fake-converter.sh");
const QByteArray OleSignature = QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What ConvertDocument threw, or "" when it succeeded.
QString ConvertError(const QString& document, const QString& output,
                     const ConvertOptions& options = {}) {
    try {
        ConvertDocument(document, output, options);
    } catch (const kelmo::ConvertError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

QString RecognizeError(const QString& path) {
    try {
        RecognizeInput(path);
    } catch (const kelmo::ConvertError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

class ConverterTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QDir(dir_.path()).mkdir("author");
        QDir(dir_.path()).mkdir("work");
        document_ = Path("author/course.doc");
        documentBytes_ = OleSignature + QByteArray(500, '\0');
        WriteFile(document_, documentBytes_);
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

    ConvertOptions Fake(const char* mode, int timeoutMs = 20000) const {
        ConvertOptions options;
        options.Program = FakeConverter;
        options.ExtraArguments = {QString::fromLatin1(mode), Path("record")};
        options.TimeoutMs = timeoutMs;
        options.ProfileDir = Path("profile");
        return options;
    }
    // The stand-in's own process id, which is also its process group.
    qint64 FakeGroup() const { return ReadFile(Path("record")).split('\n').value(0).toLongLong(); }
    // The stand-in and every process it started that still lives, each checked by its id.
    std::string LiveFakeProcesses() const {
        std::string live;
        for (const QByteArray& pid : ReadFile(Path("record.pids")).trimmed().split('\n')) {
            const QByteArray stat = ReadFile("/proc/" + pid + "/stat");
            const QByteArray state = stat.mid(stat.lastIndexOf(')') + 2, 1);
            if (!state.isEmpty() && state != "Z") live += pid.toStdString() + ' ';
        }
        return live;
    }
    QStringList FakeArguments() const {
        return QString::fromUtf8(ReadFile(Path("record"))).split('\n').mid(1);
    }
    void ExpectDocumentUntouched() const {
        EXPECT_EQ(ReadFile(document_), documentBytes_);
        EXPECT_EQ(
            QDir(Path("author")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"course.doc"});
    }

    QTemporaryDir dir_;
    QString document_;
    QByteArray documentBytes_;
};

// ---------------------------------------------------------------------------------------
// Input recognition

struct RecognizeRow {
    const char* name;
    const char* fileName;
    QByteArray bytes;
    InputKind expected;
};

TEST_F(ConverterTest, RecognizesDocumentsByContent) {
    const QByteArray zipHead = QByteArrayLiteral("PK\x03\x04") + QByteArray(26, '\x01');
    const RecognizeRow rows[] = {
        {"word 97", "a.doc", OleSignature + "rest", InputKind::Doc},
        {"word 97 under another name", "a.docx", OleSignature, InputKind::Doc},
        {"rtf", "a.rtf", "{\\rtf1\\ansi ...}", InputKind::Rtf},
        {"docx", "a.docx", zipHead + "[Content_Types].xml....word/document.xml", InputKind::Docx},
        {"opendocument text", "a.odt", zipHead + "mimetypeapplication/vnd.oasis.opendocument.text",
         InputKind::Odt},
        {"html by name, content ignored", "a.htm", "anything", InputKind::Html},
        {"html, upper case", "A.HTML", "<p>text", InputKind::Html},
        {"word document named like a web page", "a.htm", OleSignature, InputKind::Doc},
        {"rtf named like a web page", "a.html", "{\\rtf1}", InputKind::Rtf},
        {"web page named .doc", "w.doc", "\r\n <HTML xmlns:o=\"urn:x\"><head>", InputKind::Html},
        {"web page with a doctype", "w.doc", "<!DOCTYPE html>\n<p>", InputKind::Html},
        {"utf-8 web page with a byte-order mark", "w.doc", "\xEF\xBB\xBF<html>", InputKind::Html},
        {"utf-16 web page", "w.doc", QByteArray("\xFF\xFE<\0h\0t\0m\0l\0>\0", 14), InputKind::Html},
        {"utf-16 web page without a mark", "w.doc", QByteArray("<\0h\0t\0m\0l\0>\0", 12),
         InputKind::Html},
        {"word's own export name", "i.~ht", "<html>", InputKind::Html},
    };
    for (const RecognizeRow& row : rows) {
        WriteFile(Path(row.fileName), row.bytes);
        try {
            EXPECT_EQ(RecognizeInput(Path(row.fileName)), row.expected) << row.name;
        } catch (const kelmo::ConvertError& e) {
            ADD_FAILURE() << row.name << ": " << e.what();
        }
    }
}

TEST_F(ConverterTest, RecognizesADocxWhosePartNamesAreOnlyAtTheEnd) {
    const QByteArray big =
        QByteArrayLiteral("PK\x03\x04") + QByteArray(200000, 'x') + "PK\x01\x02 word/document.xml";
    WriteFile(Path("big.docx"), big);
    EXPECT_EQ(RecognizeInput(Path("big.docx")), InputKind::Docx);
}

// A compound file of 512-byte sectors: the allocation table, one directory sector, then
// each stream in regular sectors of its own.
QByteArray CompoundFile(const QList<std::pair<QString, QByteArray>>& streams) {
    const auto put32 = [](QByteArray& bytes, int at, quint32 value) {
        for (int k = 0; k < 4; ++k) bytes[at + k] = char(value >> (8 * k));
    };
    QByteArray header = OleSignature + QByteArray(504, '\0');
    header[0x1E] = 9;
    put32(header, 0x30, 1);
    put32(header, 0x38, 4096);
    put32(header, 0x44, 0xFFFFFFFE);
    for (int k = 0; k < 109; ++k) put32(header, 0x4C + 4 * k, k == 0 ? 0 : 0xFFFFFFFF);
    QByteArray fat(512, '\xFF'), directory(512, '\0'), data;
    put32(fat, 0, 0xFFFFFFFD);
    put32(fat, 4, 0xFFFFFFFE);
    for (int k = 0; k < streams.size(); ++k) {
        const QByteArray body = streams[k].second.leftJustified(4096, '\0');
        const int first = 2 + int(data.size() / 512), count = int(body.size() / 512);
        for (int s = first; s < first + count; ++s) put32(fat, 4 * s, s + 1);
        put32(fat, 4 * (first + count - 1), 0xFFFFFFFE);
        const QString& name = streams[k].first;
        for (int c = 0; c < name.size(); ++c) directory[128 * k + 2 * c] = char(name[c].unicode());
        directory[128 * k + 0x40] = char(2 * name.size() + 2);
        directory[128 * k + 0x42] = 2;
        put32(directory, 128 * k + 0x74, first);
        put32(directory, 128 * k + 0x78, quint32(body.size()));
        data += body;
    }
    return header + fat + directory + data;
}

// The start of a Word file header: identifier, version number and flags.
QByteArray Fib(quint16 ident, quint16 nFib, quint16 flags = 0) {
    QByteArray fib(12, '\0');
    fib[0] = char(ident), fib[1] = char(ident >> 8), fib[2] = char(nFib), fib[3] = char(nFib >> 8);
    fib[10] = char(flags), fib[11] = char(flags >> 8);
    return fib;
}

struct OleRow {
    const char* name;
    QByteArray bytes;
    const char* filterOrError;  // the import filter, or the message (%1: the quoted path)
};

const char* const password =
    "Документ защищён паролем: %1. Откройте его в текстовом редакторе, сохраните копию без "
    "пароля и откройте её";
const char* const damaged =
    "Файл %1 повреждён: внутри нет документа, которого ждёшь по его имени. Откройте его в "
    "текстовом редакторе и сохраните заново или попросите прислать файл ещё раз";

TEST_F(ConverterTest, TellsOle2FilesApartAndChoosesTheWordFilter) {
    const char* unknown =
        "Неизвестный формат файла %1: нужен документ Word (.doc, .docx), OpenDocument (.odt), "
        "RTF или HTML";
    const OleRow rows[] = {
        {"word 97", CompoundFile({{"WordDocument", Fib(0xA5EC, 193)}}), "MS Word 97"},
        {"word 95", CompoundFile({{"WordDocument", Fib(0xA5DC, 104)}}), "MS Word 95"},
        {"word 6", CompoundFile({{"WordDocument", Fib(0xA5DC, 101)}}), "MS WinWord 6.0"},
        {"damaged structure", OleSignature + QByteArray(500, '\0'), "MS Word 97"},
        {"encrypted word 97",
         CompoundFile({{"1Table", ""}, {"WordDocument", Fib(0xA5EC, 193, 0x0100)}}), password},
        {"encrypted word 95", CompoundFile({{"WordDocument", Fib(0xA5DC, 104, 0x0100)}}), password},
        {"encrypted docx", CompoundFile({{"EncryptionInfo", ""}, {"EncryptedPackage", ""}}),
         password},
        {"excel", CompoundFile({{"Workbook", ""}}),
         "Файл %1 — таблица Excel, а не текстовый документ"},
        {"excel 95", CompoundFile({{"Book", ""}}),
         "Файл %1 — таблица Excel, а не текстовый документ"},
        {"powerpoint", CompoundFile({{"PowerPoint Document", ""}}),
         "Файл %1 — презентация PowerPoint, а не текстовый документ"},
        {"other compound file", CompoundFile({{"Contents", ""}}), unknown},
    };
    for (const OleRow& row : rows) {
        const QString path = Path("x.doc");
        WriteFile(path, row.bytes);
        const QString error = RecognizeError(path);
        const QString expected = QString::fromUtf8(row.filterOrError).arg('"' + path + '"');
        EXPECT_EQ(error.isEmpty() ? ImportFilterFor(path, InputKind::Doc) : error, expected)
            << row.name;
    }
    EXPECT_EQ(ImportFilterFor(Path("x.doc"), InputKind::Rtf), "");
}

TEST_F(ConverterTest, RenamesOnlyThePictureFieldsOfAnRtfDocument) {
    const std::pair<std::string, std::string> rows[] = {
        {R"({\field{\*\fldinst {\f1 includepicture "a.png" \\d}}{\fldrslt x}})",
         R"({\field{\*\fldinst {\f1 UNLINKPICTURE  "a.png" \\d}}{\fldrslt x}})"},
        // in the text, in another destination, or a longer word: kept
        {R"({INCLUDEPICTURE}{\*\fldinst PAGE}{\fldrslt INCLUDEPICTURE})",
         R"({INCLUDEPICTURE}{\*\fldinst PAGE}{\fldrslt INCLUDEPICTURE})"},
        {R"({\*\fldinst NOINCLUDEPICTURE \{INCLUDEPICTURE})",
         R"({\*\fldinst NOINCLUDEPICTURE \{UNLINKPICTURE })"},
        {R"({\*\fldinst INCLUDEPICT)", R"({\*\fldinst INCLUDEPICT)"},
    };
    for (const auto& [rtf, expected] : rows) {
        std::string unlinked = rtf;
        UnlinkIncludedPictures(unlinked);
        EXPECT_EQ(unlinked, expected) << rtf;
    }
}

TEST_F(ConverterTest, RecognizesAPasswordProtectedDocumentLibreOfficeMade) {
    const QString encrypted = QStringLiteral(KELMO_CONVERT_TEST_DIR "/data/encrypted.doc");
    EXPECT_EQ(RecognizeError(encrypted), QString::fromUtf8(password).arg('"' + encrypted + '"'));
}

struct RefuseRow {
    const char* name;
    const char* fileName;
    QByteArray bytes;
    const char* expected;  // %1 is the quoted path
};

TEST_F(ConverterTest, RefusesWhatIsNotADocument) {
    const QByteArray zipHead = QByteArrayLiteral("PK\x03\x04") + QByteArray(26, '\x01');
    const char* const unknown =
        "Неизвестный формат файла %1: нужен документ Word (.doc, .docx), OpenDocument (.odt), "
        "RTF или HTML";
    const RefuseRow rows[] = {
        {"text named .doc", "notes.doc", "Just some text", damaged},
        {"text named .txt", "notes.txt", "Just some text", unknown},
        {"zip without a document", "t.docx", zipHead + "media/a.png", damaged},
        {"spreadsheet archive", "t.docx", QByteArrayLiteral("PK\x03\x04") + "xl/workbook.xml",
         unknown},
        {"opendocument spreadsheet", "t.odt",
         zipHead + "mimetypeapplication/vnd.oasis.opendocument.spreadsheet", unknown},
        {"opendocument presentation", "p.odt",
         zipHead + "mimetypeapplication/vnd.oasis.opendocument.presentation", unknown},
        {"truncated signature", "short.doc", OleSignature.left(4), damaged},
        {"empty file", "empty.doc", "", "Файл %1 пуст"},
        {"tags that are not a web page", "notes.xml", "<note>html</note>", unknown},
    };
    for (const RefuseRow& row : rows) {
        WriteFile(Path(row.fileName), row.bytes);
        EXPECT_EQ(RecognizeError(Path(row.fileName)),
                  QString::fromUtf8(row.expected).arg('"' + Path(row.fileName) + '"'))
            << row.name;
    }
    EXPECT_EQ(RecognizeError(Path("missing.doc")),
              "Файл \"" + Path("missing.doc") + "\" не найден");
    EXPECT_EQ(RecognizeError(Path("work")), '"' + Path("work") + "\" — это папка, а не документ");
    // A 2 GB web page (sparse) is refused before it is read.
    QFile huge(Path("huge.htm"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(2048LL * 1024 * 1024));
    EXPECT_EQ(ConvertError(Path("huge.htm"), Path("work/i.~ht")),
              "Файл \"" + Path("huge.htm") + "\" слишком велик: 2048 МБ, предел 1024 МБ");
}

TEST_F(ConverterTest, RefusedInputRunsNoConverter) {
    WriteFile(Path("notes.doc"), "Just some text");
    EXPECT_FALSE(ConvertError(Path("notes.doc"), Path("work/i.~ht"), Fake("ok")).isEmpty());
    EXPECT_FALSE(QFile::exists(Path("record")));
    EXPECT_FALSE(QFile::exists(Path("work/i.~ht")));
}

// ---------------------------------------------------------------------------------------
// HTML input

TEST_F(ConverterTest, CopiesHtmlByteForByteWithoutAConverter) {
    // Longer than the probe that recognises it, so the rest is read on.
    const QByteArray page = "<html><head><meta charset=windows-1251></head>\xCF\xF0\xE8\r\n\0" +
                            QByteArray(100000, 'x') + "tail";
    WriteFile(Path("author/course.htm"), page);
    EXPECT_EQ(ConvertError(Path("author/course.htm"), Path("work/i.~ht"), Fake("ok")), "");
    EXPECT_EQ(ReadFile(Path("work/i.~ht")), page);
    EXPECT_FALSE(QFile::exists(Path("record")));
}

TEST_F(ConverterTest, CopiesTheWebPagesPictureFoldersWithoutFollowingLinks) {
    WriteFile(Path("author/course.htm"), "<img src=\"course.files/a.png\">");
    ASSERT_TRUE(QDir(Path("author")).mkpath("course.files/inner"));
    ASSERT_TRUE(QDir(Path("author")).mkpath("course_files"));
    WriteFile(Path("author/course.files/a.png"), "PNG a");
    WriteFile(Path("author/course.files/inner/b.png"), "PNG b");
    WriteFile(Path("author/course_files/c.png"), "PNG c");
    WriteFile(Path("secret.txt"), "not the course's");
    ASSERT_TRUE(QFile::link(Path("secret.txt"), Path("author/course.files/link.txt")));

    EXPECT_EQ(ConvertError(Path("author/course.htm"), Path("work/i.~ht")), "");
    EXPECT_EQ(ReadFile(Path("work/course.files/a.png")), "PNG a");
    EXPECT_EQ(ReadFile(Path("work/course.files/inner/b.png")), "PNG b");
    EXPECT_EQ(ReadFile(Path("work/course_files/c.png")), "PNG c");
    EXPECT_FALSE(QFileInfo::exists(Path("work/course.files/link.txt")));
}

TEST_F(ConverterTest, CopiesTheFilesAPageRefersToFromInsideItsFolderOnly) {
    WriteFile(Path("author/course.htm"),
              "<html><head><meta charset=utf-8></head><body>Курс"
              "<img src=\"course_html_1a2b.png\"><IMG SRC='images/p%20q.gif?v=1#f' alt=x>"
              "<a href=sub/../doc.pdf>d</a><td background=bg.jpg><a href=\"#top\">"
              "<img src=\"../secret.txt\"><img src=\"out.png\"><img src=\"linked/s.txt\">"
              "<img src=\"http://example.org/a.png\"><img src=\"data:image/png;base64,AA\">"
              "<img src=\"missing.png\"><img src=\"/etc/hostname\"><img src=alias.png>"
              "<img src=\"pictures/p q.gif\"></body></html>");
    ASSERT_TRUE(QDir(Path("author")).mkpath("images"));
    for (const char* name : {"course_html_1a2b.png", "images/p q.gif", "doc.pdf", "bg.jpg"}) {
        WriteFile(Path("author/") + name, name);
    }
    WriteFile(Path("secret.txt"), "not the course's");
    ASSERT_TRUE(QFile::link(Path("secret.txt"), Path("author/out.png")));
    ASSERT_TRUE(QFile::link(dir_.path(), Path("author/linked")));
    // Links that stay inside the folder are not followed either.
    ASSERT_TRUE(QFile::link(Path("author/bg.jpg"), Path("author/alias.png")));
    ASSERT_TRUE(QFile::link("images", Path("author/pictures")));

    ASSERT_EQ(ConvertError(Path("author/course.htm"), Path("work/i.~ht")), "");
    EXPECT_TRUE(ReadFile(Path("work/i.~ht"))
                    .contains("<meta charset=windows-1251></head><body>\xCA\xF3\xF0\xF1"));
    for (const char* name : {"course_html_1a2b.png", "images/p q.gif", "doc.pdf", "bg.jpg"}) {
        EXPECT_EQ(ReadFile(Path("work/") + name), name);
    }
    EXPECT_EQ(QDir(Path("work")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              (QStringList{"bg.jpg", "course_html_1a2b.png", "doc.pdf", "i.~ht", "images"}));
}

TEST_F(ConverterTest, WritesNoCopyThroughALinkInTheWorkFolder) {
    WriteFile(Path("author/course.htm"), "<img src=\"images/new/a.png\"><img src=b.png>");
    ASSERT_TRUE(QDir(Path("author")).mkpath("images/new"));
    WriteFile(Path("author/images/new/a.png"), "PNG a");
    WriteFile(Path("author/b.png"), "PNG b");
    ASSERT_TRUE(QDir(dir_.path()).mkdir("elsewhere"));
    ASSERT_TRUE(QFile::link(Path("elsewhere"), Path("work/images")));
    ASSERT_TRUE(QFile::link(Path("elsewhere/b.png"), Path("work/b.png")));

    EXPECT_EQ(ConvertError(Path("author/course.htm"), Path("work/i.~ht")), "");
    EXPECT_EQ(QDir(Path("elsewhere")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
}

TEST_F(ConverterTest, CopyingHtmlOntoItselfKeepsIt) {
    WriteFile(Path("work/i.~ht"), "<html>");
    EXPECT_EQ(ConvertError(Path("work/i.~ht"), Path("work/i.~ht")), "");
    EXPECT_EQ(ReadFile(Path("work/i.~ht")), "<html>");
}

// ---------------------------------------------------------------------------------------
// A converter that fails: each failure has its message, nothing is left running, the
// document stays as it was and no output appears.

struct FailureRow {
    const char* mode;
    int timeoutMs;
    const char* expected;  // %1 is the quoted document path
};

TEST_F(ConverterTest, ReportsEachConverterFailure) {
    const FailureRow rows[] = {
        {"hang", 1000, "Преобразование прервано: прошло больше 1 с"},
        {"hang", 300, "Преобразование прервано: прошло больше 300 мс"},
        {"silent", 20000,
         "Не удалось преобразовать документ %1: LibreOffice завершился с кодом 0, HTML-файл не "
         "создан"},
        {"orphan", 20000,
         "Не удалось преобразовать документ %1: LibreOffice завершился с кодом 0, HTML-файл не "
         "создан"},
        {"empty", 20000,
         "Не удалось преобразовать документ %1: LibreOffice завершился с кодом 0, HTML-файл пуст"},
        {"crash", 20000,
         "Не удалось преобразовать документ %1: LibreOffice завершился аварийно, HTML-файл не "
         "создан"},
        {"error", 20000,
         "Не удалось преобразовать документ %1: LibreOffice не смог его прочитать: файл "
         "повреждён или в формате, которого LibreOffice не знает. Откройте его в текстовом "
         "редакторе и сохраните заново как .docx или .odt"},
        {"status", 20000, "Не удалось преобразовать документ %1: Не хватает памяти"},
        {"quiet-status", 20000,
         "Не удалось преобразовать документ %1: LibreOffice завершился с кодом 5, HTML-файл не "
         "создан"},
    };
    for (const FailureRow& row : rows) {
        QFile::remove(Path("record"));
        const QString message =
            ConvertError(document_, Path("work/i.~ht"), Fake(row.mode, row.timeoutMs));
        EXPECT_EQ(message, QString::fromUtf8(row.expected).replace("%1", '"' + document_ + '"'))
            << row.mode;
        const qint64 group = FakeGroup();
        EXPECT_GT(group, 0) << row.mode;
        EXPECT_FALSE(ProcessGroupAlive(group)) << row.mode;
        EXPECT_EQ(LiveFakeProcesses(), "") << row.mode;
        EXPECT_FALSE(QFile::exists(Path("work/i.~ht"))) << row.mode;
        ExpectDocumentUntouched();
    }
}

TEST_F(ConverterTest, TimeoutKillsTheWholeGroupAfterTheGrace) {
    // The stand-in and its child outlive SIGTERM; SIGKILL must reach both, after the grace
    // of 2 s (a busy machine only makes it later).
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("stubborn", 300)),
              "Преобразование прервано: прошло больше 300 мс");
    EXPECT_GE(clock.elapsed(), 300 + 2000);
    EXPECT_EQ(ReadFile(Path("record.term")), "TERM\n");
    EXPECT_EQ(LiveFakeProcesses(), "");
}

TEST_F(ConverterTest, NoLimitWaitsForTheConverter) {
    EXPECT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("slow", 0)), "");
}

TEST_F(ConverterTest, ReportsProgressWhileWaiting) {
    int calls = 0;
    int lastElapsed = -1;
    bool increasing = true;
    ConvertOptions options = Fake("hang", 1000);
    options.Progress = [&](int elapsedMs) {
        increasing = increasing && elapsedMs > lastElapsed;
        lastElapsed = elapsedMs;
        ++calls;
    };
    ConvertError(document_, Path("work/i.~ht"), options);
    // Every step waits about 100 ms: no busy loop, and no silence until the timeout.
    EXPECT_GE(calls, 2);
    EXPECT_LE(calls, 12);
    EXPECT_TRUE(increasing);
    EXPECT_LT(lastElapsed, 1000);
}

// The UNO runtime of the LibreOffice found, also through a link to its launcher.
TEST_F(ConverterTest, BootstrapsTheLibreOfficeFound) {
    QDir().mkpath(Path("lo/program"));
    QFile(Path("lo/program/fundamentalrc")).open(QIODevice::WriteOnly);
    QFile(Path("lo/program/soffice")).open(QIODevice::WriteOnly);
    QFile::link(Path("lo/program/soffice"), Path("soffice"));
    EXPECT_EQ(UnoBootstrapUrl(Path("soffice")),
              "vnd.sun.star.pathname:" + QFileInfo(Path("lo/program")).canonicalFilePath() +
                  "/fundamentalrc");
    EXPECT_EQ(UnoBootstrapUrl(Path("elsewhere/soffice")),
              "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc");
}

TEST_F(ConverterTest, NamesTheMissingConverterAndItsPackage) {
    ConvertOptions options = Fake("ok");
    options.Program = Path("no/soffice");
    EXPECT_EQ(ConvertError(document_, Path("work/i.~ht"), options),
              "Не найден LibreOffice (" + Path("no/soffice") +
                  "). Установите пакет libreoffice-writer-nogui");
}

TEST_F(ConverterTest, ReportsAConverterThatCannotBeStarted) {
    WriteFile(Path("soffice"), "#!/bin/sh\n");  // not executable
    ConvertOptions options = Fake("ok");
    options.Program = Path("soffice");
    const QString message = ConvertError(document_, Path("work/i.~ht"), options);
    EXPECT_TRUE(message.startsWith("Не удалось запустить LibreOffice (" + Path("soffice") + "): "))
        << message.toStdString();
    ExpectDocumentUntouched();
}

TEST_F(ConverterTest, ReportsAnOutputFolderThatCannotBeWritten) {
    // The picture is the first file to land there; the system's reason follows its name.
    const QString message = ConvertError(document_, Path("nowhere/i.~ht"), Fake("ok"));
    const QString prefix = "Не удалось записать файл \"" + Path("nowhere/i_html_1.png") + "\": ";
    EXPECT_TRUE(message.startsWith(prefix) && message.size() > prefix.size())
        << message.toStdString();
    ExpectDocumentUntouched();
}

TEST_F(ConverterTest, RefusesToWriteOverTheDocument) {
    EXPECT_EQ(ConvertError(document_, document_, Fake("ok")),
              "Результат нельзя записать поверх документа \"" + document_ + '"');
    ExpectDocumentUntouched();
}

// ---------------------------------------------------------------------------------------
// A converter that succeeds

TEST_F(ConverterTest, WritesWindows1251HtmlWithItsPictureBeside) {
    ASSERT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("ok")), "");
    EXPECT_EQ(ReadFile(Path("work/i.~ht")),
              "<html><head><meta http-equiv=\"content-type\" content=\"text/html; "
              "charset=windows-1251\"/></head>\n<body><h1>\xCF\xF0\xE8\xE2\xE5\xF2 &#945;</h1>"
              "<img src=\"i_html_1.png\" alt=\"\"/><img src=\"i_html_1.png\" alt=\"\"/></body>"
              "</html>\n");
    EXPECT_EQ(ReadFile(Path("work/i_html_1.png")), "PNG");
    EXPECT_FALSE(ProcessGroupAlive(FakeGroup()));
    ExpectDocumentUntouched();
}

TEST_F(ConverterTest, StartsTheConverterHeadlessOnAPrivateCopyWithItsOwnProfile) {
    ASSERT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("ok")), "");
    const QStringList arguments = FakeArguments();
    EXPECT_TRUE(arguments.contains("-env:UserInstallation=file://" + Path("profile")));
    EXPECT_TRUE(arguments.contains("--headless"));
    EXPECT_TRUE(arguments.contains("--norestore"));
    EXPECT_TRUE(arguments.contains("--infilter=MS Word 97"));
    EXPECT_TRUE(arguments.contains("html:HTML (StarWriter)"));
    EXPECT_FALSE(arguments.filter(Path("author")).size()) << "the converter saw the document";
}

TEST_F(ConverterTest, OnlyWordDocumentsGetTheWord97Filter) {
    WriteFile(Path("author/course.rtf"), "{\\rtf1}");
    ASSERT_EQ(ConvertError(Path("author/course.rtf"), Path("work/i.~ht"), Fake("ok")), "");
    EXPECT_TRUE(FakeArguments().filter("--infilter").isEmpty());
}

TEST_F(ConverterTest, KeepsAnExistingFileThatHasThePicturesName) {
    WriteFile(Path("work/i_html_1.png"), "mine");
    ASSERT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("ok")), "");
    EXPECT_EQ(ReadFile(Path("work/i_html_1.png")), "mine");
    EXPECT_EQ(ReadFile(Path("work/i_html_1_1.png")), "PNG");
    EXPECT_EQ(ReadFile(Path("work/i.~ht")).count("<img src=\"i_html_1_1.png\" alt=\"\"/>"), 2);
}

// What an output folder may hold under the names a conversion writes: no write goes
// through it, and a FIFO does not hang the run.
struct PlantedRow {
    const char* name;
    const char* planted;    // under work/
    const char* kind;       // "link", "hardlink" or "fifo", towards ../secret.txt
    const char* expected;   // %1 is the planted path; "" for success
    const char* pictureAt;  // where the picture lands, "" for nowhere
};

TEST_F(ConverterTest, NothingPlantedInTheOutputFolderRedirectsAWrite) {
    const PlantedRow rows[] = {
        {"link at the export", "i.~ht", "link",
         "Не удалось записать файл \"%1\": Too many levels of symbolic links", ""},
        {"hard link at the export", "i.~ht", "hardlink", "", "i_html_1.png"},
        {"FIFO at the export", "i.~ht", "fifo",
         "Не удалось записать файл \"%1\": Not a regular file", ""},
        {"link at the picture", "i_html_1.png", "link", "", "i_html_1_1.png"},
        {"hard link at the picture", "i_html_1.png", "hardlink", "", "i_html_1_1.png"},
        {"FIFO at the picture", "i_html_1.png", "fifo", "", "i_html_1_1.png"},
    };
    for (const PlantedRow& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(Path("work")).removeRecursively();
        QDir().mkpath(Path("work"));
        WriteFile(Path("secret.txt"), "not the course's");
        const QString planted = Path(QStringLiteral("work/") + row.planted);
        const std::string kind = row.kind;
        const int made =
            kind == "link"       ? ::symlink(qPrintable(Path("secret.txt")), qPrintable(planted))
            : kind == "hardlink" ? ::link(qPrintable(Path("secret.txt")), qPrintable(planted))
                                 : ::mkfifo(qPrintable(planted), 0600);
        ASSERT_EQ(made, 0);

        EXPECT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("ok")),
                  QString::fromUtf8(row.expected).arg(planted));
        EXPECT_EQ(ReadFile(Path("secret.txt")), "not the course's");
        if (*row.pictureAt) {
            EXPECT_EQ(ReadFile(Path(QStringLiteral("work/") + row.pictureAt)), "PNG");
        }
    }
    ExpectDocumentUntouched();
}

TEST_F(ConverterTest, PictureFolderCopyNeitherFollowsALinkNorEntersItself) {
    WriteFile(Path("author/course.htm"), "<img src=\"course.files/a.png\">");
    ASSERT_TRUE(QDir(Path("author")).mkpath("course.files"));
    WriteFile(Path("author/course.files/a.png"), "PNG a");
    ASSERT_TRUE(QDir(dir_.path()).mkdir("elsewhere"));
    ASSERT_TRUE(QFile::link(Path("elsewhere"), Path("work/course.files")));

    EXPECT_EQ(ConvertError(Path("author/course.htm"), Path("work/i.~ht")),
              "Не удалось скопировать папку \"" + Path("author/course.files") +
                  "\": Cannot create folder \"" + Path("work/course.files") +
                  "\". Too many levels of symbolic links");
    EXPECT_TRUE(QDir(Path("elsewhere")).isEmpty());

    const QString self = Path("author/course.files");
    EXPECT_EQ(ConvertError(Path("author/course.htm"), self + "/i.~ht"),
              "Не удалось скопировать папку \"" + self + "\": Cannot copy folder \"" + self +
                  "\" into \"" + self + "/course.files\", which lies inside it");
    EXPECT_FALSE(QFileInfo::exists(self + "/course.files"));
}

TEST_F(ConverterTest, ReplacesAnEarlierExportOfTheSameDocument) {
    ASSERT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("ok")), "");
    ASSERT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("ok")), "");
    EXPECT_EQ(QDir(Path("work")).entryList(QDir::Files), (QStringList{"i.~ht", "i_html_1.png"}));
}

TEST_F(ConverterTest, UsesAThrowawayProfileWhileTheOwnIsInUse) {
    QLockFile held(Path("profile.lock"));
    ASSERT_TRUE(held.tryLock(0));
    ASSERT_EQ(ConvertError(document_, Path("work/i.~ht"), Fake("ok")), "");
    EXPECT_TRUE(
        FakeArguments().filter("-env:UserInstallation=file://" + Path("profile")).isEmpty());
}

// ---------------------------------------------------------------------------------------
// Process groups

TEST(ProcessGroup, SeesAndEndsAGroupOfItsOwn) {
    QProcess sleeper;
    sleeper.setProgram("/bin/sh");
    sleeper.setArguments({"-c", "sleep 300 & sleep 300"});
    sleeper.setChildProcessModifier([] { ::setsid(); });
    sleeper.start();
    ASSERT_TRUE(sleeper.waitForStarted());
    const qint64 group = sleeper.processId();
    EXPECT_TRUE(ProcessGroupAlive(group));
    EXPECT_TRUE(EndProcessGroup(group, 1000));
    sleeper.waitForFinished();
    EXPECT_FALSE(ProcessGroupAlive(group));
}

}  // namespace
}  // namespace kelmo
