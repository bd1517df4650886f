#include "convert/job_host.h"

#include "convert/job_support.h"
#include "gif/gif_messages.h"

#include <exception>
#include <new>

namespace framolo {

void RunJobSteps(TJobControl& control, TJobKind kind, TJobOutcome& outcome,
                 const std::function<void()>& convert) {
    control.SetStopRequested(false);
    control.BeginRun(kind);
    try {
        convert();
    } catch (const std::bad_alloc&) {
        outcome.End = TJobEnd::Failed;
        outcome.Error =
            kind == TJobKind::AviToGif ? jobmsg::OutOfMemoryForGif : jobmsg::OutOfMemoryForClip;
    } catch (const std::exception& e) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
    }
}

std::string JobErrorText(TJobKind kind, const std::string& message) {
    if (kind == TJobKind::AviToGif && message == gifmsg::UnsupportedVersion)
        return jobmsg::NoFrameDecoded;
    return message;
}

} // namespace framolo
