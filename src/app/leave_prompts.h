#pragma once

#include <QString>

class QWidget;

namespace framolo {

// What would throw away a converted GIF image that was never saved.
enum class TDiscardTrigger { SwitchTab, CloseClip, OpenClip, Quit };

enum class TDiscardAnswer { Save, Discard, Cancel };

// The question asked before `trigger` throws away an unsaved GIF image.
QString DiscardQuestion(TDiscardTrigger trigger);
inline constexpr const char* StopRunQuestion =
    "A conversion is still running.\nStop it and close Framolo?";

// Asks, through the modal seam, whether the unsaved GIF image is saved first,
// thrown away, or the command given up. Closing the box gives it up.
TDiscardAnswer AskBeforeDiscard(TDiscardTrigger trigger, QWidget* parent);

// Asks, through the modal seam, whether a running conversion is stopped so that
// the window can close; false leaves both running.
bool AskStopRunAndClose(QWidget* parent);

} // namespace framolo
