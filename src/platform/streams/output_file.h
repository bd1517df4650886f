#pragma once

// Where a result file goes while it is written.
//
// A regular file (or a name not yet taken) is written as a temporary file in
// the target's folder, which replaces the target only once it is complete, so
// a failed or interrupted run never leaves half a file where the result
// belongs. On Linux the temporary file has no name until then, so that a
// process killed outright leaves nothing either; where the file system has no
// unnamed files, it is a hidden file named after the target. A symbolic link is followed: the
// temporary file goes beside the file it points to, and the link stays a link. Anything else that
// takes writes (a device such as /dev/null, a pipe) is written in place, since replacing it would
// destroy it.

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace framolo {

// The output cannot be written; the message names the user's path and says why.
class EOutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TOutputFile {
public:
    // Checks at once that the result can be written there, by creating the
    // temporary file (or opening the device); raises EOutputError otherwise.
    explicit TOutputFile(const std::string& path);
    // Removes the temporary file unless the result was committed.
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // The file to write the result to: the temporary file (a /proc name for an
    // unnamed one, valid while this object lives), or the target itself.
    const std::string& WritePath() const { return writePath_; }
    // True when the result goes straight into the target (not a regular file).
    bool InPlace() const { return inPlace_; }
    // Puts the finished result in place; raises EOutputError when it cannot.
    void Commit();
    // Writes a whole result straight into an in-place target, in one pass
    // without seeking, as a pipe needs; raises EOutputError when it cannot.
    void WriteInPlace(const std::uint8_t* data, std::size_t size);

private:
    bool OpenUnnamed(mode_t mode);
    void LinkUnnamed();
    void Discard();

    std::string path_;      // as the user gave it
    std::string target_;    // the file a link leads to, or the path itself
    std::string writePath_; // temporary file, or the target when in place
    int unnamed_ = -1;      // the unnamed temporary file, while it is open
    bool inPlace_ = false;
    bool committed_ = false;
};

// Removes the temporary file of the TOutputFile alive now, if any. Safe to
// call from a signal handler (it only calls unlink), for programs that end on
// a signal and must leave no half-written file.
void RemoveTemporaryOutput();

// The signals that end a program (SIGINT, SIGTERM, SIGHUP), held back on this
// thread for the object's lifetime.
class TEndingSignalsHeld {
public:
    TEndingSignalsHeld();
    ~TEndingSignalsHeld();
    TEndingSignalsHeld(const TEndingSignalsHeld&) = delete;
    TEndingSignalsHeld& operator=(const TEndingSignalsHeld&) = delete;

private:
    sigset_t old_;
};

} // namespace framolo
