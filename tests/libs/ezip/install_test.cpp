#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/install.h"
#include "libs/ezip/staging.h"
#include "libs/ezip/tree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

ezip::PlannedFile planned(std::uint32_t index, const std::string& path) {
    ezip::PlannedFile file;
    file.index = index;
    file.path = path;
    return file;
}

class InstallStaged : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(destination() / "old");
        ezip_test::writeFile(destination() / "old" / "replaced.txt", "old version");
        ezip_test::writeFile(destination() / "kept.txt", "kept");
        fs::create_directories(staging() / "0"); // the bucket of the first entries
        destinationFd_ = open(destination().c_str(), O_RDONLY | O_DIRECTORY);
        stagingFd_ = open(staging().c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(destinationFd_, 0);
        ASSERT_GE(stagingFd_, 0);
        plan_.folders = {"new", "old", "new/deeper"};
        plan_.files = {planned(0, "old/replaced.txt"), planned(1, "new/deeper/added.txt"),
                       planned(2, "top.txt")};
    }
    void TearDown() override {
        close(destinationFd_);
        close(stagingFd_);
    }

    [[nodiscard]] fs::path destination() const { return scratch_.path() / "dest"; }
    [[nodiscard]] fs::path staging() const { return scratch_.path() / "stage"; }
    void stage(const ezip::PlannedFile& file, const std::string& data) const {
        ezip_test::writeFile(staging() / ezip::stagedName(file), data);
    }

    ezip_test::ScratchFolder scratch_;
    ezip::Plan plan_;
    int destinationFd_ = -1;
    int stagingFd_ = -1;
};

TEST_F(InstallStaged, MovesEveryFileIntoPlaceAndKeepsTheReplacedOnesAside) {
    stage(plan_.files[0], "new version");
    stage(plan_.files[1], "added");
    stage(plan_.files[2], "top");

    ASSERT_EQ(ezip::installStaged(destinationFd_, stagingFd_, plan_), EZIP_OK);

    EXPECT_EQ(ezip_test::readFile(destination() / "old" / "replaced.txt"), "new version");
    EXPECT_EQ(ezip_test::readFile(destination() / "new" / "deeper" / "added.txt"), "added");
    EXPECT_EQ(ezip_test::readFile(destination() / "top.txt"), "top");
    EXPECT_EQ(ezip_test::readFile(destination() / "kept.txt"), "kept");
    // The replaced file waits in the staging folder until it is removed.
    EXPECT_EQ(ezip_test::readFile(staging() / "b0"), "old version");
    ezip::removeStaging(destinationFd_, "../stage");
    EXPECT_FALSE(fs::exists(staging()));
}

TEST_F(InstallStaged, AFailedMoveUndoesEveryEarlierOne) {
    stage(plan_.files[0], "new version");
    stage(plan_.files[1], "added");
    // The last file was never staged, so its move fails after two succeeded.
    const auto before = ezip_test::snapshot(destination());

    EXPECT_EQ(ezip::installStaged(destinationFd_, stagingFd_, plan_), EZIP_E_INSTALL);

    EXPECT_EQ(ezip_test::snapshot(destination()), before);
}

} // namespace
