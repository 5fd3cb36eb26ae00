#include "support/publisher.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace qlx::test {

PublisherRun runPublisher(const std::vector<std::string>& args) {
    TempDir dir;
    std::string command = shellQuoted(QLX_PUBLISH_PATH);
    for (const std::string& arg : args) {
        command += " " + shellQuoted(arg);
    }
    // The shell records the exit status.
    command += " >" + shellQuoted(dir.filePath("out")) + " 2>" + shellQuoted(dir.filePath("err")) +
               " </dev/null; echo $? >" + shellQuoted(dir.filePath("status"));
    PublisherRun run;
    if (std::system(command.c_str()) != 0) {
        return run;
    }
    std::istringstream(readFile(dir.filePath("status"))) >> run.status;
    run.out = readFile(dir.filePath("out"));
    run.err = readFile(dir.filePath("err"));
    return run;
}

std::string testSecretKeyPath() {
    return QLX_TEST_KEY_FOLDER "/package.key";
}

PackageKey testPackageKey() {
    constexpr std::optional<PackageKey> key = parsePackageKey(QLX_TEST_PACKAGE_KEY);
    static_assert(key.has_value());
    return *key;
}

Bytes signedWith(const Bytes& archive, const std::string& keyFile) {
    TempDir dir;
    const std::string in = dir.filePath("in.zip");
    const std::string out = dir.filePath("out.zip");
    if (!writeFile(in, std::string(archive.begin(), archive.end()))) {
        ADD_FAILURE() << "cannot write " << in;
        return {};
    }
    const PublisherRun run = runPublisher({"--key", keyFile, "sign", in, out});
    if (run.status != 0) {
        ADD_FAILURE() << "the publisher refused to sign: " << run.err;
        return {};
    }
    const std::string bytes = readFile(out);
    return {bytes.begin(), bytes.end()};
}

Bytes withChangedByte(Bytes archive, std::size_t offset) {
    archive.at(offset) = static_cast<char>(archive.at(offset) ^ 0x20);
    return archive;
}

} // namespace qlx::test
