#include "update/update_database.h"

#include "db/transaction.h"
#include "update/update_view.h"

#include <string>
#include <utility>

namespace qlx {

UpdateDatabase::UpdateDatabase(Transaction& sqlca, OptString secondPassword)
    : sqlca_(sqlca), secondPassword_(std::move(secondPassword)) {}

bool UpdateDatabase::connect() {
    const auto failed = [this] { return sqlca_.SQLCode.has_value() && *sqlca_.SQLCode != 0; };
    sqlca_.connect();
    if (failed() && secondPassword_) {
        sqlca_.LogPass = *secondPassword_;
        sqlca_.connect();
    }
    return !failed();
}

void UpdateDatabase::showError(UpdateView& view) const {
    view.messageBox("Err!", std::to_string(sqlca_.SQLCode.value_or(0)) + '/' + sqlca_.SQLErrText);
}

} // namespace qlx
