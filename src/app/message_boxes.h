#pragma once

#include <QString>

class QWidget;

namespace framolo {

// The kinds of box the program shows, each with a single OK button. The
// application's error box shows an error that ended a command, under the
// application's title.
enum class TBoxKind { Warning, Error, Information, Plain, ApplicationError };

// The title of a box of this kind: "Warning", "Error", "Information", or the
// application's title for the plain box and the application's error box.
QString BoxTitle(TBoxKind kind);

// Shows a box through the modal seam, so tests answer it without blocking.
void ShowBox(TBoxKind kind, const QString& text, QWidget* parent = nullptr);

} // namespace framolo
