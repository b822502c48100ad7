#include <gtest/gtest.h>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <map>

#include "Course.h"
#include "LibFunc.h"
#include "Package.h"

// Readable failures for texts and maps of them.
void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace kelmo {
namespace {

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string Cp1251(const QString& text) {
    QStringEncoder encode("windows-1251");
    return QByteArray(encode(text)).toStdString();
}

void Put(const QString& path, const std::string& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    WriteWholeFile(Local(path), bytes);
}

// Path to bytes of every file in a zip.
std::map<QString, std::string> ReadZip(const QString& path) {
    std::map<QString, std::string> files;
    zip_t* zip = zip_open(Local(path).c_str(), ZIP_RDONLY, nullptr);
    if (!zip) return files;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(zip, zip_uint64_t(i), 0, &stat);
        std::string bytes(stat.size, '\0');
        zip_file_t* file = zip_fopen_index(zip, zip_uint64_t(i), 0);
        zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        files[QString::fromUtf8(stat.name)] = bytes;
    }
    zip_close(zip);
    return files;
}

struct Manifest {
    // Item titles, children in brackets, and the href of the resource an item refers to
    // ("<RES-n>" when there is no such resource): "A=a.htm[B=b.htm C=c.htm]".
    QString Tree;
    std::map<QString, int> Listed;  // file hrefs, with how often they are listed
};

Manifest ReadManifest(const std::string& xml) {
    Manifest manifest;
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    std::vector<int> children{0};  // items met so far below each open item
    std::vector<QString> refs;     // the identifierref of each open item
    std::map<QString, QString> resources;
    const auto attribute = [&](const char* name) {
        return reader.attributes().value(QLatin1String(name)).toString();
    };
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("item")) {
            if (children.back())
                manifest.Tree += " ";
            else if (children.size() > 1)
                manifest.Tree += "[";
            ++children.back();
            children.push_back(0);
            refs.push_back(attribute("identifierref"));
        } else if (reader.isEndElement() && reader.name() == QLatin1String("item")) {
            if (children.back()) manifest.Tree += "]";
            children.pop_back();
            refs.pop_back();
        } else if (reader.isStartElement() && reader.name() == QLatin1String("title") &&
                   children.size() > 1) {
            manifest.Tree += reader.readElementText();
            if (!refs.back().isEmpty()) manifest.Tree += "=<" + refs.back() + ">";
        } else if (reader.isStartElement() && reader.name() == QLatin1String("resource")) {
            resources[attribute("identifier")] = attribute("href");
        } else if (reader.isStartElement() && reader.name() == QLatin1String("file")) {
            ++manifest.Listed[attribute("href")];
        }
    }
    for (const auto& [id, href] : resources) manifest.Tree.replace("<" + id + ">", href);
    return manifest;
}

class PackageTest : public ::testing::Test {
  protected:
    // A work folder as the road leaves it; lines are "<tabs><page>|<title>".
    QString MakeWorkFolder(const QString& name, const QStringList& lines) {
        const QString folder = dir_.filePath(name);
        std::string titles;
        std::string names;
        for (const QString& line : lines) {
            const QString indent = line.left(line.indexOf(QLatin1String("page_")));
            const QString page = line.section(QLatin1Char('|'), 0, 0).trimmed();
            const QString title = line.section(QLatin1Char('|'), 1);
            titles += Cp1251(indent + title) + "\r\n";
            names += Cp1251(indent + page) + "\r\n";
            Put(QDir(folder).filePath(page), Cp1251("<p>" + title + "</p>"));
        }
        Put(QDir(folder).filePath("Titles.txt"), titles);
        Put(QDir(folder).filePath("Names.txt"), names);
        return folder;
    }

    QTemporaryDir dir_;
};

TEST_F(PackageTest, CourseFileKeepsEverythingWithRelativePaths) {
    Course course{"Полное имя", "Кратко", "Описание\nв две строки", {}};
    course.Materials.append({dir_.filePath("тексты/глава 1.doc"),
                             "Глава",
                             Numbering::Off,
                             {{"page_1_.htm", "Своё", false}, {"page_2_.htm", {}, true}}});
    course.Materials.append({dir_.filePath("b.htm"), "Вторая", Numbering::On, {}});
    course.Materials.append({dir_.filePath("c.htm"), "Третья", Numbering::Auto, {}});
    const QString path = dir_.filePath("курс.kelmo-course");
    SaveCourse(course, path);
    EXPECT_TRUE(ReadWholeFile(Local(path)).find("\"тексты/глава 1.doc\"") != std::string::npos);
    EXPECT_EQ(LoadCourse(path), course);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"курс.kelmo-course"});
}

TEST_F(PackageTest, CourseFileOfAnOlderProgramKeepsNumbersOffOnly) {
    const QString path = dir_.filePath("old.kelmo-course");
    Put(path, R"({"format": "kelmo-course", "version": 1, "materials": [
        {"document": "a.doc", "autoNumbering": false}, {"document": "b.doc", "autoNumbering": true},
        {"document": "c.doc"}]})");
    QList<Numbering> numbers;
    for (const Material& material : LoadCourse(path).Materials) numbers << material.Numbers;
    EXPECT_EQ(numbers, (QList<Numbering>{Numbering::Off, Numbering::Auto, Numbering::Auto}));
}

