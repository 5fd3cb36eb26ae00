// A PostgreSQL package read in several statements, replaced or deleted by a
// transaction that commits between two of them, as a publisher's would.

#include "db/blob_slices.h"
#include "support/update_targets.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <functional>

namespace qlx {
namespace {

using Meddle = std::function<void()>;

// The real statement, with `meddle` run ahead of its second execution.
struct MeddledStatement final : DbStatement {
    MeddledStatement(std::unique_ptr<DbStatement> r, Meddle m)
        : real(std::move(r)), meddle(std::move(m)) {}
    bool execute(const std::vector<DbParam>& p) override {
        return (++runs != 2 || (meddle(), true)) && real->execute(p);
    }
    DbStep next() override { return real->next(); }
    bool readInteger(int c, std::optional<std::int64_t>& v) override {
        return real->readInteger(c, v);
    }
    bool readText(int c, std::optional<std::string>& v) override { return real->readText(c, v); }
    bool readBytes(int c, std::optional<Bytes>& v) override { return real->readBytes(c, v); }
    bool readBytesInto(int c, Bytes& room, std::size_t& size, bool& null) override {
        return real->readBytesInto(c, room, size, null);
    }
    long long rowsAffected() override { return real->rowsAffected(); }
    std::unique_ptr<DbStatement> real;
    Meddle meddle;
    int runs = 0;
};

// The real connection, whose statements are meddled with.
struct MeddledConnection final : DbConnection {
    MeddledConnection(DbConnection& r, Meddle m) : real(r), meddle(std::move(m)) {}
    [[nodiscard]] DbBackend backend() const override { return real.backend(); }
    [[nodiscard]] std::string productName() const override { return real.productName(); }
    [[nodiscard]] const SqlDialect& dialect() const override { return real.dialect(); }
    BlobRead readBlob(const BlobSelect& s) override { return real.readBlob(s); }
    BlobStream streamBlob(const BlobSelect& s, const BlobSink& k) override {
        return real.streamBlob(s, k);
    }
    bool insertBlobRow(const BlobRow& r, std::string& e) override {
        return real.insertBlobRow(r, e);
    }
    std::unique_ptr<DbStatement> prepare(const std::string& sql) override {
        return std::make_unique<MeddledStatement>(real.prepare(sql), meddle);
    }
    bool begin() override { return real.begin(); }
    bool commit() override { return real.commit(); }
    bool rollback() override { return real.rollback(); }
    [[nodiscard]] bool inTransaction() const override { return real.inTransaction(); }
    std::optional<bool> hasTable(const std::string& name) override { return real.hasTable(name); }
    DbConnection& real;
    Meddle meddle;
};

TEST(BlobSlices, RefusesARowReplacedOrDeletedBetweenItsStatements) {
    std::string error;
    const auto target = test::UpdateTarget::make(test::TargetKind::Postgres, error);
    ASSERT_TRUE(target) << error;
    const auto size = static_cast<std::size_t>(kBlobSliceBytes * kBlobSlicesPerStatement * 2 + 5);
    const Bytes package(size, 'a');
    ASSERT_TRUE(
        publish::insertBuildPackage(*target->writer, "QLX_UPT3", {"pkg", "bin", 1, package}, error))
        << error;
    const BlobSelect select{"QLX_UPT3", "eFILE", {{"FILENAME", "pkg"}}};
    const auto read = [&](const std::string& sql) {
        MeddledConnection db(*target->writer, [&] {
            ASSERT_TRUE(dbExecute(*target->writer, sql)) << target->writer->lastError();
        });
        KeptStatements meddled;
        const BlobRead result = readBlobInSlices(db, meddled, select);
        meddled.clear();
        return std::pair{result.sqlCode, result.error};
    };
    // As the publisher replaces a package: the same length, other bytes.
    EXPECT_EQ(read("UPDATE QLX_UPT3 SET eFILE = overlay(eFILE PLACING 'b'::bytea FROM 9)"),
              std::pair(-1L, std::string("The BLOB changed while it was read")));
    EXPECT_EQ(read("DELETE FROM QLX_UPT3"),
              std::pair(-1L, std::string("The row went away while it was read")));
}

} // namespace
} // namespace qlx
