#pragma once

// What a signal does to framolo-cli's result.

#include "platform/streams/output_file.h"

namespace framolo {

// SIGINT, SIGTERM and SIGHUP end the program with the default action of the
// signal (so the exit status says which one), after removing the temporary
// file of the TOutputFile alive at that moment. While a stoppable stage runs,
// the first such signal only asks it to stop, through StopSignalled().
void InstallSignalCleanup();
// Marks the stage during which a signal stops the work instead of ending the program.
void SetStoppable(bool stoppable);

// The stage a signal may stop rather than end, for the object's lifetime.
class TStoppableStage {
public:
    TStoppableStage() { SetStoppable(true); }
    ~TStoppableStage() { SetStoppable(false); }
    TStoppableStage(const TStoppableStage&) = delete;
    TStoppableStage& operator=(const TStoppableStage&) = delete;
};
// True once a signal has asked the work to stop.
bool StopSignalled();

} // namespace framolo
