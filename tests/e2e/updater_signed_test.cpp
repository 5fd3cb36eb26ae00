// The updaters as built with the tests' package key, run as the client starts
// them, against update databases the publisher filled: what the publisher
// signed installs, and a row that anybody else wrote fails the whole run.

#include "db/blob_rows.h"
#include "package/package_failure.h"
#include "package/package_signature.h"
#include "support/packages.h"
#include "support/publisher.h"
#include "support/test_files.h"
#include "support/update_targets.h"
#include "support/updater_run.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace qlx {
namespace {

namespace fs = std::filesystem;
using test::TargetKind;

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class SignedUpdater : public ::testing::TestWithParam<TargetKind> {
protected:
    void SetUp() override {
        // A PostgreSQL target also points unixODBC at the fixture's drivers.
        std::string error;
        target = test::UpdateTarget::make(GetParam(), error);
        ASSERT_NE(target, nullptr) << error;
        // The build the client has installed.
        ASSERT_TRUE(test::writeFile(run.path("bin/quillon.dat"), "v11"));
        ASSERT_TRUE(test::writeFile(run.path("bin/old.dat"), "old"));
        run.installStandInClient();
    }

    // A package made of `files`, as a zip file the publisher is given.
    std::string zipFile(const std::string& name, const std::map<std::string, std::string>& files) {
        std::string file = zips.filePath(name + ".zip");
        const Bytes bytes = test::makePackage(files);
        EXPECT_TRUE(test::writeFile(file, std::string(bytes.begin(), bytes.end())));
        return file;
    }
    void publishBuild(const std::vector<std::string>& keyOption, const std::string& name,
                      const std::string& fpath, const std::string& zip) {
        std::vector<std::string> args = keyOption;
        args.insert(args.end(), {"--dbms", target->dbms, "--server", target->serverName,
                                 "add-build", name, fpath, "12", zip});
        const test::PublisherRun published = test::runPublisher(args);
        ASSERT_EQ(published.status, 0) << published.err;
    }
    // A row written past the publisher, as whoever can write the table would.
    void writeRow(const std::string& name, const Bytes& bytes) {
        std::string error;
        ASSERT_TRUE(publish::insertBuildPackage(*target->writer, "QLX_UPT3",
                                                {name, "bin", 12, bytes}, error))
            << error;
    }

    int runUpdater(const std::string& executable) {
        EXPECT_TRUE(
            test::writeFile(run.path("quil.psr"), R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":")" +
                                                      target->dbms + R"("}]})"));
        return run.run(executable,
                       "/PID=1;/PSR=quil.psr;/SERVER=" + target->serverName + ";/BUILDNO=12;");
    }

    std::unique_ptr<test::UpdateTarget> target;
    test::TempDir zips;
    test::UpdaterRun run;
};

