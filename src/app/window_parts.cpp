#include "app/window_parts.h"

#include "app/artwork.h"
#include "app/last_folder.h"
#include "controls/image_button.h"
#include "controls/image_control.h"
#include "controls/modal_seam.h"
#include "controls/places_open_dialog.h"
#include "convert/job_support.h"
#include "preview/avi_player.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

#include <algorithm>
#include <thread>

namespace framolo {

TImageControl* MakeImage(QWidget* parent, const char* name, QRect geometry, const char* art,
                         bool stretch) {
    auto* image = Place(new TImageControl(parent), name, geometry);
    image->SetStretch(stretch);
    image->SetDisplayed(RenderArt(QString::fromLatin1(art), geometry.size()));
    return image;
}

QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry, const char* name) {
    return Place(new QLabel(QString::fromLatin1(text), parent), name, geometry);
}

QLineEdit* MakeField(QWidget* parent, const char* name, QRect geometry) {
    auto* field = Place(new QLineEdit(parent), name, geometry);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return field;
}

QWidget* MakePanel(QWidget* parent, const char* name, QRect geometry) {
    return Place(new QWidget(parent), name, geometry);
}

TAVIPlayer* MakePlayer(QWidget* panel, const char* name, QRect geometry) {
    auto* player = Place(new TAVIPlayer(panel), name, geometry);
    player->SetTransparent(false);
    player->SetColor(QGuiApplication::palette().color(QPalette::WindowText));
    return player;
}

void PaintOnPage(QWidget* preview) {
    QPalette palette = preview->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(kPageColor));
    preview->setPalette(palette);
}

TImageButton* MakeCommandButton(QWidget* parent, const char* name, const char* glyph,
                                QRect geometry, const char* hint) {
    auto* button = Place(new TImageButton(parent), name, geometry);
    const QSize size(46, 46);
    const QString g = QStringLiteral("cmd_glyph_") + QString::fromLatin1(glyph);
    button->SetPicture(ComposeArt({{QStringLiteral("cmd_face_normal")}, {g}}, size));
    button->Pictures().SetPicEnter(ComposeArt({{QStringLiteral("cmd_face_hover")}, {g}}, size));
    button->Pictures().SetPicDown(
        ComposeArt({{QStringLiteral("cmd_face_down")}, {g, QPoint(1, 1)}}, size));
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(QString::fromLatin1(hint));
    return button;
}

void FitInPanel(QWidget* preview, int width, int height) {
    const QWidget* panel = preview->parentWidget();
    const TPreviewPlacement place = FitPreview(width, height, panel->width(), panel->height());
    if (place.FillClient)
        preview->setGeometry(panel->contentsRect());
    else
        preview->setGeometry(place.Left, place.Top, place.Width, place.Height);
}

void StartInLastFolder(QFileDialog& dialog) {
    const QString folder = LastFolder();
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
}

std::optional<QString> AskSavePath(QFileDialog& dialog, const QStringList& nameFilters,
                                   const QString& proposed) {
    dialog.setNameFilters(nameFilters);
    if (!proposed.isEmpty()) {
        const QFileInfo info(proposed);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    } else {
        StartInLastFolder(dialog);
    }
    const int result = RunModal(dialog);
    CloseCompletions(dialog);
    if (result != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    const QString chosen = files.isEmpty() ? QString() : files.first();
    RememberFolder(chosen);
    return chosen;
}

int ConversionThreads() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace framolo
