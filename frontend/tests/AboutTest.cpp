#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QtTest>

#include "About.h"
#include "Dialogs.h"
#include "MainForm1.h"
#include "PageViewer.h"

namespace {

// Records show and hide events of the watched windows in the order they arrive.
class EventLog : public QObject {
  public:
    struct Entry {
        QString who;
        QEvent::Type type;
        bool modal;
        bool othersVisible;
    };
    QList<Entry> entries;
    QList<QWidget*> watched;

    void Watch(QWidget& widget) {
        watched << &widget;
        widget.installEventFilter(this);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
            auto* widget = static_cast<QWidget*>(object);
            bool othersVisible = false;
            for (QWidget* other : watched) othersVisible |= other != widget && other->isVisible();
            entries.append({object->objectName(), event->type(), widget->isModal(), othersVisible});
        }
        return false;
    }
};

// Collects the addresses the box asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

// The window without its message boxes and web view.
class SilentDialogs : public kelmo::Dialogs {
  public:
    QString AskDocument(QFileDialog&) override { return {}; }
    void ShowError(QWidget*, const QString&, const QString&) override {}
};

class BlankViewer : public kelmo::PageViewer {
  public:
    QWidget* Widget() override { return view; }  // the window takes it over
    void ShowFile(const QString&) override {}

  private:
    QWidget* view = new QWidget;
};

QLabel* Child(TAboutBox& box, const char* name) {
    return box.findChild<QLabel*>(QString::fromLatin1(name));
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint at = {5, 5}) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

}  // namespace

class AboutTest : public QObject {
    Q_OBJECT

