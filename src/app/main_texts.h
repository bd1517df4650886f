#pragma once

namespace framolo {

// The status line's messages. Leading and trailing blanks are part of each text.
// At start-up, after Close, and back on the first tab.
inline constexpr const char* WelcomeText =
    "   Thank you for choosing \" Framolo \" , Please click \" Open \" button  to import an AVI "
    "file , or click \" GIF >> AVI \" tag to get a process that convert GIF image to an AVI file.";
// On the second tab.
inline constexpr const char* GifTabText =
    "   Please click \"Open\" button to import a GIF image . ";
// A clip was opened.
inline constexpr const char* AviOpenedText =
    "   You have imported an AVI File sucessfully, change Converting Parameter  items and click \" "
    "convert \" button to get a GIF file , or click \" convert \" button directly to get using "
    "default settings.";
// A GIF image was opened.
inline constexpr const char* GifOpenedText = "   Click \" convert\" button to get an AVI file ";
// The GIF image was saved.
inline constexpr const char* GifSavedText = "   Saving is finished";
// A GIF file that was read without error held no frame to show.
inline constexpr const char* GifWithoutFramesText =
    "   No frame could be read from this GIF image: it may be cut short. Please open another one.";
// Save was asked for while no converted GIF is held (none yet, or the run was stopped).
inline constexpr const char* NothingToSaveText =
    "   There is no converted GIF to save yet: click \" convert \" to make one. A stopped run "
    "keeps no frames.";

// Hints of the command strip's Open button, which follow the tab.
inline constexpr const char* OpenAviHint = "Open an AVI file";
inline constexpr const char* OpenGifHint = "Open a GIF image";

} // namespace framolo
