#pragma once

#include <QString>

class QFileDialog;

namespace framolo {

// Qt's own file dialog lists each file type as its filter is written to it,
// "description (patterns)"; a description that already shows its pattern,
// "Avi File ( *.avi)", then shows it twice. These show the description
// alone, while the dialog's filters, and what it says was chosen, stay whole.

// The description of a filter written as "description (patterns)"; any
// other text as it is.
QString FileTypeDescription(const QString& nameFilter);

// Makes the dialog's list of file types show each description alone. Does
// nothing for a dialog the desktop draws, which has no such list.
void ShowFileTypeDescriptions(QFileDialog& dialog);

} // namespace framolo
