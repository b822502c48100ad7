// Tree rules of the window without widgets: outline loading, absolute indices, the error
// display text and the files the viewer may be served.
#include <ErrorText.h>
#include <LibFunc.h>
#include <OutlineTree.h>
#include <PageFiles.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using kelmo::OutlineTree;

namespace {

// "depth:text" for every node in depth-first order.
QStringList Shape(const OutlineTree& tree) {
    QStringList shape;
    for (int i = 0; i < tree.Count(); ++i) {
        const kelmo::OutlineNode& node = tree.NodeAt(i);
        shape << QStringLiteral("%1:%2").arg(node.Depth).arg(kelmo::DecodeWindows1251(node.Text));
    }
    return shape;
}

QString LoadError(OutlineTree& tree, const QByteArray& text) { return tree.LoadText(text); }

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace

class OutlineTreeTest : public QObject {
    Q_OBJECT

  private slots:
    void LoadsLinesIntoLevels_data();
    void LoadsLinesIntoLevels();
    void LookupsFollowDepthFirstOrder();
    void RememberedNodeTakesOneStep_data();
    void RememberedNodeTakesOneStep();
    void FindsHeadingAgain_data();
    void FindsHeadingAgain();
    void UnreadableFileLeavesTreeAlone();
    void DecodesWindows1251();
    void ErrorDisplayAddsFinalDot_data();
    void ErrorDisplayAddsFinalDot();
    void ServesOnlyFilesOfTheFolder();
    void TypesFollowTheEnding_data();
    void TypesFollowTheEnding();
};

void OutlineTreeTest::LoadsLinesIntoLevels_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("shape");
    QTest::addColumn<QString>("error");

    // The outline of a course, and the step that is too deep: it and every line after it
    // go under the nearest earlier line with a smaller indentation.
    QTest::newRow("example") << QByteArray("A\r\n\tB\r\n\t\tC\r\n\tF\r\nD\r\n\t\tE\r\n")
                             << QStringList{"0:A", "1:B", "2:C", "1:F", "0:D", "1:E"}
                             << QStringLiteral("Invalid level (3) for item \"E\"");
    QTest::newRow("0 2 2 1") << QByteArray("A\n\t\tB\n\t\tC\n\tD\n")
                             << QStringList{"0:A", "1:B", "1:C", "1:D"}
                             << QStringLiteral("Invalid level (3) for item \"B\"");
    QTest::newRow("0 3 4 1") << QByteArray("A\n\t\t\tB\n\t\t\t\tC\n\tD\n")
                             << QStringList{"0:A", "1:B", "2:C", "1:D"}
                             << QStringLiteral("Invalid level (4) for item \"B\"");
    QTest::newRow("0 2 0 5") << QByteArray("A\n\t\tB\nC\n\t\t\t\t\tD\nE\n\t\tF\n")
                             << QStringList{"0:A", "1:B", "0:C", "1:D", "0:E", "1:F"}
                             << QStringLiteral("Invalid level (3) for item \"B\"");
    QTest::newRow("indentation, not depth, after the first skip")
        << QByteArray("\tA\n\t\t\tB\n\tC\n") << QStringList{"0:A", "1:B", "0:C"}
        << QStringLiteral("Invalid level (4) for item \"B\"");
    QTest::newRow("back two levels")
        << QByteArray("A\n\tB\n\t\tC\nD\n") << QStringList{"0:A", "1:B", "2:C", "0:D"} << QString();
    // The outermost level is the top, whatever it is; an indented first line does not
    // take the next line of the same level under it.
    QTest::newRow("all at level 3") << QByteArray("\t\t1. A\r\n\t\t\t1.1. B\r\n\t\t2. C\r\n")
                                    << QStringList{"0:1. A", "1:1.1. B", "0:2. C"} << QString();
    QTest::newRow("first deeper than a later line")
        << QByteArray("\t\tA\n\t\tB\n\tC\n\t\tD\n") << QStringList{"0:A", "0:B", "0:C", "1:D"}
        << QString();
    QTest::newRow("bad first step after indented start")
        << QByteArray("\tA\n\t\t\tB\n") << QStringList{"0:A", "1:B"}
        << QStringLiteral("Invalid level (4) for item \"B\"");
    QTest::newRow("lines after the skip are kept")
        << QByteArray("A\n\t\tB\nC\n") << QStringList{"0:A", "1:B", "0:C"}
        << QStringLiteral("Invalid level (3) for item \"B\"");

