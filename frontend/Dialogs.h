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

// A file name typed with its completion list open and ended with Enter accepts the dialog
// while the line edit still has the focus (under X the focus moves only when the server
// says so), and the completer hides its list only when the focus has gone: the list stays
// on screen after the dialog, holding mouse and keyboard. This closes it with the dialog.
void CloseCompletionsWithDialog(QFileDialog& dialog);

class MessageBoxDialogs : public Dialogs {
  public:
    QString AskDocument(QFileDialog& dialog) override;
    void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
};

}  // namespace kelmo
