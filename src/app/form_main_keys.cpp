// The window at the keyboard: shortcuts for the commands, the focus order, the
// keys that buttons, lists and fields keep for themselves, and the names that
// assistive technology reads out.
#include "app/form_main.h"

#include "app/click_area.h"
#include "app/track_bar.h"
#include "controls/image_button.h"
#include "controls/search_combo_box.h"

#include <QAbstractButton>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QShortcut>
#include <QToolButton>
#include <QToolTip>

namespace framolo {

namespace {

bool Plain(const QKeyEvent* key) {
    return (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool IsReturn(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

void TFormmain::AddShortcut(const QKeySequence& keys, void (TFormmain::*command)()) {
    auto* shortcut = new QShortcut(keys, this);
    // Held down, only the frame steps repeat.
    shortcut->setAutoRepeat(command == &TFormmain::PreviousFrameKey ||
                            command == &TFormmain::NextFrameKey);
    connect(shortcut, &QShortcut::activated, this, [this, command] { (this->*command)(); });
}

void TFormmain::NameShortcut(QWidget* control, const QString& keys) {
    shortcutHints_.insert(control, keys);
    control->setAccessibleDescription(QStringLiteral("Shortcut: ") + keys);
    control->installEventFilter(this);
}

void TFormmain::BuildKeyboard() {
    const auto add = [this](std::initializer_list<QKeySequence> keys, void (TFormmain::*command)(),
                            std::initializer_list<QWidget*> controls) {
        for (const QKeySequence& sequence : keys)
            AddShortcut(sequence, command);
        const QString named = keys.begin()->toString(QKeySequence::NativeText);
        for (QWidget* control : controls)
            NameShortcut(control, named);
    };
    add({QKeySequence(Qt::CTRL | Qt::Key_O)}, &TFormmain::OpenClick, {OpenButton_, ToolButton1_});
    add({QKeySequence(Qt::CTRL | Qt::Key_S)}, &TFormmain::SaveClick, {SaveButton_});
    add({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
        &TFormmain::ConvertKey, {ConvertButton_, ConvertAviButton_, ConvertGifButton_});
    add({QKeySequence(Qt::Key_Escape)}, &TFormmain::StopKey,
        {StopButton_, StopAviButton_, StopGifButton_});
    add({QKeySequence(Qt::Key_F1)}, &TFormmain::HelpClick, {HelpButton_});
    add({QKeySequence(Qt::Key_Space)}, &TFormmain::PlayPauseKey, {ToolButton3_, ToolButton8_});
    add({QKeySequence(Qt::Key_Left)}, &TFormmain::PreviousFrameKey, {ToolButton10_});
    add({QKeySequence(Qt::Key_Right)}, &TFormmain::NextFrameKey, {ToolButton11_});
    add({QKeySequence(Qt::CTRL | Qt::Key_W)}, &TFormmain::CloseClipKey, {ToolButton2_});
    // Ctrl+Shift+Tab: X11 keyboard maps offer it as Ctrl+Shift+Tab and as
    // Ctrl+Backtab, other platforms as Ctrl+Shift+Backtab. One form per
    // platform may match, or the key counts as ambiguous and does nothing.
    add({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
         QKeySequence(Qt::CTRL | Qt::Key_PageDown), QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
        &TFormmain::SwitchTabKey, {});

    // The tool bars' buttons take the focus with Tab, as the picture buttons
    // do; Return and Space press them.
    QList<QToolButton*> toolButtons = {ToolButton1_,  ToolButton2_, ToolButton3_, ToolButton8_,
                                       ToolButton7_,  ToolButton5_, ToolButton6_, ToolButton9_,
                                       ToolButton10_, ToolButton11_};
    for (QToolButton* button : toolButtons) {
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
    }
    for (TSearchComboBox* list : {ColorReductionBox_, DitherModeBox_})
        list->installEventFilter(this);
    // The frame field never keeps the focus, and the track bar is stepped with
    // Left and Right, which move the player with it.
    edit1_->setFocusPolicy(Qt::NoFocus);
    TrackBar1_->setFocusPolicy(Qt::NoFocus);
    for (QLineEdit* field :
         {StartEdit_, EndEdit_, StepEdit_, WidthEdit_, HeightEdit_, DelayEdit_, LoopEdit_})
        connect(field, &QLineEdit::textEdited, this, [field] { KeepDigits(field); });

    // Tab goes through the command strip, then the page shown, then the
    // status line and the window's own buttons.
    QList<QWidget*> order = {OpenButton_, SaveButton_,    ConvertButton_, StopButton_,
                             MailButton_, WebsiteButton_, HelpButton_};
    order.append({toolButtons.begin(), toolButtons.end()});
    order.append({StartEdit_, StepEdit_, EndEdit_, WidthEdit_, HeightEdit_, KeepAspectButton_,
                  DelayEdit_, LoopEdit_, ColorReductionBox_, DitherModeBox_, FitUnderEdit_,
                  ConvertAviButton_, StopAviButton_, ConvertGifButton_, StopGifButton_, StatusMemo_,
                  MinimizeButton_, CloseButton_});
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

bool TFormmain::KeyboardEvent(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ToolTip: {
        // The hint as shown names its shortcut; the hint text stays as it is.
        const auto found = shortcutHints_.constFind(watched);
        auto* control = qobject_cast<QWidget*>(watched);
        if (found == shortcutHints_.constEnd() || control == nullptr ||
            control->toolTip().isEmpty())
            return false;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           control->toolTip() + QStringLiteral(" (") + *found + QLatin1Char(')'),
                           control);
        return true;
    }
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

void TFormmain::KeepDigits(QLineEdit* field) {
    const QString text = field->text();
    QString digits;
    int cursor = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            continue;
        digits += text[i];
        if (i < field->cursorPosition())
            ++cursor;
    }
    if (digits == text)
        return;
    field->setText(digits);
    field->setCursorPosition(cursor);
}

void TFormmain::ConvertKey() {
    if (!running_)
        ConvertClick();
}

void TFormmain::StopKey() {
    if (running_)
        StopClick();
}

void TFormmain::PlayPauseKey() {
    if (ActivePage() != 0)
        return;
    if (ToolButton3_->isEnabled())
        ToolButton3_->click();
    else
        ToolButton8_->click();
}

void TFormmain::PreviousFrameKey() {
    if (ActivePage() == 0)
        ToolButton10_->click();
}

void TFormmain::NextFrameKey() {
    if (ActivePage() == 0)
        ToolButton11_->click();
}

// Closing the clip, which switching tabs does too, empties the fields a run
// reads before every frame: from the keyboard neither cuts a run short.
void TFormmain::CloseClipKey() {
    if (ActivePage() == 0 && !running_)
        ToolButton2_->click();
}

void TFormmain::SwitchTabKey() {
    if (running_)
        return;
    if (ActivePage() == 0)
        Label_Tab1Click();
    else
        Label_tab2Click();
}

} // namespace framolo
