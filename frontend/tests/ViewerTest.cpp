// The real Chromium viewer (runs under xvfb-run): pages of the work folder render as HTML
// with their windows-1251 titles, pictures beside them load, files outside do not.
#include <About.h>
#include <AppSetup.h>
#include <MainForm1.h>
#include <PageViewer.h>
#include <ReviewTools.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

namespace {

constexpr int kLoadMs = 30000;

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

void WritePicture(const QString& path) {
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(path));
}

QVariant RunScript(QWebEngineView& view, const QString& script) {
    QVariant result;
    bool done = false;
    // In a world of its own: the page's own scripts are off.
    view.page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                               [&](const QVariant& value) {
                                   result = value;
                                   done = true;
                               });
    if (!QTest::qWaitFor([&] { return done; }, kLoadMs)) return QStringLiteral("no answer");
    return result;
}

// Waits for the load of file itself (the view starts on a blank page of its own).
bool ShowAndWait(kelmo::WebPageViewer& viewer, const QString& file) {
    bool done = false;
    bool ok = false;
    const auto connection =
        QObject::connect(viewer.View(), &QWebEngineView::loadFinished, [&](bool success) {
            if (viewer.View()->url().path() != QFileInfo(file).absoluteFilePath()) return;
            done = true;
            ok = success;
        });
    viewer.ShowFile(file);
    const bool finished = QTest::qWaitFor([&] { return done; }, kLoadMs);
    QObject::disconnect(connection);
    return finished && ok;
}

// The title the X server holds for a shown window, as a window manager reads it.
QString X11WindowName(QWidget& window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                          QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(kLoadMs)) return QStringLiteral("no answer");
    const QString line = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype start = line.indexOf(QLatin1String("= \""));
    return start < 0 ? line : line.mid(start + 3).chopped(1);
}

// Sheets of a PDF that Chromium wrote: its page objects.
int PdfPages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(file.readAll()).count(page));
}

class OneAnswer : public kelmo::Dialogs {
  public:
    explicit OneAnswer(QString path) : Path(std::move(path)) {}
    QString AskDocument(QFileDialog&) override { return std::exchange(Path, QString()); }
    void ShowError(QWidget*, const QString&, const QString& text) override { Errors << text; }
    QString Path;
    QStringList Errors;
};

}  // namespace

class ViewerTest : public QObject {
    Q_OBJECT

  private slots:
    void ShowsPagesOfTheWorkFolder();
    void WindowShowsSelectedPage();
    void PageReachesNothingOutsideTheWorkFolder();
    void TitleBarsShowExactCaptions();
    void QtTextsFollowTheLocale();
};

void ViewerTest::ShowsPagesOfTheWorkFolder() {
    QTemporaryDir base;
    // Characters that URLs escape or give a meaning to.
    const QString work = base.filePath(QStringLiteral("Курс #1 %41?/WORK"));
    QVERIFY(QDir().mkpath(work + QStringLiteral("/i.files")));
    WritePicture(work + QStringLiteral("/i.files/image001.png"));
    WritePicture(work + QStringLiteral("/../outside.png"));
    // "Введение" in windows-1251, no charset in the page: the served type must carry it.
    WriteFile(work + QStringLiteral("/page_1_.htm"),
              "<html><head><title>\xC2\xE2\xE5\xE4\xE5\xED\xE8\xE5</title></head><body>"
              "<h1>\xC2\xE2\xE5\xE4\xE5\xED\xE8\xE5</h1><img id=in src=\"i.files/image001.png\">"
              "<img id=out src=\"../outside.png\"></body></html>");
    WriteFile(work + QStringLiteral("/i.~ht"),
              "<html><head><title>Export</title></head><body><p>x</p></body></html>");

    kelmo::WebPageViewer viewer;
    viewer.View()->resize(400, 300);
    viewer.View()->show();

    QVERIFY(ShowAndWait(viewer, work + QStringLiteral("/page_1_.htm")));
    QCOMPARE(viewer.View()->title(), QStringLiteral("Введение"));
    QCOMPARE(RunScript(*viewer.View(), QStringLiteral("document.getElementById('in').naturalWidth"))
                 .toInt(),
             7);
    QCOMPARE(
        RunScript(*viewer.View(), QStringLiteral("document.getElementById('out').naturalWidth"))
            .toInt(),
        0);

    // Far above what setContent takes.
    WriteFile(work + QStringLiteral("/page_2_.htm"),
              "<html><head><title>Big</title></head><body>" +
                  QByteArray("<p>text of a long page</p>\r\n").repeated(110000) + "</body></html>");
    viewer.SetZoom(1.5);
    QVERIFY(ShowAndWait(viewer, work + QStringLiteral("/page_2_.htm")));
    QCOMPARE(viewer.View()->title(), QStringLiteral("Big"));
    QCOMPARE(viewer.View()->zoomFactor(), 1.5);

    // The export's own ending is HTML too, not text.
    QVERIFY(ShowAndWait(viewer, work + QStringLiteral("/i.~ht")));
    QCOMPARE(viewer.View()->title(), QStringLiteral("Export"));
}

