#pragma once

// What the command-line tests share: running the tool with its messages in the
// log, quoting paths for the shell, and fresh folders for a test's files.

#include "clip_tools.h"

#include <filesystem>
#include <string>

namespace framolo::test {

// Runs framolo-cli with `args`; its standard output and error go to *log.
inline int RunCli(const std::string& args, std::string* log = nullptr) {
    return RunCommand(std::string(FRAMOLO_CLI_PATH) + " " + args + " 2>&1", log);
}

inline std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

// An empty folder of that name in the tests' work folder.
inline std::filesystem::path FreshFolder(const std::string& name) {
    const std::filesystem::path dir = WorkPath(name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Shell commands that wait, at most a minute, until the process $pid holds a
// file in dir open for writing (its output's temporary file, named or not).
inline std::string WaitForFileIn(const std::string& dir) {
    return "for i in $(seq 1 6000); do ls -l /proc/$pid/fd 2>/dev/null | grep '^l.wx' | "
           "grep -qF " +
           Quote(dir + "/") + " && break; sleep 0.01; done; ";
}

} // namespace framolo::test
