#pragma once

namespace framolo {

// The program's two addresses: its web page and the mailbox for questions.
// Nothing else in the program spells them out.
inline constexpr const char* ProjectWebPage = "https://framolo.example.org/";
inline constexpr const char* SupportMailAddress = "support@framolo.example.org";

// The help page, an HTML file installed with the program.
inline constexpr const char* HelpFileName = "help.html";

} // namespace framolo