    // Blanks count as levels exactly like tabs, in any mix.
    QTest::newRow("blanks") << QByteArray("A\n B\n  C\n") << QStringList{"0:A", "1:B", "2:C"}
                            << QString();
    QTest::newRow("tab and blank")
        << QByteArray("A\n\tB\n \tC\n") << QStringList{"0:A", "1:B", "2:C"} << QString();
    QTest::newRow("inner blanks stay")
        << QByteArray("A b  c \n") << QStringList{"0:A b  c "} << QString();

    // Line ends and the end of the text.
    QTest::newRow("lone CR and LF")
        << QByteArray("A\rB\nC") << QStringList{"0:A", "0:B", "0:C"} << QString();
    QTest::newRow("LF CR is two ends")
        << QByteArray("A\n\rB\n") << QStringList{"0:A", "0:", "0:B"} << QString();
    QTest::newRow("empty lines are nodes")
        << QByteArray("A\r\n\r\n\tB\r\n") << QStringList{"0:A", "0:", "1:B"} << QString();
    QTest::newRow("a single line end") << QByteArray("\r\n") << QStringList{"0:"} << QString();
    QTest::newRow("empty file") << QByteArray() << QStringList{} << QString();
    QTest::newRow("NUL ends the text")
        << QByteArray("A\n\tB\0\n\t\t\tZ\n", 11) << QStringList{"0:A", "1:B"} << QString();
    QTest::newRow("NUL first") << QByteArray("\0A\n", 3) << QStringList{} << QString();
    QTest::newRow("windows-1251 titles")
        << QByteArray("1. \xC2\xE2\xE5\xE4\xE5\xED\xE8\xE5\r\n\t\t\xD6\xE5\xEB\xE8\r\n")
        << QStringList{QStringLiteral("0:1. Введение"), QStringLiteral("1:Цели")}
        << QStringLiteral("Invalid level (3) for item \"Цели\"");
}

void OutlineTreeTest::LoadsLinesIntoLevels() {
    QFETCH(QByteArray, text);
    QFETCH(QStringList, shape);
    QFETCH(QString, error);
    OutlineTree tree;
    tree.LoadText("old\n\told\n");
    tree.NodeAt(1);  // remembered: a reload must forget it
    QCOMPARE(LoadError(tree, text), error);
    QCOMPARE(Shape(tree), shape);
    // The line reported is the node the window links to.
    const int refused = tree.RefusedIndex();
    QCOMPARE(refused >= 0, !error.isEmpty());
    if (refused >= 0)
        QVERIFY(error.endsWith('"' + shape[refused].section(QLatin1Char(':'), 1) + '"'));
}

void OutlineTreeTest::LookupsFollowDepthFirstOrder() {
    OutlineTree tree;
    tree.LoadText("A\n\tB\n\t\tC\n\tF\nD\n");
    const QList<QByteArray> order{"A", "B", "C", "F", "D"};

    // Indices out of range.
    for (const int index : {-1, 5, 1000}) {
        QVERIFY_THROWS_EXCEPTION(kelmo::TreeViewError, tree.NodeAt(index));
    }
    // Every node's index, found cold (walking) and warm (remembered), in both directions.
    for (int i = 0; i < tree.Count(); ++i) QCOMPARE(tree.NodeAt(i).Text, order[i]);
    for (int i = tree.Count() - 1; i >= 0; --i) {
        const kelmo::OutlineNode& node = tree.NodeAt(i);
        QCOMPARE(node.Text, order[i]);
        QCOMPARE(tree.AbsoluteIndex(node), i);
    }
    // AbsoluteIndex of nodes that were not looked up last.
    const kelmo::OutlineNode& d = *tree.TopLevel()[1];
    const kelmo::OutlineNode& c = *tree.TopLevel()[0]->Children[0]->Children[0];
    tree.NodeAt(0);
    QCOMPARE(tree.AbsoluteIndex(d), 4);
    QCOMPARE(tree.AbsoluteIndex(c), 2);
    // Clearing forgets the remembered node.
    tree.Clear();
    QVERIFY_THROWS_EXCEPTION(kelmo::TreeViewError, tree.NodeAt(0));
}

void OutlineTreeTest::RememberedNodeTakesOneStep_data() {
    QTest::addColumn<QList<int>>("lookups");
    QTest::addColumn<QList<int>>("walks");

    // Same index and neighbours take one step; anything else walks from the first node.
    QTest::newRow("downward") << QList<int>{0, 1, 2, 3, 4} << QList<int>{1, 1, 1, 1, 1};
    QTest::newRow("upward from a walk") << QList<int>{4, 3, 2, 1} << QList<int>{5, 1, 1, 1};
    QTest::newRow("same index") << QList<int>{3, 3} << QList<int>{4, 1};
    QTest::newRow("jumps walk") << QList<int>{0, 3, 1} << QList<int>{1, 4, 2};
}

