#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

class QFileDialog;
class QLabel;
class QLineEdit;
class QWidget;

namespace framolo {

class TAVIPlayer;
class TImageButton;
class TImageControl;

// The parts the window and its pages are built of. Each control carries its
// name as its object name.

// RGB (99, 101, 156), the colour of both pages.
inline constexpr unsigned kPageColor = 0x63659C;

template <class T> T* Place(T* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

TImageControl* MakeImage(QWidget* parent, const char* name, QRect geometry, const char* art,
                         bool stretch = true);
QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry, const char* name = "");
// A number field, its digits on the right.
QLineEdit* MakeField(QWidget* parent, const char* name, QRect geometry);
QWidget* MakePanel(QWidget* parent, const char* name, QRect geometry);
// Both players draw every frame whole, never colour-keyed, on the desktop's
// window-text colour where no frame is drawn.
TAVIPlayer* MakePlayer(QWidget* panel, const char* name, QRect geometry);
// A preview's empty ground is the page's own colour, whatever the frames
// around it are styled with.
void PaintOnPage(QWidget* preview);
// A 46 x 46 picture button of the command strip's look, with a glyph.
TImageButton* MakeCommandButton(QWidget* parent, const char* name, const char* glyph,
                                QRect geometry, const char* hint);

// Places a preview showing a picture of width x height inside its panel.
void FitInPanel(QWidget* preview, int width, int height);
// Starts a dialog in the folder last used, when there is one.
void StartInLastFolder(QFileDialog& dialog);
// Runs a save dialog with its name filters, proposing a path when one is
// given: the chosen file, empty when none; nothing when cancelled.
std::optional<QString> AskSavePath(QFileDialog& dialog, const QStringList& nameFilters,
                                   const QString& proposed);
// The workers a conversion reduces and codes frames on: one per core, as the
// command line takes by default.
int ConversionThreads();

} // namespace framolo
