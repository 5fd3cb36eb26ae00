#pragma once

#include "db/transaction.h"
#include "window/application_globals.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace qlx {

// The application object: owner of the program's globals for the whole run.
class version_check final : public ApplicationGlobals {
public:
    // First and second login password of the update database.
    static constexpr const char* kFirstPassword = "KOLVEX4923TRA";
    static constexpr const char* kSecondPassword = "MWQRSB7364HUYTNF";

    // `packageKeys`: the publisher's keys the program was built with, if any.
    version_check() = default;
    explicit version_check(PackageKeys packageKeys) : packageKeys_(std::move(packageKeys)) {}

    const std::string is_uptpw = kFirstPassword;
    const std::string is_uptpw_new = kSecondPassword;

    // Sets the application name and creates the transaction.
    void create();
    // Opens the updater window; the window reads the command line itself.
    void open(const std::string& commandline, const std::function<void()>& openWindow);
    // After the last window has closed: releases the transaction.
    void destroy();

    [[nodiscard]] const std::string& appName() const { return appName_; }
    // Valid between create and destroy.
    [[nodiscard]] Transaction& sqlca() override;
    [[nodiscard]] const std::string& firstPassword() const override { return is_uptpw; }
    [[nodiscard]] const std::string& secondPassword() const override { return is_uptpw_new; }
    [[nodiscard]] const PackageKeys& packageKeys() const override { return packageKeys_; }

private:
    std::string appName_;
    std::unique_ptr<Transaction> sqlca_;
    PackageKeys packageKeys_;
};

} // namespace qlx
