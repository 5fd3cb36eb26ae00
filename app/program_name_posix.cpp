#include "app/program_name.h"

namespace qlx {

QString programFileName(const QString& baseName) {
    return baseName;
}

} // namespace qlx
