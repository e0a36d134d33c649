#pragma once
// The program's icons, addressed by their resource numbers.

#include <QIcon>
#include <QImage>
#include <QSize>

namespace mivotra {

inline constexpr int kAppIconId = 128;     // the application
inline constexpr int kRunIconId = 130;     // a green tick
inline constexpr int kSearchIconId = 134;  // a yellow folder

inline constexpr QSize kIconSize{32, 32};

// The icon drawn at its own size with transparency (ARGB32), in as many
// device pixels as devicePixelRatio asks for (so sharp on scaled screens);
// a null image when there is no icon of that number.
QImage LoadIconImage(int iconId, qreal devicePixelRatio = 1.0);

// The same icon for windows and labels.
QIcon LoadIcon(int iconId);

}  // namespace mivotra
