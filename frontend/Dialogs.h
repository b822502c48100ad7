// The window's modal dialogs behind one small interface, so that tests answer them.
#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace kelmo {

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Runs the prepared open dialog; the chosen path, or an empty text when cancelled.
    virtual QString AskDocument(QFileDialog& dialog) = 0;
    // An error message box with one OK button.
    virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;
};

class MessageBoxDialogs : public Dialogs {
  public:
    QString AskDocument(QFileDialog& dialog) override;
    void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
};

}  // namespace kelmo
