#pragma once

#include "update/transaction.h"

#include <QString>

#include <functional>
#include <memory>

namespace qlx {

// The application object: owner of the program's globals for the whole run.
class version_check {
public:
    // First and second login password of the update database.
    static constexpr const char* kFirstPassword = "KOLVEX4923TRA";
    static constexpr const char* kSecondPassword = "MWQRSB7364HUYTNF";

    const QString is_uptpw = QString::fromLatin1(kFirstPassword);
    const QString is_uptpw_new = QString::fromLatin1(kSecondPassword);

    // Sets the application name and creates the transaction.
    void create();
    // Opens the updater window; the window reads the command line itself.
    void open(const QString& commandline, const std::function<void()>& openWindow);
    // After the last window has closed: releases the transaction.
    void destroy();

    [[nodiscard]] QString appName() const { return appName_; }
    // Valid between create and destroy.
    [[nodiscard]] Transaction& sqlca();

private:
    QString appName_;
    std::unique_ptr<Transaction> sqlca_;
};

} // namespace qlx