  private slots:
    // Captions and texts as the user reads them.
    void texts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("product") << "Label4"
                                 << "Kelmo Preview 1.0";
        QTest::newRow("description")
            << "Label1"
            << "Программа предварительного просмотра материалов УМК, подготовленных для "
               "размещения в системе ДО \"КЕЛМО\"";
        QTest::newRow("maker") << "OrganisationLine"
                               << "Kelmo Preview project";
        QTest::newRow("address") << "Label3"
                                 << "kelmo.example.org";
    }
    void texts() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        TAboutBox box;
        QCOMPARE(box.windowTitle(), QString("О программе"));
        QLabel* label = Child(box, qPrintable(name));
        QVERIFY(label != nullptr);
        QCOMPARE(label->text(), text);
        QVERIFY(Child(box, "CreditsLine")->text().contains("2026"));
        QCOMPARE(TAboutBox::MakerAddress().host(), QString("kelmo.example.org"));
    }

    // Places, type and colour of each line; every text must fit its place with the fonts found
    // on this machine, otherwise the box shows it cut off.
    void linesFitTheirPlaces_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("serif");
        QTest::addColumn<QColor>("colour");
        const QColor navy(0, 0, 128);
        QTest::newRow("maker") << "OrganisationLine" << QRect(136, 8, 340, 20) << 16 << false
                               << navy;
        QTest::newRow("address") << "Label3" << QRect(218, 28, 145, 20) << 16 << false << navy;
        QTest::newRow("product") << "Label4" << QRect(112, 56, 401, 25) << 19 << true << navy;
        QTest::newRow("description") << "Label1" << QRect(160, 88, 305, 65) << 16 << true << navy;
        QTest::newRow("credits") << "CreditsLine" << QRect(114, 177, 392, 13) << 11 << false
                                 << QColor(Qt::black);
    }
    void linesFitTheirPlaces() {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        QFETCH(int, pixelSize);
        QFETCH(bool, serif);
        QFETCH(QColor, colour);
        TAboutBox box;
        QLabel* label = Child(box, qPrintable(name));
        QCOMPARE(label->geometry(), place);
        QCOMPARE(label->font().pixelSize(), pixelSize);
        QCOMPARE(label->font().families().first(),
                 serif ? QString("Times New Roman") : QString("MS Sans Serif"));
        QCOMPARE(label->palette().color(QPalette::WindowText), colour);
        const QFontMetrics metrics(label->font());
        if (label->wordWrap()) {
            QVERIFY2(label->heightForWidth(place.width()) <= place.height(),
                     qPrintable(QString::number(label->heightForWidth(place.width()))));
        } else {
            QVERIFY2(metrics.horizontalAdvance(label->text()) <= place.width(),
                     qPrintable(QString::number(metrics.horizontalAdvance(label->text()))));
            QVERIFY(metrics.height() <= place.height() + 2);
        }
    }

    void styleOfTheLines() {
        TAboutBox box;
        QVERIFY(Child(box, "Label3")->font().underline());
        QCOMPARE(Child(box, "Label3")->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(Child(box, "Label4")->font().bold() && Child(box, "Label4")->font().italic());
        QVERIFY(Child(box, "Label1")->font().bold() && Child(box, "Label1")->font().italic());
        QVERIFY(Child(box, "OrganisationLine")->font().bold());
        QVERIFY(!Child(box, "CreditsLine")->font().bold());
    }

    // A fixed white dialog with a close button only, centred on the screen.
    void windowFrame() {
        TAboutBox box;
        QCOMPARE(box.size(), QSize(517, 193));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        const Qt::WindowFlags flags = box.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
        QCOMPARE(box.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(box.findChildren<QAbstractButton*>().isEmpty());
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY((box.geometry().center() - screenCentre).manhattanLength() <= 2);
    }

    // The picture keeps its own size inside a smaller place, from the top-left corner; the
    // program's icon is bundled in both installed sizes.
    void picture() {
        TAboutBox box;
        QLabel* image = Child(box, "Image1");
        QCOMPARE(image->geometry(), QRect(16, 8, 73, 81));
        QCOMPARE(image->pixmap().size(), QSize(70, 100));
        QVERIFY(!image->hasScaledContents());
        QCOMPARE(image->alignment(), Qt::AlignLeft | Qt::AlignTop);
        const QList<QSize> iconSizes = ApplicationIcon().availableSizes();
        QVERIFY(iconSizes.contains(QSize(48, 48)) && iconSizes.contains(QSize(128, 128)));
    }

    // The start: the box alone on the screen and modal, closed by its timer, then the main
    // window maximized.
    void startScreenComesFirst() {
        QWidget mainForm;
        mainForm.setObjectName("main");
        TAboutBox box(&mainForm);
        box.setObjectName("about");
        EventLog log;
        log.Watch(mainForm);
        log.Watch(box);

        QElapsedTimer clock;
        clock.start();
        StartScreen(box, mainForm);
        // About 100 ms; the upper bound is loose for a busy machine.
        QVERIFY2(clock.elapsed() >= TAboutBox::kStartScreenMs - 10 && clock.elapsed() < 1000,
                 qPrintable(QString::number(clock.elapsed())));

        QCOMPARE(log.entries.size(), 3);
        QCOMPARE(log.entries[0].who, QString("about"));
        QCOMPARE(log.entries[0].type, QEvent::Show);
        QVERIFY(log.entries[0].modal);
        QVERIFY(!log.entries[0].othersVisible);
        QCOMPARE(log.entries[1].who, QString("about"));
        QCOMPARE(log.entries[1].type, QEvent::Hide);
        QCOMPARE(log.entries[2].who, QString("main"));
        QCOMPARE(log.entries[2].type, QEvent::Show);
        QVERIFY(mainForm.windowState().testFlag(Qt::WindowMaximized));
        QVERIFY(!box.StartScreenTimer().isActive());
        QVERIFY(!box.isModal());
    }

    // Closed by the user before the timer ran out, the box must not be closed again later
    // when it is opened from the menu.
    void startScreenClosedEarly() {
        QWidget mainForm;
        TAboutBox box(&mainForm);
        QTimer::singleShot(0, &box, &QWidget::close);
        StartScreen(box, mainForm);
        QVERIFY(!box.StartScreenTimer().isActive());
        box.ShowOnRequest();
        QTest::qWait(3 * TAboutBox::kStartScreenMs);
        QVERIFY(box.isVisible());
    }

    // From the menu: not modal, stays until closed, closing only hides, shown again the same.
    void shownOnRequest() {
        QWidget mainForm;
        TAboutBox* box = new TAboutBox(&mainForm);
        QPointer<TAboutBox> alive(box);
        QTimer::singleShot(0, box, &QWidget::close);
        StartScreen(*box, mainForm);

        for (int round = 0; round < 2; ++round) {
            box->ShowOnRequest();
            box->ShowOnRequest();  // chosen again while shown
            QVERIFY(box->isVisible());
            QVERIFY(!box->isModal());
            QCOMPARE(QApplication::activeModalWidget(), nullptr);
            QTest::qWait(3 * TAboutBox::kStartScreenMs);
            QVERIFY(box->isVisible());
            QVERIFY(mainForm.isEnabled());
            box->close();
            QVERIFY(alive);
            QVERIFY(!box->isVisible());
            QCOMPARE(Child(*box, "Label4")->text(), QString("Kelmo Preview 1.0"));
        }
    }

    // The start as the program does it, then the box from the menu of the real window.
    void menuOfTheWindowShowsTheBox() {
        TMainForm form(std::make_unique<SilentDialogs>(), std::make_unique<BlankViewer>());
        auto* box = new TAboutBox(&form);
        form.SetAboutBox(box);
        StartScreen(*box, form);
        QVERIFY(form.isVisible());
        QVERIFY(form.windowState().testFlag(Qt::WindowMaximized));
        QVERIFY(!box->isVisible());

        QAction* menuItem = form.findChild<QAction*>("N4");
        QVERIFY(menuItem != nullptr);
        menuItem->trigger();
        menuItem->trigger();
        QVERIFY(box->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QTest::qWait(3 * TAboutBox::kStartScreenMs);
        QVERIFY(box->isVisible());
        box->close();
        menuItem->trigger();
        QVERIFY(box->isVisible());
    }

    // A click opens the address once; a double click opens it as click plus double click,
    // the release ending it adds nothing; a press dragged off the label opens nothing.
    void addressOpens_data() {
        QTest::addColumn<QList<int>>("events");
        QTest::addColumn<int>("opened");
        const int press = QEvent::MouseButtonPress, release = QEvent::MouseButtonRelease,
                  dbl = QEvent::MouseButtonDblClick;
        QTest::newRow("click") << QList<int>{press, release} << 1;
        QTest::newRow("double click") << QList<int>{press, release, dbl, release} << 2;
        QTest::newRow("two separate clicks") << QList<int>{press, release, press, release} << 2;
        QTest::newRow("released elsewhere") << QList<int>{press, -release} << 0;
    }
    void addressOpens() {
        QFETCH(QList<int>, events);
        QFETCH(int, opened);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        TAboutBox box;
        QLabel* address = Child(box, "Label3");
        for (int type : events) {
            const QPoint at = type < 0 ? QPoint(-20, -20) : QPoint(5, 5);
            SendMouse(address, QEvent::Type(std::abs(type)), at);
        }
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.opened.size(), opened);
        for (const QUrl& url : catcher.opened) QCOMPARE(url, TAboutBox::MakerAddress());
    }
};

QTEST_MAIN(AboutTest)
#include "AboutTest.moc"