TEST_P(SignedUpdater, InstallsWhatThePublisherSigned) {
    const std::vector<std::string> key = {"--key", test::testSecretKeyPath()};
    publishBuild(key, "main", "bin", zipFile("main", {{"quillon.dat", "v12"}}));
    publishBuild(key, "data", "data", zipFile("data", {{"d.txt", "12"}}));
    EXPECT_EQ(runUpdater("qlx_upt_signed"), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v12");
    EXPECT_EQ(test::readFile(run.path("bin/old.dat")), "old");
    EXPECT_EQ(test::readFile(run.path("data/d.txt")), "12");
    EXPECT_TRUE(run.clientArguments().has_value());

    // Signed packages are plain zips to an updater built without a key.
    test::UpdaterRun plain;
    ASSERT_TRUE(test::writeFile(plain.path("quil.psr"), test::readFile(run.path("quil.psr"))));
    EXPECT_EQ(plain.run("qlx_upt",
                        "/PID=1;/PSR=quil.psr;/SERVER=" + target->serverName + ";/BUILDNO=12;"),
              0);
    EXPECT_TRUE(plain.boxes().empty());
    EXPECT_EQ(test::readFile(plain.path("bin/quillon.dat")), "v12");
}

// A kept package that is the one in the database is used instead of a
// transfer: with the row's middle bytes changed behind the publisher's back
// (same length, same signature), the run still installs the kept, signed
// copy; a kept copy changed the same way is fetched again. A row changed to
// another length is fetched, fails its check and leaves the kept copy as it
// was, with nothing of the transfer left beside it. The package spans
// several of the pieces it is streamed in.
TEST_P(SignedUpdater, AKeptSignedPackageIsNotFetchedAgain) {
    std::string noise(3 * 1024 * 1024 / 2, '\0');
    std::uint32_t state = 7;
    for (char& c : noise) {
        state = state * 1664525U + 1013904223U;
        c = static_cast<char>(state >> 24U);
    }
    publishBuild({"--key", test::testSecretKeyPath()}, "main", "bin",
                 zipFile("main", {{"quillon.dat", std::string(4000, 'v')}, {"noise.bin", noise}}));
    ASSERT_EQ(runUpdater("qlx_upt_signed"), 0);
    const std::string published = test::readFile(run.path("upt/main.zip"));
    std::string changed = published;
    changed[changed.size() / 4] ^= 1; // before the signature, which takes the last half
    const auto writeBlob = [&](const std::string& bytes) {
        ASSERT_TRUE(dbExecute(*target->writer, "UPDATE QLX_UPT3 SET eFILE = ? WHERE FILENAME = ?",
                              {DbBytes{bytes.data(), bytes.size()}, std::string("main")}));
    };
    writeBlob(changed);
    ASSERT_TRUE(test::writeFile(run.path("bin/quillon.dat"), "v11"));
    EXPECT_EQ(runUpdater("qlx_upt_signed"), 0);
    EXPECT_TRUE(run.boxes().empty()) << run.boxes().front().text;
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), std::string(4000, 'v'));

    writeBlob(published);
    ASSERT_TRUE(test::writeFile(run.path("upt/main.zip"), changed));
    EXPECT_EQ(runUpdater("qlx_upt_signed"), 0);
    EXPECT_TRUE(run.boxes().empty()) << run.boxes().front().text;
    EXPECT_EQ(test::readFile(run.path("upt/main.zip")), published);
    EXPECT_EQ(test::readFile(run.path("bin/noise.bin")), noise);

    std::string longer = published;
    longer.insert(longer.size() / 4, 1, 'x');
    writeBlob(longer);
    // What a stopped run left half-fetched goes too.
    ASSERT_TRUE(test::writeFile(run.path("upt/.qlx_fetch/5.part"), "half"));
    EXPECT_EQ(runUpdater("qlx_upt_signed"), 4);
    ASSERT_FALSE(run.boxes().empty());
    EXPECT_EQ(run.boxes().front().text, std::string("main.zip: ") + kNotSignedReason);
    EXPECT_EQ(test::readFile(run.path("upt/main.zip")), published);
    EXPECT_EQ(test::namesIn(run.path("upt")), std::vector<std::string>{"main.zip"});
}

// Rotation: while the updater in use knows both keys, packages of either
// install; the updater that knows only the old key refuses the new key's.
TEST_P(SignedUpdater, AcceptsEitherKeyOnlyWhileItKnowsBoth) {
    publishBuild({"--key", test::testSecretKeyPath()}, "main", "bin",
                 zipFile("main", {{"quillon.dat", "v12"}}));
    publishBuild({"--key", test::testNextSecretKeyPath()}, "data", "data",
                 zipFile("data", {{"d.txt", "12"}}));
    EXPECT_EQ(runUpdater("qlx_upt_rotating"), 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v12");
    EXPECT_EQ(test::readFile(run.path("data/d.txt")), "12");

    test::UpdaterRun old;
    old.installStandInClient();
    ASSERT_TRUE(test::writeFile(old.path("quil.psr"), test::readFile(run.path("quil.psr"))));
    EXPECT_EQ(old.run("qlx_upt_signed",
                      "/PID=1;/PSR=quil.psr;/SERVER=" + target->serverName + ";/BUILDNO=12;"),
              4);
    const auto boxes = old.boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].text, std::string("data.zip: ") + kNotSignedReason);
    EXPECT_FALSE(fs::exists(old.path("bin/quillon.dat")));
    EXPECT_FALSE(fs::exists(old.path("data")));
}

