#include "libs/ezip/tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

extern "C" short Vexa_Unzip(const char* szzipfilename, const char* szdirname);

namespace fs = std::filesystem;

namespace {

// Archives the host's writers made before the run (make_method_archives.sh):
// each unpacks to the files it was made of, or is refused before anything is
// written.
class MadeMethodArchive : public ::testing::TestWithParam<std::pair<const char*, short>> {};

TEST_P(MadeMethodArchive, UnpacksToItsSourceOrRefusesBeforeWriting) {
    const fs::path made = EZIP_METHOD_ARCHIVES;
    const fs::path archive = made / (std::string(GetParam().first) + ".zip");
    ASSERT_TRUE(fs::exists(archive)) << archive;
    const ezip_test::ScratchFolder scratch;
    EXPECT_EQ(Vexa_Unzip(ezip_test::callerPath(archive).c_str(),
                         ezip_test::callerPath(scratch.path()).c_str()),
              GetParam().second);
    if (GetParam().second != 0) {
        EXPECT_TRUE(fs::is_empty(scratch.path()));
        return;
    }
    EXPECT_EQ(ezip_test::snapshot(scratch.path()), ezip_test::snapshot(made / "source"));
}

INSTANTIATE_TEST_SUITE_P(Methods, MadeMethodArchive,
                         ::testing::Values(std::pair{"BZip2", 0}, std::pair{"LZMA", 0},
                                           std::pair{"XZ", 0}, std::pair{"Zstd", 0},
                                           std::pair{"Deflate64", 0}, std::pair{"PPMd", -10}),
                         [](const auto& param) { return std::string(param.param.first); });

} // namespace
