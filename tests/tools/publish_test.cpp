// The publisher as its users run it: a real process on real databases, and
// the repository reading back what it published.

#include "support/test_files.h"
#include "support/update_targets.h"
#include "update/repository.h"
#include "update/transaction.h"
#include "update/vexa_unzip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

using namespace qlx;
using qlx::test::TargetKind;
using Args = std::vector<std::string>;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs the publisher through the shell, which records its exit status.
Outcome publish(const Args& args) {
    test::TempDir dir;
    std::string command = shellQuoted(QLX_PUBLISH_PATH);
    for (const std::string& arg : args) {
        command += " " + shellQuoted(arg);
    }
    command += " >" + shellQuoted(dir.filePath("out")) + " 2>" + shellQuoted(dir.filePath("err")) +
               " </dev/null; echo $? >" + shellQuoted(dir.filePath("status"));
    Outcome run;
    if (std::system(command.c_str()) != 0) {
        return run;
    }
    std::istringstream(test::readFile(dir.filePath("status"))) >> run.status;
    run.out = test::readFile(dir.filePath("out"));
    run.err = test::readFile(dir.filePath("err"));
    return run;
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
        "cd " + shellQuoted(folder) + " && zip -q " + shellQuoted(zip) + " payload.bin";
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
                                   "QLX_UPT3\tearly\t\t10\t" + goodSize,
                                   "QLX_UPT3\tlate\tbin\t12\t" + secondSize,
                                   "QLX_UPT2\tlegacy\tl\t12\t" + goodSize,
                                   "QLX_UPT\tU-7\t" + secondSize,
                               }));

    {
        Transaction sqlca;
        sqlca.DBMS = target->dbms;
        sqlca.ServerName = target->serverName;
        sqlca.LogId = target->logId;
        sqlca.LogPass = target->logPass;
        sqlca.connect();
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
    EXPECT_EQ(after.out, "QLX_UPT3\tearly\t\t10\t" + goodSize + "\n");
}

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

INSTANTIATE_TEST_SUITE_P(Targets, PublisherEndToEnd,
                         ::testing::Values(TargetKind::Sqlite, TargetKind::Postgres), targetLabel);

} // namespace