TEST_P(SignedUpdater, RefusesEveryPackageThePublisherDidNotSign) {
    publishBuild({"--key", test::testSecretKeyPath()}, "main", "bin",
                 zipFile("main", {{"quillon.dat", "v12"}}));
    // The same package without a signature, and signed by another key.
    publishBuild({}, "unsigned", "bin", zipFile("unsigned", {{"quillon.dat", "evil"}}));
    test::TempDir keys;
    ASSERT_EQ(test::runPublisher({"keygen", keys.path()}).status, 0);
    publishBuild({"--key", keys.filePath("package.key")}, "other", "bin",
                 zipFile("other", {{"quillon.dat", "evil"}}));
    // A signed package with one byte changed, and one with its comment cut off.
    const Bytes evil = test::signedWith(test::makePackage({{"quillon.dat", "evil"}}),
                                        buildPlace("QLX_UPT3", "changed", "bin", 12));
    ASSERT_FALSE(evil.empty());
    writeRow("changed", test::withChangedByte(evil, evil.size() / 3));
    const std::size_t record =
        *endRecordOf(reinterpret_cast<const unsigned char*>(evil.data()), evil.size());
    Bytes stripped(evil.begin(),
                   evil.begin() + static_cast<std::ptrdiff_t>(record + kEndRecordSize));
    stripped[stripped.size() - kEndRecordSize + kCommentLengthOffset] = 0;
    writeRow("stripped", stripped);
    // Our own key's signature for this very row, in the previous format.
    writeRow("previous",
             test::signedInThePreviousFormat(test::makePackage({{"quillon.dat", "v12"}}),
                                             buildPlace("QLX_UPT3", "previous", "bin", 12)));

    EXPECT_EQ(runUpdater("qlx_upt_signed"), 4);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Err!");
    const std::string reason = std::string(": ") + kNotSignedReason;
    EXPECT_EQ(sortedLines(boxes[0].text),
              (std::vector<std::string>{"changed.zip" + reason, "other.zip" + reason,
                                        "previous.zip" + reason, "stripped.zip" + reason,
                                        "unsigned.zip" + reason}));
    EXPECT_EQ(boxes[1].text, "홈페이지에서 직접 업그레이드 하세요.");
    // The installed build is whole: not even the signed package went in.
    EXPECT_EQ(test::namesIn(run.path("bin")), (std::vector<std::string>{"old.dat", "quillon.dat"}));
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v11");
    EXPECT_EQ(test::readFile(run.path("bin/old.dat")), "old");
    EXPECT_FALSE(run.clientArguments(300).has_value());
    EXPECT_NE(test::runPublisher({"--dbms", target->dbms, "--server", target->serverName, "--pub",
                                  QLX_TEST_KEY_SOURCE "/package.pub", "verify"})
                  .out.find("QLX_UPT3\tprevious\tbin\t12\told signature format"),
              std::string::npos);
}

// Our own signed package, put by whoever can write the table into another
// build, folder, place outside the installation or name, or a NULL package in
// place of a fix: each fails the run before anything is unpacked, and verify
// names each row that is not as it was signed.
TEST_P(SignedUpdater, RefusesSignedPackagesMovedToAnotherRow) {
    publishBuild({"--key", test::testSecretKeyPath()}, "main", "bin",
                 zipFile("main", {{"quillon.dat", "v12"}}));
    std::optional<Bytes> signedMain;
    target->writer->readBlob(BlobSelect{"QLX_UPT3", "eFILE", {{"FILENAME", std::string("main")}}})
        .bytes.swap(signedMain);
    ASSERT_TRUE(signedMain);
    std::string error;
    for (const publish::BuildPackage& moved :
         {publish::BuildPackage{"main", "bin", 13, signedMain},
          publish::BuildPackage{"main", "", 14, signedMain},
          publish::BuildPackage{"main", "../outside", 15, signedMain},
          publish::BuildPackage{"core", "bin", 12, signedMain},
          publish::BuildPackage{"fix", "bin", 12, std::nullopt}}) {
        ASSERT_TRUE(publish::insertBuildPackage(*target->writer, "QLX_UPT3", moved, error))
            << error;
    }
    EXPECT_EQ(runUpdater("qlx_upt_signed"), 4);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    const std::string moved = std::string(": ") + kWrongPlaceReason;
    EXPECT_EQ(sortedLines(boxes[0].text),
              (std::vector<std::string>{
                  "core.zip" + moved, std::string("fix.zip: ") + kEmptyPackageReason,
                  "main.zip" + moved, "main.zip" + moved, "main.zip" + moved}));
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v11");
    EXPECT_FALSE(fs::exists(run.path("quillon.dat")));
    EXPECT_FALSE(fs::exists(run.path("../outside")));

    const test::PublisherRun verified =
        test::runPublisher({"--dbms", target->dbms, "--server", target->serverName, "--pub",
                            QLX_TEST_KEY_SOURCE "/package.pub", "verify"});
    EXPECT_EQ(verified.status, 1) << verified.err;
    EXPECT_EQ(std::count(verified.out.begin(), verified.out.end(), '\n'), 6);
    EXPECT_NE(verified.out.find("QLX_UPT3\tmain\tbin\t12\tgood "), std::string::npos)
        << verified.out;
    EXPECT_NE(verified.out.find("QLX_UPT3\tcore\tbin\t12\tsigned for another place: "
                                "QLX_UPT3 main 'bin' 12"),
              std::string::npos)
        << verified.out;
}