void OutlineTreeTest::RememberedNodeTakesOneStep() {
    QFETCH(QList<int>, lookups);
    QFETCH(QList<int>, walks);
    OutlineTree tree;
    tree.LoadText("A\n\tB\n\t\tC\n\tF\nD\n");
    const QList<QByteArray> order{"A", "B", "C", "F", "D"};
    for (qsizetype i = 0; i < lookups.size(); ++i) {
        QCOMPARE(tree.NodeAt(lookups[i]).Text, order[lookups[i]]);
        QCOMPARE(tree.LastWalkLength(), walks[i]);
    }
}

void OutlineTreeTest::FindsHeadingAgain_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("place");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<int>("found");

    const QByteArray twice("1. A\n\t1.1. B\n2. C\n\t2.1. B\n3. D\n");
    QTest::newRow("same place") << twice << 3 << QByteArray("2.1. B") << 3;
    QTest::newRow("nearest of two") << twice << 4 << QByteArray("2.1. B") << 3;
    QTest::newRow("earlier on a tie") << twice << 2 << QByteArray("B") << 1;
    QTest::newRow("moved, renumbered")
        << QByteArray("1. X\n2. A\n\t2.1. B\n") << 1 << QByteArray("1.1. B") << 2;
    QTest::newRow("a number is not the whole title")
        << QByteArray("2024\n2025\n") << 0 << QByteArray("2025") << 1;
    QTest::newRow("renamed: same place") << twice << 1 << QByteArray("Z") << 1;
    QTest::newRow("renamed past the end") << twice << 9 << QByteArray("Z") << -1;
    QTest::newRow("empty tree") << QByteArray() << 0 << QByteArray("A") << -1;
}

void OutlineTreeTest::FindsHeadingAgain() {
    QFETCH(QByteArray, text);
    QFETCH(int, place);
    QFETCH(QByteArray, title);
    QFETCH(int, found);
    OutlineTree tree;
    QCOMPARE(tree.LoadText(text), QString());
    QCOMPARE(kelmo::FindHeading(tree, place, title), found);
}

void OutlineTreeTest::UnreadableFileLeavesTreeAlone() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("Titles.txt"));
    OutlineTree tree;
    tree.LoadText("A\n");
    try {
        tree.LoadFile(missing);
        QFAIL("no error");
    } catch (const kelmo::IoError& error) {
        QCOMPARE(QString::fromUtf8(error.what()),
                 QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
    }
    QCOMPARE(Shape(tree), QStringList{"0:A"});

    WriteFile(missing, "X\r\n\tY\r\n");
    tree.LoadFile(missing);
    QCOMPARE(Shape(tree), (QStringList{"0:X", "1:Y"}));
}

void OutlineTreeTest::DecodesWindows1251() {
    QCOMPARE(kelmo::DecodeWindows1251("\xC0\xDF\xE0\xFF\xA8\xB8\xB9 ok"),
             QStringLiteral("АЯаяЁё№ ok"));
    QCOMPARE(kelmo::DecodeWindows1251("\x96\x97\xAB\xBB"), QStringLiteral("–—«»"));
    QByteArray letters;
    for (int byte = 0xC0; byte <= 0xFF; ++byte) letters += char(byte);
    QCOMPARE(kelmo::DecodeWindows1251(letters + "\xA8\xB8\xA5\xB4\xAA\xBA\xB2\xB3\xAF\xBF\xA1\xA2"),
             QStringLiteral("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя"
                            "ЁёҐґЄєІіЇїЎў"));
}

void OutlineTreeTest::ErrorDisplayAddsFinalDot_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");

    // A character above "." gets one; "." itself and anything below stay as they are.
    QTest::newRow("letter") << "Access denied"
                            << "Access denied.";
    QTest::newRow("digit") << "Невозможно создать /a/1A2B3C4D-5E6"
                           << "Невозможно создать /a/1A2B3C4D-5E6.";
    QTest::newRow("cyrillic") << "Файл не найден"
                              << "Файл не найден.";
    QTest::newRow("slash") << "/tmp/"
                           << "/tmp/.";
    QTest::newRow("dot") << "Done."
                         << "Done.";
    QTest::newRow("parenthesis") << "Error (5)"
                                 << "Error (5)";
    QTest::newRow("quote") << "item \"E\""
                           << "item \"E\"";
    QTest::newRow("blank") << "text "
                           << "text ";
    QTest::newRow("empty") << ""
                           << "";
}

