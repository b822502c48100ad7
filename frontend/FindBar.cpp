#include "FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace kelmo {

namespace {

QToolButton* MakeButton(const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

FindBar::FindBar(QWidget* parent) : QWidget(parent), Text(new QLineEdit(this)) {
    setObjectName(QStringLiteral("FindBar1"));
    Text->setObjectName(QStringLiteral("FindText"));
    Text->setClearButtonEnabled(true);
    auto* previous =
        MakeButton(QStringLiteral("▲"), QStringLiteral("Предыдущее (Shift+Enter)"), this);
    auto* next = MakeButton(QStringLiteral("▼"), QStringLiteral("Следующее (Enter)"), this);
    auto* close = MakeButton(QStringLiteral("✕"), QStringLiteral("Закрыть (Esc)"), this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(QStringLiteral("Найти:"), this));
    layout->addWidget(Text, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(close);

    connect(Text, &QLineEdit::textChanged, this,
            [this](const QString& text) { emit FindRequested(text, false); });
    connect(next, &QToolButton::clicked, this, [this] { emit FindRequested(Text->text(), false); });
    connect(previous, &QToolButton::clicked, this,
            [this] { emit FindRequested(Text->text(), true); });
    connect(close, &QToolButton::clicked, this, &FindBar::Close);
    hide();
}

void FindBar::Open() {
    show();
    Text->setFocus(Qt::ShortcutFocusReason);
    Text->selectAll();
}

void FindBar::Close() {
    hide();
    emit FindRequested(QString(), false);
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            Close();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit FindRequested(Text->text(), event->modifiers() & Qt::ShiftModifier);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace kelmo
