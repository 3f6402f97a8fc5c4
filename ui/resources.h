// The desktop program's view of the resource library: texts, icons and pictures by number.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include "foundation/res_strings.h"
#include "svres/res_ids.h"

namespace sorvani::ui {

// String `id`, or "Resource not available!" when the library has none.
QString ResString(unsigned id);

// String `id` formatted with `args` (checked against its placeholders, see FormatResString).
template <class... Args>
QString ResFormat(unsigned id, const Args&... args) {
  return QString::fromStdString(FormatResString(id, args...));
}

// The bytes of a binary resource (kResIcon, kResImage, kResAnimation, kResSound); empty when
// absent.
QByteArray ResData(unsigned kind, unsigned id);

// Icon `id`: the desktop theme's icon of the same meaning when the theme has one, else the
// library's own drawing; a null icon when neither exists.
QIcon ResIcon(unsigned id);

// Picture `id` of the library; a null pixmap when absent or undecodable.
QPixmap ResImage(unsigned id);

}  // namespace sorvani::ui
