#include "ui/Icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

// The resources live in a static library: nothing refers to their object file,
// so the linker would drop it unless it is registered by name.
static void EnsureIconResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(resources);
    return true;
  }();
  (void)registered;
}

namespace mivotra {
namespace {

QImage RenderIcon(int iconId, QSize size) {
  EnsureIconResources();
  const QString path = QStringLiteral(":/icons/%1.svg").arg(iconId);
  if (!QFile::exists(path)) return {};
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  }
  // Straight (not premultiplied) colours, so that pixel arithmetic sees the colours as drawn.
  return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

QImage LoadIconImage(int iconId, qreal devicePixelRatio) {
  const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  QImage image = RenderIcon(iconId, (QSizeF(kIconSize) * ratio).toSize());
  image.setDevicePixelRatio(ratio);
  return image;
}

QIcon LoadIcon(int iconId) {
  QIcon icon;
  // Rendered from the drawing at each size a window manager commonly asks for.
  for (const int side : {16, 24, 32, 48, 64}) {
    const QImage image = RenderIcon(iconId, QSize(side, side));
    if (image.isNull()) return {};
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

}  // namespace mivotra
