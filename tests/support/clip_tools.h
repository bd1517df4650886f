#pragma once

// What the tests of several programs share: a folder for the files each test
// writes, running commands, and clips made and read with the ffmpeg command
// line.

#include <cstdint>
#include <string>
#include <vector>

namespace framolo::test {

// A file in the folder of the test that runs, made when first asked for and
// removed with everything in it once the test is over.
std::string WorkPath(const std::string& name);

// A file in the folder of clips the tests share: each is made under a private
// name and renamed into place, and no test writes to it afterwards.
std::string ClipPath(const std::string& name);

// Runs a shell command; returns its exit status, with stdout in *out when given.
int RunCommand(const std::string& command, std::string* out = nullptr);

// Makes (once per test run) a clip with ffmpeg's test pattern: frames frames of
// width x height, encoded with the given ffmpeg options. Returns its path.
std::string MakeClip(const std::string& name, int width, int height, int frames,
                     const std::string& codecOptions, const std::string& rate = "25");

// Frames of a clip as ffmpeg decodes them, 24-bit BGR rows top to bottom.
std::vector<std::vector<std::uint8_t>> DecodeWithFfmpeg(const std::string& path, int width,
                                                        int height);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// The frame rate and the number of frames ffprobe counts in the first video
// stream of a file, as "rate,frames" ("65/8,6"). Raises when ffprobe fails.
std::string ProbeRateAndFrames(const std::string& path);

} // namespace framolo::test
