#include "clip_tools.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <set>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace framolo::test {

namespace {

const std::string& WorkRoot() {
    static const std::string root = FRAMOLO_TEST_SUPPORT_WORK_DIR;
    return root;
}

// The folder of the test that runs, named by the test and the process (a
// test may run in two processes at once); outside a test, the program's own.
std::string WorkFolderOf(const ::testing::TestInfo* info) {
    std::string name = "program";
    if (info != nullptr)
        name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    return WorkRoot() + "/" + std::to_string(getpid()) + "-" + name;
}

// Removes each test's folder once the test is over, and the program's own
// at its end, so no file of one test is ever seen by another.
class TWorkFolderCleaner : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& info) override {
        std::error_code ignored;
        std::filesystem::remove_all(WorkFolderOf(&info), ignored);
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override {
        std::error_code ignored;
        std::filesystem::remove_all(WorkFolderOf(nullptr), ignored);
    }
};

const bool kCleanerInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TWorkFolderCleaner);
    return true;
}();

} // namespace

std::string WorkPath(const std::string& name) {
    static_cast<void>(kCleanerInstalled);
    const std::string dir = WorkFolderOf(::testing::UnitTest::GetInstance()->current_test_info());
    std::filesystem::create_directories(dir);
    return dir + "/" + name;
}

std::string ClipPath(const std::string& name) {
    static const std::string dir = [] {
        std::filesystem::create_directories(WorkRoot() + "/clips");
        return WorkRoot() + "/clips";
    }();
    return dir + "/" + name;
}

int RunCommand(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 4096> buf{};
    std::string text;
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        text.append(buf.data(), n);
    const int status = pclose(pipe);
    if (out != nullptr)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MakeClip(const std::string& name, int width, int height, int frames,
                     const std::string& codecOptions, const std::string& rate) {
    static std::mutex lock;
    static std::set<std::string> made;
    const std::string path = ClipPath(name);
    std::lock_guard guard(lock);
    if (made.count(path) == 0) {
        // CTest runs tests in parallel processes that share the build folder: each
        // makes its own copy under a private name and renames it into place, so no
        // process ever reads a clip another one is still writing.
        const std::string ext = path.substr(path.find_last_of('.'));
        const std::string temp = path + "." + std::to_string(getpid()) + ".tmp" + ext;
        const std::string cmd =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=" +
            std::to_string(width) + "x" + std::to_string(height) + ":rate=" + rate + " -frames:v " +
            std::to_string(frames) + " " + codecOptions + " '" + temp + "' 2>&1";
        std::string log;
        if (RunCommand(cmd, &log) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
            std::remove(temp.c_str());
            throw std::runtime_error("ffmpeg could not make " + name + ": " + log);
        }
        made.insert(path);
    }
    return path;
}

std::vector<std::vector<std::uint8_t>> DecodeWithFfmpeg(const std::string& path, int width,
                                                        int height) {
    const std::string raw = path + "." + std::to_string(getpid()) + ".bgr";
    const std::string cmd = "ffmpeg -hide_banner -loglevel error -y -i '" + path +
                            "' -fps_mode passthrough -f rawvideo -pix_fmt bgr24 '" + raw + "' 2>&1";
    std::string log;
    if (RunCommand(cmd, &log) != 0)
        throw std::runtime_error("ffmpeg could not decode " + path + ": " + log);
    const std::vector<std::uint8_t> bytes = ReadFileBytes(raw);
    std::remove(raw.c_str());
    const std::size_t frameBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t pos = 0; pos + frameBytes <= bytes.size(); pos += frameBytes)
        frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                            bytes.begin() + static_cast<std::ptrdiff_t>(pos + frameBytes));
    return frames;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f),
                                     std::istreambuf_iterator<char>());
}

std::string ProbeRateAndFrames(const std::string& path) {
    std::string probe;
    if (RunCommand("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                   "stream=r_frame_rate,nb_read_frames -of csv=p=0 '" +
                       path + "'",
                   &probe) != 0)
        throw std::runtime_error("ffprobe could not read " + path + ": " + probe);
    return probe.substr(0, probe.find('\n'));
}

} // namespace framolo::test
