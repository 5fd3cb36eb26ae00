// Runs of several archives through the library's C interface: staged first,
// moved into place together, or not at all.
#include "libs/ezip/ezip.h"
#include "libs/ezip/tree.h"
#include "libs/ezip/zip_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using ezip_test::ZipBuilder;

namespace {

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

class Run : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dest() / "bin");
        ezip_test::writeFile(dest() / "bin" / "client", "client of build 11");
        fs::permissions(dest() / "bin" / "client", fs::perms(0755));
        ezip_test::writeFile(dest() / "kept.txt", "kept");
        before_ = ezip_test::snapshot(dest());
    }

    // A name no 8-bit code page holds: the run entries take UTF-8.
    [[nodiscard]] fs::path dest() const { return scratch_.path() / u8"설치 José 中国 😀"; }
    [[nodiscard]] fs::path journalFile() const { return scratch_.path() / "run.journal"; }
    [[nodiscard]] std::string journal() const { return utf8(journalFile()); }

    std::string archive(const std::string& name, const std::string& data) {
        const fs::path path = scratch_.path() / name;
        ezip_test::writeFile(path, data);
        return utf8(path);
    }
    // A package as a Windows tool makes it: no Unix modes.
    std::string package(const std::string& name, const std::string& client,
                        const std::string& extra) {
        ZipBuilder zip;
        for (const auto i : {zip.addDeflated("client", client), zip.addStored(extra, extra)}) {
            zip.entry(i).madeBy = 0x0014;
            zip.entry(i).externalAttributes = 0;
        }
        return archive(name, zip.finish());
    }
    short stage(const std::string& path, const fs::path& folder) {
        return Vexa_RunStage(journal().c_str(), path.c_str(), utf8(folder).c_str());
    }
    // Nothing of a run is left: no staging folder anywhere, no journal.
    void expectNoLeftovers() const {
        for (const auto& entry : fs::recursive_directory_iterator(scratch_.path())) {
            EXPECT_EQ(entry.path().filename().string().rfind(".ezip-staging-", 0),
                      std::string::npos)
                << entry.path();
        }
        EXPECT_FALSE(fs::exists(journalFile()));
        EXPECT_FALSE(fs::exists(fs::path(journalFile()) += ".new"));
    }

    ezip_test::ScratchFolder scratch_;
    ezip_test::Tree before_;
};

TEST_F(Run, ACommitPutsEveryArchiveInPlaceTheLaterOverTheEarlier) {
    const std::string build12 = package("12.zip", "client of build 12", "lib/a.dat");
    const std::string build13 = package("13.zip", "client of build 13", "lib/b.dat");
    ASSERT_EQ(Vexa_RunBegin(journal().c_str()), EZIP_OK);
    ASSERT_EQ(stage(build12, dest() / "bin"), EZIP_OK);
    ASSERT_EQ(stage(build13, dest() / "bin"), EZIP_OK);
    // Staging changes nothing the client sees.
    EXPECT_EQ(ezip_test::readFile(dest() / "bin" / "client"), "client of build 11");
    EXPECT_FALSE(fs::exists(dest() / "bin" / "lib"));

    ASSERT_EQ(Vexa_RunCommit(journal().c_str()), EZIP_OK);

    EXPECT_EQ(ezip_test::readFile(dest() / "bin" / "client"), "client of build 13");
    EXPECT_EQ(ezip_test::readFile(dest() / "bin" / "lib" / "a.dat"), "lib/a.dat");
    EXPECT_EQ(ezip_test::readFile(dest() / "bin" / "lib" / "b.dat"), "lib/b.dat");
    // An archive without modes leaves the replaced program startable.
    if (ezip_test::hasUnixModes()) {
        EXPECT_EQ(fs::status(dest() / "bin" / "client").permissions() & fs::perms::all,
                  fs::perms(0755));
    }
    expectNoLeftovers();
}

