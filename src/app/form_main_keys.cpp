// The window at the keyboard: the focus order, the keys that buttons and
// lists keep for themselves, and the names that assistive technology reads
// out. The commands' keys are their actions' (window_actions.h).
#include "app/form_main.h"

#include "app/click_area.h"
#include "app/gif_to_video_page.h"
#include "app/video_to_gif_page.h"
#include "controls/image_button.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>

namespace framolo {

namespace {

bool Plain(const QKeyEvent* key) {
    return (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool IsReturn(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

void TFormmain::BuildKeyboard() {
    // The tool bars' buttons take the focus with Tab, as the picture buttons
    // do; Return and Space press them.
    const QList<QToolButton*> toolButtons = videoToGif_->ToolButtons();
    for (QToolButton* button : toolButtons) {
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
    }
    for (QWidget* list : videoToGif_->Lists())
        list->installEventFilter(this);

    // Tab goes through the command strip, then the page shown, then the
    // status line and the window's own buttons.
    QList<QWidget*> order = {OpenButton_, SaveButton_,    ConvertButton_, StopButton_,
                             MailButton_, WebsiteButton_, HelpButton_};
    order.append({toolButtons.begin(), toolButtons.end()});
    order.append(videoToGif_->TabChain());
    order.append(gifToVideo_->TabChain());
    order.append({StatusMemo_, MinimizeButton_, CloseButton_});
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    // What a screen reader says: the hint of a picture button (the button
    // keeps it in step), a field's caption, a tab's name.
    MaximizeButton_->setAccessibleName(QStringLiteral("Maximize"));
    findChild<TClickArea*>(QStringLiteral("Label_Tab1"))
        ->setAccessibleName(QStringLiteral("GIF >> AVI"));
    findChild<TClickArea*>(QStringLiteral("Label_tab2"))
        ->setAccessibleName(QStringLiteral("AVI >> GIF"));
    for (QLabel* label : findChildren<QLabel*>()) {
        QWidget* buddy = label->buddy();
        if (buddy != nullptr && buddy->accessibleName().isEmpty())
            buddy->setAccessibleName(label->text().remove(QLatin1Char(':')).simplified());
    }
    StatusMemo_->setAccessibleName(QStringLiteral("Status"));
    ProgressBar_->setAccessibleName(QStringLiteral("Progress"));
}

bool TFormmain::eventFilter(QObject* watched, QEvent* event) {
    if (KeyboardEvent(watched, event))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool TFormmain::KeyboardEvent(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Space presses the button, or opens the list, that has the focus.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && Plain(key) &&
            (qobject_cast<QAbstractButton*>(watched) != nullptr ||
             qobject_cast<QComboBox*>(watched) != nullptr)) {
            event->accept();
            return true;
        }
        return false;
    }
    case QEvent::KeyPress: {
        auto* button = qobject_cast<QToolButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button != nullptr && IsReturn(key) && Plain(key)) {
            button->click();
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

} // namespace framolo