TEST_F(PackageTest, NotACourseIsRefused) {
    const QString path = dir_.filePath("bad.kelmo-course");
    const char* const notACourse = "Файл \"%1\" — не курс Kelmo Preview";
    const std::pair<std::string, const char*> rows[] = {
        {"", notACourse},
        {"not json", notACourse},
        {"[]", notACourse},
        {"{\"format\":\"other\"}", notACourse},
        {"{\"format\":\"kelmo-course\",\"version\":1e308}",
         "Курс \"%1\" сохранён более новой версией программы"},
        {"{\"format\":\"kelmo-course\",\"fullName\":\"\xFF\"}",
         "Не удалось прочитать курс \"%1\": текст не в кодировке UTF-8"},
    };
    for (const auto& [bytes, message] : rows) {
        Put(path, bytes);
        try {
            LoadCourse(path);
            ADD_FAILURE() << bytes;
        } catch (const CourseError& error) {
            EXPECT_EQ(QString::fromUtf8(error.what()), QString::fromUtf8(message).arg(path))
                << bytes;
        }
    }
    EXPECT_THROW(LoadCourse(dir_.filePath("missing.kelmo-course")), CourseError);
    QFile huge(path);  // sparse: refused before it is read
    ASSERT_TRUE(huge.resize(2048LL * 1024 * 1024));
    try {
        LoadCourse(path);
        ADD_FAILURE() << "a 2 GB course";
    } catch (const CourseError& error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  "Не удалось прочитать курс \"" + path + "\": файл больше 16 МБ");
    }
}

TEST_F(PackageTest, ItemsFollowOutlineAndSectionParameters) {
    const QString first = MakeWorkFolder(
        "one", {"page_1_.htm|1. А", "\t\tpage_1_0_1_.htm|Глубже", "\tpage_1_1_.htm|1.1. Б",
                "\t\tpage_1_1_1_.htm|В\x0bВ", "page_2_.htm|2. Г"});
    const QString second = MakeWorkFolder("two", {"page_0.htm|"});
    const PackageRequest request{
        "Курс",
        true,
        {{"Первый", first, {{"page_1_1_.htm", {}, true}, {"page_2_.htm", "Итог", false}}},
         {"Второй", second, {}}},
        dir_.path()};
    Put(dir_.filePath("Titles.txt"), "course titles");
    Put(dir_.filePath("Names.txt"), "course names");
    const QString target = dir_.filePath("p.zip");
    for (const PackageFormat format : {PackageFormat::ImsCp, PackageFormat::Scorm12}) {
        WritePackage(request, format, target);
        auto files = ReadZip(target);
        const std::string& xml = files["imsmanifest.xml"];
        const bool scorm = format == PackageFormat::Scorm12;
        EXPECT_NE(xml.find(scorm ? "<schemaversion>1.2<" : "<schemaversion>1.1.2<"),
                  std::string::npos);
        EXPECT_EQ(xml.find("adlcp:scormtype=\"asset\"") != std::string::npos, scorm);
        const Manifest manifest = ReadManifest(xml);
        // The left-out page's child moves up to its parent.
        EXPECT_EQ(manifest.Tree,
                  "Первый[1. А=material_1/page_1_.htm[Глубже=material_1/page_1_0_1_.htm "
                  "В В=material_1/page_1_1_1_.htm] Итог=material_1/page_2_.htm] "
                  "Второй[=material_2/page_0.htm]");
        files.erase("imsmanifest.xml");
        std::map<QString, int> stored;
        for (const auto& [path, bytes] : files) stored[path] = 1;
        EXPECT_EQ(manifest.Listed, stored);
        EXPECT_EQ(files.count("material_1/page_1_1_.htm"), 0u);
        // The page whole, between bars that skip the left-out page and cross into the next
        // material.
        const std::string page = files["material_1/page_2_.htm"];
        EXPECT_NE(page.find(Cp1251("\n<p>2. Г</p><div class=\"kelmo-nav kelmo-bottom\">")),
                  std::string::npos);
        EXPECT_NE(page.find("<a href=\"page_1_1_1_.htm\">"), std::string::npos);
        EXPECT_NE(page.find("<a href=\"../material_2/page_0.htm\">"), std::string::npos);
    }

    WritePackage(request, PackageFormat::Zip, target);
    auto files = ReadZip(target);
    EXPECT_EQ(files.size(), 13u);  // every page, the outlines, the contents page
    EXPECT_EQ(files["Titles.txt"], "course titles");
    EXPECT_EQ(files["material_2/Names.txt"], "page_0.htm\r\n");
}

