#pragma once

#include <QString>

namespace framolo {

// The folder of the file last chosen in one of the window's file dialogs,
// kept in the user's settings so that the next run starts there too. Empty
// when none was chosen yet, or when that folder is gone.
QString LastFolder();

// Keeps the folder of a chosen file; an empty path keeps nothing.
void RememberFolder(const QString& chosenFile);

} // namespace framolo
