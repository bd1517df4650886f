#pragma once

namespace framolo {

// Makes the Qt event loop run the painters' queued steps: each queued step
// posts an event to the GUI thread, which then pumps the queue. Needs a
// QCoreApplication; calling it again does nothing. The hook goes away with
// the application object.
void InstallPainterCallPump();

} // namespace framolo
