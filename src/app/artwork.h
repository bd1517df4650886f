#pragma once

#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QString>

#include <initializer_list>

namespace framolo {

// The program's artwork is SVG, built in under ":/art/". Every picture is
// rendered for the screen's device-pixel ratio, so it stays sharp on dense
// screens while the layout keeps its sizes in logical pixels.

// The device-pixel ratio pictures are rendered for: the densest screen.
qreal ArtPixelRatio();

// One SVG drawn over the whole picture.
QPixmap RenderArt(const QString& name, QSize size, qreal ratio = ArtPixelRatio());

// One layer of a composed picture, drawn at an offset in logical pixels.
struct TArtLayer {
    QString name;
    QPoint offset{0, 0};
};

// Layers drawn in order over each other: a button face and its glyph.
QPixmap ComposeArt(std::initializer_list<TArtLayer> layers, QSize size,
                   qreal ratio = ArtPixelRatio());

// An icon with pictures for ordinary and double-density screens.
QIcon ArtIcon(const QString& name, QSize size);

} // namespace framolo
