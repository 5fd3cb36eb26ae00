// A PostgreSQL package read in several statements, replaced or deleted by
// another connection between two of them, as a publisher would.

#include "db/blob_slices.h"
#include "db/transaction.h"
#include "support/update_targets.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <functional>

namespace qlx {
namespace {

// The real statement, with `before` run ahead of its second execution.
class MeddledStatement final : public DbStatement {
public:
    MeddledStatement(std::unique_ptr<DbStatement> real, std::function<void()> before)
        : real_(std::move(real)), before_(std::move(before)) {}
    bool execute(const std::vector<DbParam>& params) override {
        if (++runs_ == 2 && before_) {
            before_();
        }
        return real_->execute(params);
    }
    DbStep next() override { return real_->next(); }
    bool readInteger(int c, std::optional<std::int64_t>& v) override {
        return real_->readInteger(c, v);
    }
    bool readText(int c, std::optional<std::string>& v) override { return real_->readText(c, v); }
    bool readBytes(int c, std::optional<Bytes>& v) override { return real_->readBytes(c, v); }
    bool readBytesInto(int c, Bytes& room, std::size_t& size, bool& null) override {
        return real_->readBytesInto(c, room, size, null);
    }
    long long rowsAffected() override { return real_->rowsAffected(); }

private:
    std::unique_ptr<DbStatement> real_;
    std::function<void()> before_;
    int runs_ = 0;
};

// Prepares through the real connection, handing its statements `before`.
class MeddledConnection final : public DbConnection {
public:
    MeddledConnection(DbConnection& real, std::function<void()> before)
        : real_(real), before_(std::move(before)) {}
    DbBackend backend() const override { return real_.backend(); }
    std::string productName() const override { return real_.productName(); }
    const SqlDialect& dialect() const override { return real_.dialect(); }
    BlobRead readBlob(const BlobSelect& select) override { return real_.readBlob(select); }
    bool insertBlobRow(const BlobRow& row, std::string& error) override {
        return real_.insertBlobRow(row, error);
    }
    std::unique_ptr<DbStatement> prepare(const std::string& sql) override {
        std::unique_ptr<DbStatement> real = real_.prepare(sql);
        setLastError(real_.lastError());
        return real ? std::make_unique<MeddledStatement>(std::move(real), before_) : nullptr;
    }
    bool begin() override { return real_.begin(); }
    bool commit() override { return real_.commit(); }
    bool rollback() override { return real_.rollback(); }
    bool inTransaction() const override { return real_.inTransaction(); }
    std::optional<bool> hasTable(const std::string& name) override { return real_.hasTable(name); }

private:
    DbConnection& real_;
    std::function<void()> before_;
};

Bytes filled(std::size_t size, char byte) {
    return Bytes(size, byte);
}

TEST(BlobSlices, RefusesARowReplacedOrDeletedBetweenItsStatements) {
    std::string error;
    const auto target = test::UpdateTarget::make(test::TargetKind::Postgres, error);
    ASSERT_TRUE(target) << error;
    // Three statements' worth, the last one short.
    const auto size = static_cast<std::size_t>(kBlobSliceBytes * kBlobSlicesPerStatement * 2 + 5);
    const Bytes package = filled(size, 'a');
    ASSERT_TRUE(
        publish::insertBuildPackage(*target->writer, "QLX_UPT3", {"pkg", "bin", 1, package}, error))
        << error;
    Transaction sqlca;
    sqlca.DBMS = target->dbms;
    sqlca.ServerName = target->serverName;
    sqlca.LogId = target->logId;
    sqlca.LogPass = target->logPass;
    sqlca.AutoCommit = false;
    sqlca.connect();
    ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    const BlobSelect select{"QLX_UPT3", "eFILE", {{"FILENAME", std::string("pkg")}}};
    const auto run = [&](const std::string& meddling, const std::vector<DbParam>& params) {
        MeddledConnection db(*sqlca.connection(), [&] {
            ASSERT_TRUE(dbExecute(*target->writer, meddling, params))
                << target->writer->lastError();
        });
        KeptStatements kept;
        BlobRead read = readBlobInSlices(db, kept, select);
        kept.clear();
        return read;
    };

    BlobRead read = run("UPDATE QLX_UPT3 SET FPATH = 'bin'", {});
    EXPECT_EQ(read.sqlCode, -1);
    EXPECT_EQ(read.error, "The BLOB changed while it was read");
    // As the publisher replaces a package: the same length, other bytes.
    const Bytes other = filled(size, 'b');
    read = run("UPDATE QLX_UPT3 SET eFILE = ?", {DbBytes{other.data(), other.size()}});
    EXPECT_EQ(read.sqlCode, -1);
    EXPECT_EQ(read.error, "The BLOB changed while it was read");
    read = run("DELETE FROM QLX_UPT3", {});
    EXPECT_EQ(read.sqlCode, -1);
    EXPECT_EQ(read.error, "The row went away while it was read");
    // Left alone, the same reads give the package whole.
    ASSERT_TRUE(
        publish::insertBuildPackage(*target->writer, "QLX_UPT3", {"pkg", "bin", 1, package}, error))
        << error;
    KeptStatements kept;
    read = readBlobInSlices(*sqlca.connection(), kept, select);
    kept.clear();
    EXPECT_EQ(read.sqlCode, 0) << read.error;
    ASSERT_TRUE(read.bytes);
    EXPECT_TRUE(*read.bytes == package);
}

} // namespace
} // namespace qlx
