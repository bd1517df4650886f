#include "app/window_actions.h"

#include "app/artwork.h"
#include "controls/image_button.h"

#include <QAction>
#include <QHelpEvent>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QWidget>

namespace framolo {

namespace {

struct TCommandLook {
    TCommand Command;
    // What its tool bar button shows as hint, and its icon; or what the
    // action is called when no tool bar shows it.
    const char* Text;
    const char* Icon;
    QList<QKeySequence> Keys;
};

QList<TCommandLook> CommandLooks() {
    return {
        {TCommand::Open, "Open", "open", {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {TCommand::Save, "Save", nullptr, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {TCommand::Convert,
         "Convert",
         nullptr,
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
        {TCommand::Stop, "Stop working", nullptr, {QKeySequence(Qt::Key_Escape)}},
        {TCommand::Help, "Help", nullptr, {QKeySequence(Qt::Key_F1)}},
        {TCommand::CloseClip, "Close", "close", {QKeySequence(Qt::CTRL | Qt::Key_W)}},
        {TCommand::Play, "Play", "play", {}},
        {TCommand::Pause, "Pause", "pause", {}},
        {TCommand::StopPlaying, "Stop", "stop", {}},
        {TCommand::SelectMode, "Open/Close Select Mode  ", "select_off", {}},
        {TCommand::SelectStart, "Select Start Frame", "sel_start", {}},
        {TCommand::SelectEnd, "Select Stop Frame", "sel_stop", {}},
        {TCommand::PreviousFrame, "Previous Frame", "prev", {QKeySequence(Qt::Key_Left)}},
        {TCommand::NextFrame, "Next Frame", "next", {QKeySequence(Qt::Key_Right)}},
        {TCommand::PlayPause, "Play or pause", nullptr, {QKeySequence(Qt::Key_Space)}},
        // Ctrl+Shift+Tab: X11 keyboard maps offer it as Ctrl+Shift+Tab and as
        // Ctrl+Backtab, other platforms as Ctrl+Shift+Backtab. One form per
        // platform may match, or the key counts as ambiguous and does nothing.
        {TCommand::SwitchTab,
         "Switch tab",
         nullptr,
         {QKeySequence(Qt::CTRL | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::Key_PageDown), QKeySequence(Qt::CTRL | Qt::Key_PageUp)}},
    };
}

} // namespace

TWindowActions::TWindowActions(QWidget& window) : QObject(&window) {
    for (const TCommandLook& look : CommandLooks()) {
        const std::size_t i = Index(look.Command);
        const QString text = QString::fromLatin1(look.Text);
        auto* action = new QAction(text, &window);
        if (look.Icon != nullptr)
            action->setIcon(
                ArtIcon(QStringLiteral("tb_") + QString::fromLatin1(look.Icon), QSize(18, 18)));
        action->setToolTip(text);
        // Held down, only the frame steps repeat.
        const bool repeats =
            look.Command == TCommand::PreviousFrame || look.Command == TCommand::NextFrame;
        action->setAutoRepeat(repeats);
        action->setShortcuts(look.Keys);
        window.addAction(action);
        actions_[i] = action;
        keys_[i] = look.Keys;
        keyOn_[i] = true;
        for (const QKeySequence& key : look.Keys) {
            auto* held = new QShortcut(key, &window);
            held->setAutoRepeat(repeats);
            held->setEnabled(false);
            held_[i].append(held);
        }
    }
}

void TWindowActions::Bind(TImageButton* button, TCommand command) {
    QAction* action = Action(command);
    button->OnClick = [action] { action->trigger(); };
    button->setEnabled(action->isEnabled());
    connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    NameKey(button, command);
}

QToolButton* TWindowActions::AddToolButton(QToolBar* bar, TCommand command, const char* name) {
    QAction* action = Action(command);
    bar->addAction(action);
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    button->setObjectName(QString::fromLatin1(name));
    if (!keys_[Index(command)].isEmpty())
        NameKey(button, command);
    return button;
}

QString TWindowActions::KeyText(TCommand command) const {
    const QList<QKeySequence>& keys = keys_[Index(command)];
    return keys.isEmpty() ? QString() : keys.first().toString(QKeySequence::NativeText);
}

void TWindowActions::NameKey(QWidget* control, TCommand command) {
    named_.insert(control, command);
    control->setAccessibleDescription(QStringLiteral("Shortcut: ") + KeyText(command));
    control->installEventFilter(this);
}

bool TWindowActions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return false;
    const auto found = named_.constFind(watched);
    auto* control = qobject_cast<QWidget*>(watched);
    if (found == named_.constEnd() || control == nullptr || control->toolTip().isEmpty())
        return false;
    QToolTip::showText(
        static_cast<QHelpEvent*>(event)->globalPos(),
        control->toolTip() + QStringLiteral(" (") + KeyText(*found) + QLatin1Char(')'), control);
    return true;
}

void TWindowActions::Update(const TCommandState& state) {
    const bool clip = state.ClipOpen;
    const bool first = state.Page == 0;
    struct TEnabled {
        bool Command = true;
        bool Key = true;
    };
    std::array<TEnabled, kCommandCount> wanted{};
    const auto set = [&wanted](TCommand command, bool enabled, bool key = true) {
        wanted[Index(command)] = {enabled, key};
    };
    // Open, Save and Help can always be used. A run refuses Convert from the
    // keyboard, and Escape stops only a run.
    set(TCommand::Convert, true, !state.Running);
    set(TCommand::Stop, true, state.Running);
    // Closing the clip, which switching tabs does too, empties the fields a
    // run reads before every frame: from the keyboard neither cuts a run short.
    set(TCommand::CloseClip, clip, first && !state.Running);
    set(TCommand::SwitchTab, !state.Running);
    set(TCommand::Play, clip && state.Playback != TPlayback::Playing);
    set(TCommand::Pause, clip && state.Playback == TPlayback::Playing);
    set(TCommand::StopPlaying, clip && state.Playback != TPlayback::Stopped);
    set(TCommand::PlayPause, clip && first);
    set(TCommand::SelectMode, clip);
    set(TCommand::SelectStart, clip && state.Selecting);
    set(TCommand::SelectEnd, clip && state.Selecting);
    set(TCommand::PreviousFrame, clip, first);
    set(TCommand::NextFrame, clip, first);

    // Disabled first: a button that loses the focus by it passes the focus on
    // past the buttons that are enabled by the same change.
    for (const bool pass : {false, true}) {
        for (std::size_t i = 0; i < kCommandCount; ++i) {
            if (wanted[i].Command != pass)
                continue;
            actions_[i]->setEnabled(wanted[i].Command);
            const bool keyOn = wanted[i].Command && wanted[i].Key;
            if (keyOn == keyOn_[i])
                continue;
            keyOn_[i] = keyOn;
            actions_[i]->setShortcuts(keyOn ? keys_[i] : QList<QKeySequence>{});
            for (QShortcut* held : held_[i])
                held->setEnabled(!keyOn);
        }
    }
}

} // namespace framolo
