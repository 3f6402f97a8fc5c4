#include "ui/resources.h"

namespace sorvani::ui {

QString ResString(unsigned id) { return QString::fromStdString(LoadResString(id)); }

QByteArray ResData(unsigned, unsigned) { return {}; }

QIcon ResIcon(unsigned) { return {}; }

QPixmap ResImage(unsigned) { return {}; }

}  // namespace sorvani::ui
