// The find bar under the page: a line to type in, next and previous, Esc closes it.
#pragma once

#include <QWidget>

class QLineEdit;

namespace kelmo {

class FindBar : public QWidget {
    Q_OBJECT

  public:
    explicit FindBar(QWidget* parent = nullptr);
    // Shows the bar with its text selected, ready for typing.
    void Open();
    QLineEdit& Line() { return *Text; }

  signals:
    // Find the text after (or before) the current match; an empty text clears the marks.
    void FindRequested(const QString& text, bool backward);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Close();
    QLineEdit* Text;
};

}  // namespace kelmo