// Each method the updater unpacks beyond Deflate, written by 7-Zip or by the
// crafting script where no writer offers it, goes through the publisher's
// signature and installs; PPMd, which EZip refuses, the publisher refuses by
// its name before storing it.
TEST_P(SignedUpdater, InstallsSignedPackagesOfEveryMethod) {
    std::string notes;
    for (int i = 0; i < 20000; ++i) {
        notes += "release line " + std::to_string(i) + "\n";
    }
    ASSERT_TRUE(test::writeFile(zips.filePath("source/notes.txt"), notes));
    const std::string craft = "/usr/bin/python3 " QLX_TEST_EZIP_SOURCE "/craft_method_archive.py ";
    const std::vector<std::pair<std::string, std::string>> writers = {
        {"bzip2", "/usr/bin/7zz a -tzip -mm=BZip2 "},
        {"lzma", "/usr/bin/7zz a -tzip -mm=LZMA "},
        {"deflate64", "/usr/bin/7zz a -tzip -mm=Deflate64 "},
        {"zstd", craft},
        {"ppmd", "/usr/bin/7zz a -tzip -mm=PPMd "}};
    const auto write = [&](const std::pair<std::string, std::string>& writer) {
        std::string zip = zips.filePath(writer.first + ".zip");
        const std::string tail = writer.second == craft ? " 93 ." : " .";
        EXPECT_EQ(std::system(("cd " + zips.filePath("source") + " && " + writer.second + zip +
                               tail + " >/dev/null")
                                  .c_str()),
                  0);
        return zip;
    };
    const std::vector<std::string> key = {"--key", test::testSecretKeyPath()};
    for (std::size_t i = 0; i + 1 < writers.size(); ++i) {
        publishBuild(key, writers[i].first, writers[i].first, write(writers[i]));
    }
    const test::PublisherRun ppmd = test::runPublisher(
        {"--key", test::testSecretKeyPath(), "--dbms", target->dbms, "--server", target->serverName,
         "add-build", "ppmd", "ppmd", "12", write(writers.back())});
    EXPECT_NE(ppmd.status, 0);
    EXPECT_NE(ppmd.err.find("compression method PPMd(98)"), std::string::npos) << ppmd.err;

    EXPECT_EQ(runUpdater("qlx_upt_signed"), 0);
    EXPECT_TRUE(run.boxes().empty()) << run.boxes().front().text;
    for (std::size_t i = 0; i + 1 < writers.size(); ++i) {
        EXPECT_EQ(test::readFile(run.path(writers[i].first + "/notes.txt")), notes)
            << writers[i].first;
    }
    EXPECT_FALSE(test::folderExists(run.path("ppmd")));
}

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

INSTANTIATE_TEST_SUITE_P(Targets, SignedUpdater,
                         ::testing::Values(TargetKind::Sqlite, TargetKind::Postgres), targetLabel);

// The legacy updater, from the same sources, checks its own table as well;
// it reaches PostgreSQL through its fixed interface, an ODBC data source.
TEST(SignedLegacyUpdater, InstallsSignedPackagesAndRefusesOthers) {
    std::string error;
    auto target = test::UpdateTarget::make(TargetKind::OracleViaOdbcPostgresDsn, error);
    ASSERT_NE(target, nullptr) << error;
    const Bytes good = test::signedWith(test::makePackage({{"quillon.dat", "v12"}}),
                                        buildPlace("QLX_UPT2", "main", "bin", 12));
    ASSERT_TRUE(
        publish::insertBuildPackage(*target->writer, "QLX_UPT2", {"main", "bin", 12, good}, error))
        << error;
    const auto runLegacy = [](test::UpdaterRun& run) {
        run.installStandInClient();
        EXPECT_TRUE(test::writeFile(run.path("quil.psr"), R"({"rows":[]})"));
        return run.run("qlx_upt3_signed", "/PSR=quil.psr;/SERVER=QLX_PG;/BUILDNO=12;");
    };
    test::UpdaterRun first;
    EXPECT_EQ(runLegacy(first), 0);
    EXPECT_TRUE(first.boxes().empty());
    EXPECT_EQ(test::readFile(first.path("bin/quillon.dat")), "v12");

    ASSERT_TRUE(publish::insertBuildPackage(
        *target->writer, "QLX_UPT2", {"late", "late", 13, test::withChangedByte(good, 0)}, error))
        << error;
    test::UpdaterRun second;
    EXPECT_EQ(runLegacy(second), 4);
    const auto boxes = second.boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].title, "Err!");
    EXPECT_EQ(boxes[0].text, std::string("late.zip: ") + kNotSignedReason);
    EXPECT_FALSE(fs::exists(second.path("bin")));
    EXPECT_FALSE(fs::exists(second.path("late")));
}

} // namespace
} // namespace qlx
