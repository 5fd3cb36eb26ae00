#pragma once

#include "package/package_key.h"

#include <optional>
#include <string>

namespace qlx {

class Transaction;

// What the window reads of the application object that opened it: the
// program's one transaction, the update database's two built-in passwords and
// the publisher's key the program was built with. The application object sits
// above the window and provides them.
class ApplicationGlobals {
public:
    virtual ~ApplicationGlobals() = default;

    // Valid while the application object holds its transaction.
    [[nodiscard]] virtual Transaction& sqlca() = 0;
    [[nodiscard]] virtual const std::string& firstPassword() const = 0;
    [[nodiscard]] virtual const std::string& secondPassword() const = 0;
    // The keys a package must be signed with, any one of them; none: packages
    // are not checked.
    [[nodiscard]] virtual const PackageKeys& packageKeys() const = 0;

protected:
    ApplicationGlobals() = default;
    ApplicationGlobals(const ApplicationGlobals&) = default;
    ApplicationGlobals& operator=(const ApplicationGlobals&) = default;
};

} // namespace qlx