void ViewerTest::WindowShowsSelectedPage() {
    QTemporaryDir base;
    const QString doc = base.filePath(QStringLiteral("course.htm"));
    WriteFile(
        doc,
        "<html><head><title>C</title></head><body lang=RU><h1>\xC2\xE2\xE5\xE4\xE5\xED\xE8\xE5"
        "</h1><p>a</p><h2>\xD6\xE5\xEB\xE8</h2><p>b</p>"
        // Skipped levels: h1 to h3, h2 to h4, h1 to h6.
        "<h1>One</h1><h3>Three</h3><h2>Two</h2><h4>Four</h4><h1>Last</h1><h6>Six</h6>"
        "</body></html>\r\n");
    auto dialogs = std::make_unique<OneAnswer>(doc);
    OneAnswer& answers = *dialogs;
    TMainForm form(std::move(dialogs));
    form.show();
    auto& viewer = dynamic_cast<kelmo::WebPageViewer&>(form.Viewer());
    QSignalSpy loaded(viewer.View(), &QWebEngineView::loadFinished);

    form.UOpenClick();
    QCOMPARE(answers.Errors, QStringList());
    QVERIFY(form.findChild<QLabel*>(QStringLiteral("TreeNotice"))
                ->text()
                .startsWith(QStringLiteral("Invalid level (3) for item &quot;2.1. Three&quot;")));
    form.SelectNode(1);
    QTRY_COMPARE_WITH_TIMEOUT(viewer.View()->title(), QStringLiteral("Цели"), kLoadMs);
    QVERIFY(viewer.View()->url().path().endsWith(QStringLiteral("/page_1_1_.htm")));
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && loaded.back().at(0).toBool(), kLoadMs);

    // Every node after the skips, the last one first, shows its own heading's page.
    const QStringList titles{"Six", "Last", "Four", "Two", "Three", "One"};
    for (int i = 0; i < titles.size(); ++i) {
        form.SelectNode(7 - i);
        QTRY_COMPARE_WITH_TIMEOUT(viewer.View()->title(), titles[i], kLoadMs);
    }
    QCOMPARE(answers.Errors.size(), 0);

    // Chromium's PDF: the page shown on its sheet(s), every page in tree order on its own.
    auto& tools = form.Tools();
    QSignalSpy pdf(&tools, &kelmo::ReviewTools::PdfFinished);
    const QString pagePdf = base.filePath(QStringLiteral("page.pdf"));
    const QString allPdf = base.filePath(QStringLiteral("all.pdf"));
    tools.SavePdf(false, pagePdf);
    QTRY_COMPARE_WITH_TIMEOUT(pdf.size(), 1, kLoadMs);
    tools.SavePdf(true, allPdf);
    QTRY_COMPARE_WITH_TIMEOUT(pdf.size(), 2, kLoadMs);
    QVERIFY(pdf[0].at(0).toBool() && pdf[1].at(0).toBool());
    QCOMPARE(PdfPages(pagePdf), 1);
    QCOMPARE(PdfPages(allPdf), 8);
    // Printing goes the same way, here to Qt's PDF printer.
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(base.filePath(QStringLiteral("printed.pdf")));
    int printed = -1;
    viewer.Print(QFileInfo(viewer.View()->url().path()).dir().filePath(QStringLiteral("print.~ht")),
                 printer, [&](bool ok) { printed = ok; });
    QTRY_VERIFY_WITH_TIMEOUT(printed >= 0, kLoadMs);
    QCOMPARE(printed, 1);
    QCOMPARE(PdfPages(printer.outputFileName()), 8);

    // The page's context menu: copy, select all and zoom, nothing that leads away from the
    // tree's page. The menu runs a loop of its own: a timer reads and closes it.
    QStringList items;
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (const QAction* action : menu->actions())
            if (!action->isSeparator()) items << action->text();
        menu->close();
        reader.stop();
    });
    reader.start(100);
    QTest::mouseClick(viewer.View()->focusProxy(), Qt::RightButton, {}, QPoint(50, 50));
    QTRY_VERIFY_WITH_TIMEOUT(!items.isEmpty(), kLoadMs);
    QCOMPARE(items.size(), 5);
    QCOMPARE(items.mid(2), (QStringList{"&Увеличить", "У&меньшить", "&Обычный размер"}));
}

