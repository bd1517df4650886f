#include "convert/conversion_sink.h"

#include <exception>

namespace framolo {

void RunJobSteps(TConversionSink& sink, TJobKind kind, TJobOutcome& outcome,
                 const std::function<void()>& convert) {
    sink.SetStopRequested(false);
    sink.BeginRun(kind);
    try {
        convert();
    } catch (const std::exception& e) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
    }
}

} // namespace framolo
