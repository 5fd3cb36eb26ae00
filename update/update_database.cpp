#include "update/update_database.h"

#include "db/transaction.h"
#include "update/busy_wait.h"
#include "update/update_view.h"

#include <string>
#include <utility>

namespace qlx {

UpdateDatabase::UpdateDatabase(Transaction& sqlca, OptString secondPassword)
    : sqlca_(sqlca), secondPassword_(std::move(secondPassword)) {}

namespace {

bool failed(const Transaction& sqlca) {
    return sqlca.SQLCode.has_value() && *sqlca.SQLCode != 0;
}

} // namespace

void UpdateDatabase::connectOnce() {
    sqlca_.connect();
    // A full server says nothing about the password.
    if (failed(sqlca_) && !sqlca_.ServerBusy && secondPassword_) {
        sqlca_.LogPass = *secondPassword_;
        sqlca_.connect();
    }
}

bool UpdateDatabase::connect(UpdateView* view) {
    connectOnce();
    if (view == nullptr || !failed(sqlca_) || !sqlca_.ServerBusy) {
        return !failed(sqlca_);
    }
    BusyWait busy;
    while (failed(sqlca_) && sqlca_.ServerBusy && busy.wait(*view)) {
        connectOnce();
    }
    view->showServerBusy(false);
    return !failed(sqlca_);
}

void UpdateDatabase::showError(UpdateView& view) const {
    view.messageBox("Err!", std::to_string(sqlca_.SQLCode.value_or(0)) + '/' + sqlca_.SQLErrText);
}

} // namespace qlx
