#pragma once

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace Ui {
class TAboutBox;
}

// The About box: shown for a moment as the start screen, later on request from the menu.
// Created once at start; closing it only hides it.
class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kStartScreenMs = 100;

    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    // Shows the box modally until Timer1 closes it.
    void ShowAsStartScreen();
    // Shows the box without blocking other windows; brings it to the front when already shown.
    void ShowOnRequest();

    static QUrl MakerAddress();
    const QTimer& StartScreenTimer() const { return Timer1; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void Timer1Timer();

  private:
    void SetUpLook();
    void LoadPicture();
    void Label3Click();
    void Label3DblClick();

    std::unique_ptr<Ui::TAboutBox> ui;
    QTimer Timer1;
    bool ignoreNextRelease = false;
};

// The program's start after the windows exist: the About box stands alone on the screen as the
// start screen, then the main window is shown maximized.
void StartScreen(TAboutBox& aboutBox, QWidget& mainForm);

// The program's icon in the sizes it is installed in.
QIcon ApplicationIcon();
