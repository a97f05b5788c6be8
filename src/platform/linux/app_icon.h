#pragma once
// The program's icon for the window and the tray. Its file is a Windows
// icon whose transparent area is a 1-bit mask beside opaque 24-bit colours;
// Qt 6.4's reader keeps the colours and drops that mask, so every tray
// showed the icon on a black square. The icon is read here with its mask
// and made at each size a tray asks for, so that no size is left for Qt to
// scale from a square it could not see through.

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>
#include <array>
#include <vector>

namespace snapwick::linux {

// The sizes trays ask for (16 to 48 pixels), and twice those on a display
// scaled to 200 %.
inline constexpr std::array<int, 8> kTrayIconSizes{16, 22, 24, 32, 44, 48, 64, 96};

// The images of an .ico file's bytes with their masks applied, as ARGB;
// only uncompressed 24- and 32-bit images, the ones Qt's reader gets
// wrong. Empty when the bytes are no such icon.
std::vector<QImage> ReadIconImages(const QByteArray& ico);

// The largest of `images` drawn at every size of kTrayIconSizes.
QIcon IconAtTraySizes(const std::vector<QImage>& images);

// The icon in the file at `path` (a Qt resource), at every tray size; what
// Qt reads there when the file holds no image this reader knows.
QIcon LoadAppIcon(const QString& path);

}  // namespace snapwick::linux