TEST_F(PackageTest, MoodleBookKeepsTwoLevelsAndEveryHeading) {
    const QString folder =
        MakeWorkFolder("w", {"page_1_.htm|1. А", "\tpage_1_1_.htm|1.1. Б",
                             "\t\tpage_1_1_1_.htm|1.1.1. В", "\t\t\tpage_1_1_1_1_.htm|1.1.1.1. Г",
                             "\t\tpage_1_1_2_.htm|1.1.2. Д", "\tpage_1_2_.htm|1.2. Е"});
    Put(QDir(folder).filePath("page_1_1_.htm"),
        Cp1251("<html><body><h2>1.1. Б</h2><a href=\"page_1_1_2_.htm#x\">Д</a></body></html>"));
    const QString target = dir_.filePath("book.zip");
    WritePackage({"Т", false, {{"Т", folder, {}}}, {}}, PackageFormat::MoodleBook, target);

    auto files = ReadZip(target);
    EXPECT_EQ(ReadManifest(files["imsmanifest.xml"]).Tree,
              "1. А=page_1_.htm[1.1. Б=page_1_1_.htm 1.2. Е=page_1_2_.htm]");
    EXPECT_EQ(files.count("page_1_1_1_.htm"), 0u);
    const std::string merged = files["page_1_1_.htm"];
    std::size_t at = 0;
    for (const char* heading : {"<h2>1.1. Б", "1.1.1. В", "1.1.1.1. Г", "1.1.2. Д"}) {
        at = merged.find(Cp1251(heading), at);
        EXPECT_NE(at, std::string::npos) << heading;
    }
    EXPECT_NE(merged.find("href=\"page_1_1_.htm#x\""), std::string::npos);
}

TEST_F(PackageTest, PicturesShownByAPageGoWithItUnderAsciiNames) {
    const QString folder = MakeWorkFolder("w", {"page_1_.htm|1. А"});
    Put(QDir(folder).filePath("i_html_1.png"), "png");
    Put(QDir(folder).filePath("Курс.files/рис 1.gif"), "gif");
    Put(dir_.filePath("outside.png"), "secret");
    QFile::link(dir_.filePath("outside.png"), QDir(folder).filePath("link.png"));
    const std::string page = Cp1251(
        "<img src=\"i_html_1.png\"><img SRC='./Курс.files/рис 1.gif'>"
        "<td background=i_html_1.png><img src=\"../outside.png\"><img src=\"link.png\">"
        "<img src=\"/etc/hostname\"><img src=\"http://x/i_html_1.png\">"
        "<img src=\"none.png\">");
    Put(QDir(folder).filePath("page_1_.htm"), page);
    const QString target = dir_.filePath("p.zip");
    WritePackage({"Т", false, {{"Т", folder, {}}}, {}}, PackageFormat::ImsCp, target);

    auto files = ReadZip(target);
    const Manifest manifest = ReadManifest(files["imsmanifest.xml"]);
    EXPECT_EQ(
        manifest.Listed,
        (std::map<QString, int>{
            {"page_1_.htm", 1}, {"i_html_1.png", 1}, {"pictures/p1.gif", 1}, {"index.htm", 1}}));
    EXPECT_EQ(files.size(), 5u);
    std::string expected = page;
    const std::string renamed = Cp1251("./Курс.files/рис 1.gif");
    expected.replace(expected.find(renamed), renamed.size(), "pictures/p1.gif");
    EXPECT_NE(files["page_1_.htm"].find(expected), std::string::npos);
    EXPECT_EQ(files["pictures/p1.gif"], "gif");
}

TEST_F(PackageTest, FailureLeavesNothingAndLinksAreReplacedNotFollowed) {
    const QString folder = MakeWorkFolder("w", {"page_1_.htm|1. А"});
    const PackageRequest request{"Т", false, {{"Т", folder, {}}}, {}};
    Put(dir_.filePath("out/kept.txt"), "kept");
    const struct {
        const char* Target;
        PackageFormat Format;
    } failures[] = {{"missing/p.zip", PackageFormat::Zip},
                    {"out", PackageFormat::Folder},
                    {"out", PackageFormat::Scorm12},
                    {"w/page_1_.htm/p", PackageFormat::Folder}};
    const QStringList before = QDir(dir_.path()).entryList(QDir::AllEntries | QDir::System);
    for (const auto& failure : failures) {
        EXPECT_THROW(WritePackage(request, failure.Format, dir_.filePath(failure.Target)),
                     PackageError)
            << failure.Target;
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::System), before);
    }
    EXPECT_EQ(ReadWholeFile(Local(dir_.filePath("out/kept.txt"))), "kept");

    // An existing package, even a link, is replaced whole; what the link named stays.
    QFile::link(dir_.filePath("out/kept.txt"), dir_.filePath("p.zip"));
    WritePackage(request, PackageFormat::Zip, dir_.filePath("p.zip"));
    EXPECT_EQ(ReadZip(dir_.filePath("p.zip")).size(), 4u);
    EXPECT_EQ(ReadWholeFile(Local(dir_.filePath("out/kept.txt"))), "kept");
    QDir(dir_.path()).mkdir("empty");
    WritePackage(request, PackageFormat::Folder, dir_.filePath("empty/"));
    EXPECT_TRUE(QFile::exists(dir_.filePath("empty/Titles.txt")));
}

}  // namespace
}  // namespace kelmo
