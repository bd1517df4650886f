#include "app/artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace framolo {

qreal ArtPixelRatio() {
    qreal ratio = 1.0;
    for (const QScreen* screen : QGuiApplication::screens())
        ratio = std::max(ratio, screen->devicePixelRatio());
    return ratio;
}

namespace {

QPixmap EmptyPicture(QSize size, qreal ratio) {
    const QSize pixels(static_cast<int>(std::ceil(size.width() * ratio)),
                       static_cast<int>(std::ceil(size.height() * ratio)));
    QPixmap picture(pixels);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    return picture;
}

void Draw(QPainter& painter, const QString& name, QRectF target) {
    QSvgRenderer renderer(QStringLiteral(":/art/") + name + QStringLiteral(".svg"));
    if (renderer.isValid())
        renderer.render(&painter, target);
}

} // namespace

QPixmap RenderArt(const QString& name, QSize size, qreal ratio) {
    return ComposeArt({{name}}, size, ratio);
}

QPixmap ComposeArt(std::initializer_list<TArtLayer> layers, QSize size, qreal ratio) {
    QPixmap picture = EmptyPicture(size, ratio);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const TArtLayer& layer : layers)
        Draw(painter, layer.name, QRectF(layer.offset, QSizeF(size)));
    return picture;
}

QIcon ArtIcon(const QString& name, QSize size) {
    QIcon icon;
    icon.addPixmap(RenderArt(name, size, 1.0));
    icon.addPixmap(RenderArt(name, size, 2.0));
    return icon;
}

} // namespace framolo
