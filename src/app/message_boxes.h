#pragma once

#include <QString>

class QWidget;

namespace framolo {

// The four kinds of box the program shows, each with a single OK button.
enum class TBoxKind { Warning, Error, Information, Plain };

// The title of a box of this kind: "Warning", "Error", "Information", or the
// application's title for the plain box.
QString BoxTitle(TBoxKind kind);

// Shows a box through the modal seam, so tests answer it without blocking.
void ShowBox(TBoxKind kind, const QString& text, QWidget* parent = nullptr);

} // namespace framolo
