#pragma once

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <cstddef>

class QAction;
class QShortcut;
class QToolBar;
class QToolButton;
class QWidget;

namespace framolo {

class TImageButton;

// The window's commands, each one QAction.
enum class TCommand : std::size_t {
    Open,
    Save,
    Convert,
    Stop,
    Help,
    CloseClip,
    Play,
    Pause,
    StopPlaying,
    SelectMode,
    SelectStart,
    SelectEnd,
    PreviousFrame,
    NextFrame,
    PlayPause,
    SwitchTab,
};
inline constexpr std::size_t kCommandCount = 16;

// Where the first page's player stands. Play, Pause and Stop follow it.
enum class TPlayback { Stopped, Playing, Paused };

// What the commands may do follows from this alone.
struct TCommandState {
    // 0 for the AVI to GIF page, 1 for the GIF to AVI page.
    int Page = 0;
    // Either conversion runs.
    bool Running = false;
    bool ClipOpen = false;
    TPlayback Playback = TPlayback::Stopped;
    // The frame range is being chosen on the track bar.
    bool Selecting = false;
};

// One QAction per command, with its keys, the text its tool bar shows and
// its enabled state, shared by its picture buttons, its tool bar button and
// its keys. Update sets every enabled state from the window's state, so a key
// never does what its button may not.
//
// A key works only while its command is enabled and the key is allowed (some
// commands refuse from the keyboard while a conversion runs what their
// button still does). Otherwise the window takes the key and does nothing
// with it: it never falls through to the control with the focus, where Space
// would scroll the status line and an arrow would move the focus.
class TWindowActions : public QObject {
    Q_OBJECT
public:
    // The actions belong to window, whose keys they are whichever page shows.
    explicit TWindowActions(QWidget& window);

    QAction* Action(TCommand command) const { return actions_[Index(command)]; }

    // A click on the button triggers the command; the button is enabled with
    // it, and its hint names the command's key.
    void Bind(TImageButton* button, TCommand command);
    // The tool bar's button for the command, named `name`.
    QToolButton* AddToolButton(QToolBar* bar, TCommand command, const char* name);
    // The control's hint, as shown, names the command's first key; so does the
    // description assistive technology reads. The hint text stays as it is.
    void NameKey(QWidget* control, TCommand command);

    // The one place where the commands' enabled states are set.
    void Update(const TCommandState& state);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static std::size_t Index(TCommand command) { return static_cast<std::size_t>(command); }
    // The key's text as a hint names it.
    QString KeyText(TCommand command) const;

    std::array<QAction*, kCommandCount> actions_{};
    std::array<QList<QKeySequence>, kCommandCount> keys_;
    // For each command, shortcuts that take its keys while they may not act.
    std::array<QList<QShortcut*>, kCommandCount> held_;
    std::array<bool, kCommandCount> keyOn_{};
    QHash<const QObject*, TCommand> named_;
};

} // namespace framolo