void OutlineTreeTest::ErrorDisplayAddsFinalDot() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(kelmo::ErrorDisplayText(message), shown);
}

void OutlineTreeTest::ServesOnlyFilesOfTheFolder() {
    QTemporaryDir base;
    const QString work = base.filePath(QStringLiteral("WORK"));
    QVERIFY(QDir().mkpath(work + QStringLiteral("/i.files")));
    QVERIFY(QDir().mkpath(base.filePath(QStringLiteral("WORKER"))));
    WriteFile(work + QStringLiteral("/page_1_.htm"), "p");
    WriteFile(work + QStringLiteral("/i.files/image001.png"), "i");
    WriteFile(base.filePath(QStringLiteral("secret.txt")), "s");
    WriteFile(base.filePath(QStringLiteral("WORKER/page.htm")), "s");
    QVERIFY(QFile::link(base.filePath(QStringLiteral("secret.txt")),
                        work + QStringLiteral("/link.htm")));

    const auto url = [](const QString& path) {
        QUrl u;
        u.setScheme(QStringLiteral("kelmo"));
        u.setHost(QStringLiteral("local"));
        u.setPath(path);
        return u;
    };
    const QString page = QFileInfo(work + QStringLiteral("/page_1_.htm")).canonicalFilePath();
    struct Row {
        const char* Name;
        QUrl Url;
        bool Served;
    };
    const Row rows[] = {
        // Files of the folder and of folders below it.
        {"page", kelmo::PageUrl(work + QStringLiteral("/page_1_.htm")), true},
        {"picture below", url(work + QStringLiteral("/i.files/image001.png")), true},
        // Escapes, neighbours, other schemes, missing files, folders.
        {"dot-dot out", url(work + QStringLiteral("/../secret.txt")), false},
        {"dot-dot out twice", url(work + QStringLiteral("/i.files/../../secret.txt")), false},
        {"dot-dot staying inside", url(work + QStringLiteral("/i.files/../page_1_.htm")), false},
        {"percent-encoded dot-dot",
         QUrl(QStringLiteral("kelmo://local") + work +
              QStringLiteral("/i.files/%2E%2E/page_1_.htm")),
         false},
        {"absolute path elsewhere", url(base.filePath(QStringLiteral("secret.txt"))), false},
        {"neighbour folder", url(base.filePath(QStringLiteral("WORKER/page.htm"))), false},
        {"link out", url(work + QStringLiteral("/link.htm")), false},
        {"missing", url(work + QStringLiteral("/page_9_.htm")), false},
        {"folder", url(work + QStringLiteral("/i.files")), false},
        {"file scheme", QUrl::fromLocalFile(work + QStringLiteral("/page_1_.htm")), false},
        {"other host",
         QUrl(QStringLiteral("kelmo://other") + work + QStringLiteral("/page_1_.htm")), false},
    };
    QStringList wrong;
    for (const Row& row : rows) {
        if (kelmo::ResolvePageFile(work, row.Url).isEmpty() == row.Served) wrong << row.Name;
    }
    QCOMPARE(wrong.join(QStringLiteral(", ")), QString());
    QCOMPARE(kelmo::ResolvePageFile(work, kelmo::PageUrl(work + QStringLiteral("/page_1_.htm"))),
             page);
}

void OutlineTreeTest::TypesFollowTheEnding_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("type");
    QTest::newRow("export") << "/w/i.~ht" << QByteArray("text/html;charset=windows-1251");
    QTest::newRow("page") << "/w/page_1_.htm" << QByteArray("text/html;charset=windows-1251");
    QTest::newRow("upper case") << "/w/A.HTML" << QByteArray("text/html;charset=windows-1251");
    QTest::newRow("picture") << "/w/i.files/image001.JPG" << QByteArray("image/jpeg");
    QTest::newRow("png") << "/w/a.png" << QByteArray("image/png");
    QTest::newRow("style") << "/w/a.css" << QByteArray("text/css");
    QTest::newRow("unknown") << "/w/a.wmz" << QByteArray("application/octet-stream");
}

void OutlineTreeTest::TypesFollowTheEnding() {
    QFETCH(QString, file);
    QFETCH(QByteArray, type);
    QCOMPARE(kelmo::PageMimeType(file), type);
}

QTEST_APPLESS_MAIN(OutlineTreeTest)
#include "OutlineTreeTest.moc"
