#include "app/program_name.h"

namespace qlx {

QString programFileName(const QString& baseName) {
    return baseName + QLatin1String(".exe");
}

} // namespace qlx
