#pragma once

#include <optional>
#include <string>

namespace framolo {

// The overview that --help, -h and help print.
std::string UsageText();
// A command's own help ("avi2gif", "gif2avi", "info"); empty for any other name.
std::string CommandHelp(const std::string& command);
// "framolo-cli" and the version.
std::string VersionText();

// The warning for a delay in milliseconds that is stored as 0 or 1 hundredth
// of a second, which common browsers do not play as stored; nothing for any
// other delay.
std::optional<std::string> DelayWarning(int delayMs);

} // namespace framolo
