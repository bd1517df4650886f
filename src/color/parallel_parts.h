#pragma once

#include <exception>
#include <thread>
#include <vector>

namespace framolo {

// Calls work(part) for every part in 0 .. parts - 1, part 0 on this thread and
// each other part on a thread of its own, and returns once all are done. A
// part no thread could be started for runs here. The first exception a part
// raised (in part order) is raised again once every part has finished.
template <class Work> void RunInParts(int parts, Work&& work) {
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(parts > 0 ? parts : 0));
    const auto run = [&](int part) {
        try {
            work(part);
        } catch (...) {
            errors[static_cast<std::size_t>(part)] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    int started = 1;
    try {
        for (; started < parts; ++started)
            helpers.emplace_back(run, started);
    } catch (...) {
        // What no thread took is done below.
    }
    for (int part = started; part < parts; ++part)
        run(part);
    if (parts > 0)
        run(0);
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
}

} // namespace framolo