void ViewerTest::TitleBarsShowExactCaptions() {
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(X11WindowName(form), form.windowTitle());
    TAboutBox about;
    about.ShowOnRequest();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(X11WindowName(about), QStringLiteral("О программе"));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("x"),
                    QMessageBox::Ok, &form);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(X11WindowName(box), QStringLiteral("Error"));
}

// Last: the translations stay installed for the rest of the run.
void ViewerTest::QtTextsFollowTheLocale() {
    QVERIFY(kelmo::InstallQtTranslations(*qApp, QLocale(QLocale::Russian, QLocale::Russia)));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("x"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    QCOMPARE(buttons->button(QDialogButtonBox::Open)->text(), QStringLiteral("&Открыть"));
}

// Every way a page could reach out, each tried towards a file of the user (FILE, PICTURE)
// and towards a listener on this machine (REMOTE).
QByteArray ReachingOutBody(const QByteArray& file, const QByteArray& picture,
                           const QByteArray& remote) {
    return QByteArray(
               R"(<script>document.title = 'script ran';
for (const u of ['FILE', 'REMOTE/xhr']) {
  try { const x = new XMLHttpRequest(); x.open('GET', u, false); x.send();
        document.title = x.responseText; } catch (e) {}
  fetch(u).then(r => r.text()).then(t => document.title = t);
}</script>
<img id=file src="PICTURE"><img src="REMOTE/img">
<iframe src="FILE"></iframe><iframe src="REMOTE/frame"></iframe>
<link rel=stylesheet href="REMOTE/css"><a id=away href="REMOTE/link">away</a>)")
        .replace("PICTURE", picture)
        .replace("FILE", file)
        .replace("REMOTE", remote);
}

void ViewerTest::PageReachesNothingOutsideTheWorkFolder() {
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    int reached = 0;
    connect(&listener, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = listener.nextPendingConnection()) {
            ++reached;
            socket->deleteLater();
        }
    });
    const QByteArray remote = "http://127.0.0.1:" + QByteArray::number(listener.serverPort());

    QTemporaryDir base;
    const QString work = base.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    WritePicture(base.filePath(QStringLiteral("outside.png")));
    WriteFile(base.filePath(QStringLiteral("secret.htm")),
              "<html><head><title>secret</title></head><body><img src=\"" + remote +
                  "/from-file\"></body></html>");
    const QByteArray file =
        QUrl::fromLocalFile(base.filePath(QStringLiteral("secret.htm"))).toEncoded();
    const QByteArray picture =
        QUrl::fromLocalFile(base.filePath(QStringLiteral("outside.png"))).toEncoded();
    const QByteArray body = ReachingOutBody(file, picture, remote);
    // A page refreshes towards a file, the other towards the listener.
    for (const QByteArray& refresh : {file, remote + "/refresh"}) {
        const QString page = work + QStringLiteral("/page_1_.htm");
        WriteFile(page,
                  "<html><head><title>Locked</title><meta http-equiv=refresh content=\"0;url=" +
                      refresh + "\"></head><body>" + body + "</body></html>");
        kelmo::WebPageViewer viewer;
        viewer.View()->resize(400, 300);
        viewer.View()->show();
        QVERIFY(ShowAndWait(viewer, page));
        RunScript(*viewer.View(), QStringLiteral("document.getElementById('away').click()"));
        QTest::qWait(1500);

        QCOMPARE(viewer.View()->title(), QStringLiteral("Locked"));
        QCOMPARE(viewer.View()->url().path(), page);
        QCOMPARE(RunScript(*viewer.View(),
                           QStringLiteral("document.getElementById('file').naturalWidth"))
                     .toInt(),
                 0);
    }
    QCOMPARE(reached, 0);
}

int main(int argc, char* argv[]) {
    kelmo::PrepareWebEngine();
    QApplication app(argc, argv);
    kelmo::SetUpApplication(app);
    // Remembered settings go to a folder of the test, never to the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    ViewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ViewerTest.moc"
