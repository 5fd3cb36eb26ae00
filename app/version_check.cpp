#include "app/version_check.h"

#include <cassert>

namespace qlx {

void version_check::create() {
    appName_ = "version_check";
    sqlca_ = std::make_unique<Transaction>();
}

void version_check::open(const std::string& /*commandline*/,
                         const std::function<void()>& openWindow) {
    openWindow();
}

void version_check::destroy() {
    sqlca_.reset();
}

Transaction& version_check::sqlca() {
    assert(sqlca_ && "sqlca is used outside create/destroy");
    return *sqlca_;
}

} // namespace qlx
