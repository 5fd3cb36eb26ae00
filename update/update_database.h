#pragma once

#include "base/optional_string.h"

namespace qlx {

class Transaction;
class UpdateView;

// The update database as the update methods reach it: the window's connection,
// whose fields start-up filled, and the password to try once more when the
// first is refused (none for the legacy updater).
class UpdateDatabase {
public:
    UpdateDatabase(Transaction& sqlca, OptString secondPassword);

    // Connects, once more with the second password where there is one. True
    // when the last connect succeeded. With a view, a server that refuses for
    // want of a free connection is tried again for about a minute, the view
    // saying so, before the refusal counts.
    bool connect(UpdateView* view = nullptr);
    // The box that says why the database could not be reached: "code/text".
    void showError(UpdateView& view) const;

    [[nodiscard]] Transaction& sqlca() const { return sqlca_; }

private:
    void connectOnce();

    Transaction& sqlca_;
    OptString secondPassword_;
};

} // namespace qlx
