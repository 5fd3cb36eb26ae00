// The publisher as its users run it: a real process on real databases, and
// the repository reading back what it published.

#include "db/repository.h"
#include "db/transaction.h"
#include "package/package_signature.h"
#include "package/vexa_unzip.h"
#include "support/publisher.h"
#include "support/test_files.h"
#include "support/update_targets.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace {

using namespace qlx;
using qlx::test::TargetKind;
using Args = std::vector<std::string>;

using Outcome = test::PublisherRun;

Outcome publish(const Args& args) {
    return test::runPublisher(args);
}

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A zip archive made by the system's zip tool; empty when zip failed.
std::string makeZip(const test::TempDir& dir, const std::string& name, const std::string& content) {
    const std::string folder = dir.filePath(name + ".src");
    if (!test::writeFile(folder + "/payload.bin", content)) {
        return {};
    }
    const std::string zip = dir.filePath(name + ".zip");
    const std::string command =
        "cd " + test::shellQuoted(folder) + " && zip -q " + test::shellQuoted(zip) + " payload.bin";
    return std::system(command.c_str()) == 0 ? zip : std::string();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

TEST(Publisher, HelpAndUsageErrors) {
    const Outcome help = publish({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(startsWith(help.out, "Usage: qlx_publish"));

    const Outcome ddl = publish({"ddl-oracle"});
    EXPECT_EQ(ddl.status, 0);
    std::size_t creates = 0;
    for (std::size_t at = ddl.out.find("CREATE TABLE"); at != std::string::npos;
         at = ddl.out.find("CREATE TABLE", at + 1)) {
        ++creates;
    }
    EXPECT_EQ(creates, 3u);
    EXPECT_TRUE(contains(ddl.out, "QLX_UPT2 (FILENAME VARCHAR2(255)")) << ddl.out;

    const Args db = {"--dbms", "SQLite", "--server", "/nonexistent/x.db"};
    const Args usage[] = {
        {},
        {"--bogus"},
        db + Args{"frobnicate"},
        db + Args{"add-build", "a"},
        db + Args{"add-build", "a", "p", "twelve", "a.zip"},
        db + Args{"list", "--table", "QLX_UPT"},
        {"list"},
        {"--dbms"},
    };
    for (const Args& args : usage) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Outcome run = publish(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(startsWith(run.err, "qlx_publish: ")) << run.err;
    }
}

TEST(Publisher, FailuresExitWithOne) {
    test::TempDir dir;
    const std::string db = dir.filePath("u.sqlite");
    const Args base = {"--dbms", "SQLite", "--server", db};
    const Outcome missing = publish(base + Args{"list"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "does not exist")) << missing.err;
    EXPECT_FALSE(test::fileExists(db)) << "only init creates a database";

    ASSERT_EQ(publish(base + Args{"init"}).status, 0);
    ASSERT_TRUE(test::fileExists(db));
    const std::string notZip = dir.filePath("notes.zip");
    ASSERT_TRUE(test::writeFile(notZip, "this is not an archive"));
    const Outcome refused = publish(base + Args{"add-build", "n", "bin", "1", notZip});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "refusing")) << refused.err;
    const Outcome noFile = publish(base + Args{"add-update", "U", dir.filePath("none.zip")});
    EXPECT_EQ(noFile.status, 1);
    const Outcome removeMissing = publish(base + Args{"remove", "n"});
    EXPECT_EQ(removeMissing.status, 1);

    const Outcome list = publish(base + Args{"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.out.empty()) << "nothing was published: " << list.out;
}

// Connects `sqlca` to `target` as the updater does.
void connectAsUpdater(Transaction& sqlca, const test::UpdateTarget& target) {
    sqlca.DBMS = target.dbms;
    sqlca.ServerName = target.serverName;
    sqlca.LogId = target.logId;
    sqlca.LogPass = target.logPass;
    sqlca.connect();
}

class PublisherEndToEnd : public ::testing::TestWithParam<TargetKind> {};

TEST_P(PublisherEndToEnd, PublishedPackagesAreListedAndFetched) {
    test::TempDir dir;
    const std::string good = makeZip(dir, "good", std::string(5000, 'g'));
    ASSERT_FALSE(good.empty());
    if (vexa_unzip(good, dir.path()) != 0) {
        GTEST_SKIP() << "the extraction library on this build refuses every archive";
    }
    std::string error;
    auto target = test::UpdateTarget::make(GetParam(), error);
    ASSERT_TRUE(target) << error;
    const Args base = {"--dbms", target->dbms, "--server", target->serverName};

    const Outcome init = publish(base + Args{"init"});
    ASSERT_EQ(init.status, 0) << init.err;
    const std::string second = makeZip(dir, "second", std::string(70000, 's'));
    const Args adds[] = {
        {"add-build", "late", "bin", "12", second},
        {"add-build", "early", "", "10", good},
        {"add-build", "legacy", "l", "12", good, "--table", "qlx_upt2"},
        {"add-update", "U-7", second},
    };
    for (const Args& add : adds) {
        const Outcome run = publish(base + add);
        EXPECT_EQ(run.status, 0) << run.err;
    }
    const Outcome dup = publish(base + adds[1]);
    EXPECT_EQ(dup.status, 1);
    EXPECT_TRUE(contains(dup.err, "already")) << dup.err;

    const Outcome list = publish(base + Args{"list"});
    ASSERT_EQ(list.status, 0) << list.err;
    const std::string goodSize = std::to_string(test::readFile(good).size());
    const std::string secondSize = std::to_string(test::readFile(second).size());
    EXPECT_EQ(lines(list.out), (std::vector<std::string>{
                                   "QLX_UPT3\tearly\t\t10\t" + goodSize + "\tunsigned",
                                   "QLX_UPT3\tlate\tbin\t12\t" + secondSize + "\tunsigned",
                                   "QLX_UPT2\tlegacy\tl\t12\t" + goodSize + "\tunsigned",
                                   "QLX_UPT\tU-7\t" + secondSize + "\tunsigned",
                               }));

    {
        Transaction sqlca;
        connectAsUpdater(sqlca, *target);
        ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
        w_filelist files("QLX_UPT3");
        files.setTransObject(sqlca);
        ASSERT_EQ(files.retrieve(11), 1);
        EXPECT_EQ(files.rows()[0].filename, "late");
        const std::string expected = test::readFile(second);
        std::optional<Bytes> blob = Bytes();
        selectPackageByFileName(sqlca, "QLX_UPT3", "late", blob);
        ASSERT_TRUE(blob);
        EXPECT_EQ(std::string(blob->begin(), blob->end()), expected);
        blob = Bytes();
        selectPackageByUpdateId(sqlca, "U-7", blob);
        ASSERT_TRUE(blob);
        EXPECT_EQ(std::string(blob->begin(), blob->end()), expected);
        sqlca.disconnect();
    }

    EXPECT_EQ(publish(base + Args{"remove", "late"}).status, 0);
    EXPECT_EQ(publish(base + Args{"remove-update", "U-7"}).status, 0);
    EXPECT_EQ(publish(base + Args{"remove", "legacy", "--table", "QLX_UPT2"}).status, 0);
    const Outcome after = publish(base + Args{"list"});
    EXPECT_EQ(after.out, "QLX_UPT3\tearly\t\t10\t" + goodSize + "\tunsigned\n");
}

// The public key in the package.pub of `folder`.
PackageKey publicKeyIn(const std::string& folder) {
    std::string line = test::readFile(folder + "/package.pub");
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    const std::optional<PackageKey> key = parsePackageKey(line);
    EXPECT_TRUE(key) << line;
    return key.value_or(PackageKey{});
}

Bytes bytesOf(const std::string& path) {
    const std::string text = test::readFile(path);
    return {text.begin(), text.end()};
}

bool unzipTestPasses(const std::string& zip) {
    return std::system(("unzip -tqq " + test::shellQuoted(zip) + " >/dev/null").c_str()) == 0;
}

TEST(Publisher, KeygenMakesAPrivateKeyPairAndNeverReplacesIt) {
    test::TempDir dir;
    const std::string folder = dir.filePath("new/keys");
    const Outcome made = publish({"keygen", folder});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string secret = test::readFile(folder + "/package.key");
    const std::string line = test::readFile(folder + "/package.pub");
    EXPECT_EQ(made.out, line);
    publicKeyIn(folder);
    struct stat info {};
    ASSERT_EQ(stat((folder + "/package.key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777U, 0600U);

    const Outcome again = publish({"keygen", folder});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(contains(again.err, "exists")) << again.err;
    EXPECT_EQ(test::readFile(folder + "/package.key"), secret);
    EXPECT_EQ(test::readFile(folder + "/package.pub"), line);

    ASSERT_TRUE(test::writeFile(dir.filePath("bad.key"), "qlx-ed25519-secret:00"));
    ASSERT_EQ(chmod(dir.filePath("bad.key").c_str(), 0644), 0);
    // A secret that others can read is refused before it is read at all.
    const Outcome open =
        publish({"--key", dir.filePath("bad.key"), "sign", dir.filePath("a.zip"), "b.zip"});
    EXPECT_EQ(open.status, 1);
    EXPECT_TRUE(contains(open.err, "chmod 600")) << open.err;
    ASSERT_EQ(chmod(dir.filePath("bad.key").c_str(), 0600), 0);
    const Outcome badKey =
        publish({"--key", dir.filePath("bad.key"), "sign", dir.filePath("a.zip"), "b.zip"});
    EXPECT_EQ(badKey.status, 1);
    EXPECT_TRUE(contains(badKey.err, "not a secret package key")) << badKey.err;
}

// A signature replaces an archive's own comment and keeps zip64 records; the
// result is still a zip for every tool, and everything before the comment is
// as it was but the comment's length.
TEST(Publisher, SignedArchivesStayPlainZips) {
    test::TempDir dir;
    const std::string plain = makeZip(dir, "plain", std::string(3000, 'p'));
    ASSERT_FALSE(plain.empty());
    const std::string commented = dir.filePath("commented.zip");
    const std::string zip64 = dir.filePath("zip64.zip");
    const std::string src = test::shellQuoted(dir.filePath("plain.src"));
    ASSERT_EQ(std::system(("cd " + src + " && echo 'release 12' | zip -q -z " +
                           test::shellQuoted(commented) + " payload.bin && zip -q -fz " +
                           test::shellQuoted(zip64) + " payload.bin")
                              .c_str()),
              0);
    for (const std::string& zip : {plain, commented, zip64}) {
        SCOPED_TRACE(zip);
        const std::string out = zip + ".signed";
        const Outcome run = publish({"--key", test::testSecretKeyPath(), "sign", zip, out});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(contains(run.err, "comment"), zip == commented) << run.err;
        EXPECT_TRUE(unzipTestPasses(out));
        const Bytes original = bytesOf(zip);
        const Bytes signedZip = bytesOf(out);
        EXPECT_EQ(checkPackage({test::testPackageKey()},
                               ftpPlace(std::filesystem::path(out).filename().string()), signedZip),
                  SignatureCheck::Signed);
        // The end record, up to its comment length, is where it was.
        const std::size_t record = *endRecordOf(
            reinterpret_cast<const unsigned char*>(signedZip.data()), signedZip.size());
        ASSERT_LE(record + kCommentLengthOffset, original.size());
        EXPECT_TRUE(std::equal(original.begin(), original.begin() + record + kCommentLengthOffset,
                               signedZip.begin()));
    }
    // Bytes after the end record's comment would go unsigned: refused.
    ASSERT_TRUE(test::writeFile(dir.filePath("tail.zip"), test::readFile(plain) + "tail"));
    const Outcome tail = publish(
        {"--key", test::testSecretKeyPath(), "sign", dir.filePath("tail.zip"), dir.filePath("t")});
    EXPECT_EQ(tail.status, 1);
    EXPECT_TRUE(contains(tail.err, "cannot sign")) << tail.err;
    EXPECT_FALSE(test::fileExists(dir.filePath("t")));
}

// With --key every package goes in signed, whatever the table and engine;
// without, it goes in as it is, with a warning.
TEST_P(PublisherEndToEnd, SignsEveryPackageItAddsWithAKey) {
    test::TempDir dir;
    const std::string zip = makeZip(dir, "pkg", std::string(20000, 'z'));
    ASSERT_FALSE(zip.empty());
    ASSERT_EQ(publish({"keygen", dir.filePath("keys")}).status, 0);
    const PackageKey key = publicKeyIn(dir.filePath("keys"));
    std::string error;
    auto target = test::UpdateTarget::make(GetParam(), error);
    ASSERT_TRUE(target) << error;
    const Args base = {"--dbms", target->dbms, "--server", target->serverName};
    const Args withKey = Args{"--key", dir.filePath("keys/package.key")} + base;
    ASSERT_EQ(publish(base + Args{"init"}).status, 0);
    for (const Args& add :
         {withKey + Args{"add-build", "a", "bin", "12", zip},
          withKey + Args{"add-build", "b", "bin", "12", zip, "--table", "QLX_UPT2"},
          withKey + Args{"add-update", "U-1", zip}}) {
        const Outcome run = publish(add);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.err.empty()) << run.err;
    }
    const Outcome unsignedRun = publish(base + Args{"add-update", "U-2", zip});
    EXPECT_EQ(unsignedRun.status, 0) << unsignedRun.err;
    EXPECT_TRUE(contains(unsignedRun.err, "warning")) << unsignedRun.err;

    Transaction sqlca;
    connectAsUpdater(sqlca, *target);
    ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    const auto fetched = [&](const std::string& table, const std::string& name) {
        std::optional<Bytes> blob = Bytes();
        if (table == "QLX_UPT") {
            selectPackageByUpdateId(sqlca, name, blob);
        } else {
            selectPackageByFileName(sqlca, table, name, blob);
        }
        return blob.value_or(Bytes());
    };
    const auto good = [&](const Bytes& bytes, const PackagePlace& place) {
        return checkPackage({key}, place, bytes) == SignatureCheck::Signed;
    };
    EXPECT_TRUE(good(fetched("QLX_UPT3", "a"), buildPlace("QLX_UPT3", "a", "bin", 12)));
    EXPECT_TRUE(good(fetched("QLX_UPT2", "b"), buildPlace("QLX_UPT2", "b", "bin", 12)));
    const Bytes single = fetched("QLX_UPT", "U-1");
    EXPECT_TRUE(good(single, updatePlace("U-1")));
    EXPECT_NE(checkPackage({test::testPackageKey()}, updatePlace("U-1"), single),
              SignatureCheck::Signed)
        << "another key's signature";
    EXPECT_EQ(fetched("QLX_UPT", "U-2"), bytesOf(zip));
    sqlca.disconnect();
    ASSERT_TRUE(
        test::writeFile(dir.filePath("fetched.zip"), std::string(single.begin(), single.end())));
    EXPECT_TRUE(unzipTestPasses(dir.filePath("fetched.zip")));
}

// The password from each source it may come from, checked by PostgreSQL: a
// wrong one from a source proves that source was read. Then verify, given it
// from the environment, names the one row whose package was changed.
TEST(Publisher, ReadsThePasswordOffTheCommandLineAndVerifiesEveryRow) {
    test::TempDir dir;
    const std::string zip = makeZip(dir, "pkg", std::string(9000, 'p'));
    ASSERT_FALSE(zip.empty());
    std::string error;
    auto target = test::UpdateTarget::make(TargetKind::Postgres, error);
    ASSERT_TRUE(target) << error;
    ASSERT_TRUE(test::writeFile(dir.filePath("right"), target->logPass + "\nsecond line\n"));
    ASSERT_TRUE(test::writeFile(dir.filePath("wrong"), "not-the-password\n"));
    const std::string right = "QLX_PUBLISH_PASSWORD=" + target->logPass;
    const std::string wrong = "QLX_PUBLISH_PASSWORD=not-the-password";
    struct Case {
        Args options;
        std::vector<std::string> environment;
        bool connects;
    };
    const Case cases[] = {
        {{"--password-file", dir.filePath("right")}, {}, true},
        {{"--password-file", dir.filePath("wrong")}, {}, false},
        {{"--password-file", dir.filePath("right")}, {wrong}, true},
        {{"--password-file", dir.filePath("none")}, {right}, false},
        {{}, {right}, true},
        {{}, {wrong}, false},
        {{"--password", target->logPass}, {}, true},
        {{"--password", "not-the-password"}, {}, false},
    };
    const Args base = {"--key",    test::testSecretKeyPath(), "--dbms", target->dbms,
                       "--server", target->serverName,        "--user", target->logId};
    std::vector<std::string> published;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const std::string id = "U-" + std::to_string(i);
        const Outcome run = test::runPublisher(
            base + cases[i].options + Args{"add-update", id, zip}, cases[i].environment);
        EXPECT_EQ(run.status, cases[i].connects ? 0 : 1) << run.err;
        EXPECT_EQ(contains(run.err, "--password shows the password"),
                  cases[i].options.size() == 2 && cases[i].options[0] == "--password")
            << run.err;
        if (run.status == 0) {
            published.push_back("QLX_UPT\t" + id + "\tgood " +
                                keyFingerprint(test::testPackageKey()));
        }
    }
    // With no other source, it is asked for on the terminal; the default
    // password is the right one, so only a wrong one typed shows it was read.
    for (const auto& [id, typed, connects] : {std::tuple{"U-8", target->logPass, true},
                                              {"U-9", std::string("not-the-password"), false}}) {
        const Outcome run = test::runPublisherTyping(base + Args{"add-update", id, zip}, typed);
        EXPECT_EQ(run.status, connects ? 0 : 1) << run.out;
        EXPECT_TRUE(contains(run.out, "password of " + target->logId)) << run.out;
        EXPECT_FALSE(contains(run.out, typed)) << "the password was echoed";
        if (run.status == 0) {
            published.push_back(std::string("QLX_UPT\t") + id + "\tgood " +
                                keyFingerprint(test::testPackageKey()));
        }
    }
    // One package changed in its archive, one in its signature's comment.
    const Bytes signedOne = test::signedWith(bytesOf(zip), updatePlace("U-bad"));
    ASSERT_FALSE(signedOne.empty());
    for (const auto& [id, offset, verdict] : {std::tuple{"U-bad", std::size_t{40}, "bad"},
                                              {"U-cut", signedOne.size() - 3, "damaged"}}) {
        ASSERT_TRUE(publish::insertUpdatePackage(*target->writer, id,
                                                 test::withChangedByte(signedOne, offset), error))
            << error;
        published.push_back(std::string("QLX_UPT\t") + id + "\t" + verdict +
                            " signature: the package was changed after it was signed");
    }
    const Outcome verified =
        test::runPublisher({"--dbms", target->dbms, "--server", target->serverName, "--pub",
                            test::testPublicKeyPath(), "verify"},
                           {right});
    EXPECT_EQ(verified.status, 1) << verified.err;
    EXPECT_EQ(lines(verified.out), published);
}

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

// A build goes in whole or not at all: one faulty archive anywhere in a
// manifest keeps every package out, and each faulty one is named.
TEST_P(PublisherEndToEnd, ABuildOfManyPackagesGoesInWholeOrNotAtAll) {
    test::TempDir dir;
    std::string error;
    auto target = test::UpdateTarget::make(GetParam(), error);
    ASSERT_TRUE(target) << error;
    const Args base = {"--dbms", target->dbms, "--server", target->serverName};
    ASSERT_EQ(publish(base + Args{"init"}).status, 0);
    const std::string good = makeZip(dir, "good", std::string(3000, 'g'));
    const std::string bad = dir.filePath("bad.zip");
    ASSERT_TRUE(test::writeFile(bad, "not an archive"));
    const std::string manifest = dir.filePath("build.list");
    const auto writeManifest = [&](const std::string& second, const std::string& last) {
        return test::writeFile(manifest, "# build 7\nfirst\tbin\t7\t" + good +
                                             "\n\nsecond data/forms 7 " + second + "\r\n" +
                                             "last\tProgram Files\t7\t" + last + "\n");
    };
    ASSERT_TRUE(writeManifest(bad, dir.filePath("gone.zip")));
    const Outcome refused = publish(base + Args{"add-build", "--manifest", manifest});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "refusing " + bad)) << refused.err;
    EXPECT_TRUE(contains(refused.err, "gone.zip")) << refused.err;
    const Outcome twice =
        publish(base + Args{"add-build", "a", "bin", "7", good, "a", "x", "7", good});
    EXPECT_EQ(twice.status, 1);
    EXPECT_TRUE(contains(twice.err, "twice")) << twice.err;
    EXPECT_EQ(publish(base + Args{"list"}).out, "") << "a refused build leaves no row";

    ASSERT_TRUE(writeManifest(good, good));
    const Outcome added = publish(base + Args{"add-build", "--manifest", manifest});
    ASSERT_EQ(added.status, 0) << added.err;
    const std::string size = std::to_string(test::readFile(good).size());
    EXPECT_EQ(
        lines(publish(base + Args{"list"}).out),
        (std::vector<std::string>{"QLX_UPT3\tfirst\tbin\t7\t" + size + "\tunsigned",
                                  "QLX_UPT3\tlast\tProgram Files\t7\t" + size + "\tunsigned",
                                  "QLX_UPT3\tsecond\tdata/forms\t7\t" + size + "\tunsigned"}));
    const Outcome again =
        publish(base + Args{"add-build", "new", "bin", "7", good, "first", "bin", "7", good});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(contains(again.err, "already")) << again.err;
    EXPECT_EQ(lines(publish(base + Args{"list"}).out).size(), 3u) << "nor does one already there";
}

INSTANTIATE_TEST_SUITE_P(Targets, PublisherEndToEnd,
                         ::testing::Values(TargetKind::Sqlite, TargetKind::Postgres), targetLabel);

} // namespace