TEST_F(Run, AnArchiveThatFailsToStageLeavesNothingOnAbort) {
    ASSERT_EQ(Vexa_RunBegin(journal().c_str()), EZIP_OK);
    ASSERT_EQ(stage(package("12.zip", "client of build 12", "new.txt"), dest() / "bin"), EZIP_OK);
    EXPECT_EQ(stage(archive("page.zip", "<html>not found</html>"), dest()), EZIP_E_NOT_ZIP);
    EXPECT_EQ(stage(package("13.zip", "x", "y"), dest() / "missing"), EZIP_E_DESTINATION);
    EXPECT_EQ(stage(package("14.zip", "x", "y"), "relative/bin"), EZIP_E_ARGUMENT);

    ASSERT_EQ(Vexa_RunAbort(journal().c_str()), EZIP_OK);

    EXPECT_EQ(ezip_test::snapshot(dest()), before_);
    expectNoLeftovers();
}

TEST_F(Run, AMoveThatFailsPutsBackEveryEarlierMoveOfTheRun) {
    ASSERT_EQ(Vexa_RunBegin(journal().c_str()), EZIP_OK);
    ASSERT_EQ(stage(package("12.zip", "client of build 12", "new/a.txt"), dest() / "bin"), EZIP_OK);
    // Moves across several pieces of the journal, each of which the undo
    // must find again.
    ZipBuilder many;
    for (int i = 0; i < 3000; ++i) {
        many.addStored(std::to_string(i) + std::string(240, 'n'), std::to_string(i));
    }
    ASSERT_EQ(stage(archive("forms.zip", many.finish()), dest() / "bin"), EZIP_OK);
    ASSERT_GT(fs::file_size(journalFile()), std::uintmax_t{1} << 20U);
    ASSERT_EQ(stage(package("13.zip", "client of build 13", "late.txt"), dest()), EZIP_OK);
    // After staging, a folder takes the place of the last archive's file.
    fs::create_directory(dest() / "late.txt");
    ezip_test::Tree blocked = before_;
    blocked["late.txt/"] = "folder";

    EXPECT_EQ(Vexa_RunCommit(journal().c_str()), EZIP_E_INSTALL);

    EXPECT_EQ(ezip_test::snapshot(dest()), blocked);
    expectNoLeftovers();
}

TEST_F(Run, RecoveryDropsARunThatNeverCommittedAndARunIsOneAtATime) {
    ASSERT_EQ(Vexa_RunBegin(journal().c_str()), EZIP_OK);
    ASSERT_EQ(stage(package("12.zip", "client of build 12", "a.txt"), dest() / "bin"), EZIP_OK);
    // The process that staged it is gone; a second run must wait for recovery.
    EXPECT_EQ(Vexa_RunBegin(journal().c_str()), EZIP_E_JOURNAL);

    ASSERT_EQ(Vexa_RunRecover(journal().c_str()), EZIP_OK);

    EXPECT_EQ(ezip_test::snapshot(dest()), before_);
    expectNoLeftovers();
    EXPECT_EQ(Vexa_RunRecover(journal().c_str()), EZIP_OK); // nothing left to settle
}

TEST_F(Run, RecoveryFinishesACommitThatACrashInterrupted) {
    ASSERT_EQ(Vexa_RunBegin(journal().c_str()), EZIP_OK);
    ASSERT_EQ(stage(package("12.zip", "client of build 12", "a.txt"), dest() / "bin"), EZIP_OK);
    // Enough long names that the journal is read and written in several
    // pieces, with records across their boundaries.
    ZipBuilder many;
    const std::string longName(240, 'n');
    for (int i = 0; i < 3000; ++i) {
        many.addStored(std::to_string(i) + longName, std::to_string(i));
    }
    ASSERT_EQ(stage(archive("forms.zip", many.finish()), dest() / "bin"), EZIP_OK);
    ASSERT_GT(fs::file_size(journalFile()), std::uintmax_t{1} << 20U);
    // The journal as a commit leaves it before its first move: the run's
    // decision is on disk, the files are not yet in place.
    ezip_test::writeFile(journalFile(), ezip_test::readFile(journalFile()) + "C\n");

    ASSERT_EQ(Vexa_RunRecover(journal().c_str()), EZIP_OK);

    EXPECT_EQ(ezip_test::readFile(dest() / "bin" / "client"), "client of build 12");
    EXPECT_EQ(ezip_test::readFile(dest() / "bin" / "a.txt"), "a.txt");
    for (const int i : {0, 1234, 2999}) {
        EXPECT_EQ(ezip_test::readFile(dest() / "bin" / (std::to_string(i) + longName)),
                  std::to_string(i));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dest() / "bin"), fs::directory_iterator()),
              3002);
    expectNoLeftovers();
}

} // namespace
