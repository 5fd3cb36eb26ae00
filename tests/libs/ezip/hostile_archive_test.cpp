#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/tree.h"
#include "libs/ezip/zip_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>

extern "C" short Vexa_Unzip(const char* szzipfilename, const char* szdirname);

namespace fs = std::filesystem;
using ezip_test::callerPath;
using ezip_test::ZipBuilder;

namespace {

struct HostileCase {
    const char* what;
    std::function<std::string()> archive;
    int code;
    // Needs the destination's link to a folder outside it.
    bool throughLink = false;
};

// Every hostile archive starts with sound entries, so that a library that
// wrote entries before it met the bad one would change the destination.
ZipBuilder startedArchive() {
    ZipBuilder zip;
    zip.addDeflated("good.txt", "new contents of good.txt\n");
    zip.addStored("newdir/fresh.txt", "fresh\n");
    return zip;
}

std::string withEntry(const std::string& name, const std::string& data = "evil\n") {
    ZipBuilder zip = startedArchive();
    zip.addStored(name, data);
    return zip.finish();
}

std::string withMode(std::uint32_t mode, std::uint16_t madeBy = 0x031E, std::uint32_t dos = 0) {
    ZipBuilder zip = startedArchive();
    const auto i = zip.addStored("entry", "../../outside");
    zip.entry(i).externalAttributes = (mode << 16U) | dos;
    zip.entry(i).madeBy = madeBy;
    return zip.finish();
}

std::string changed(const std::function<void(ZipBuilder&, std::size_t)>& change,
                    bool deflated = false, const std::string& data = std::string(10000, 'q')) {
    ZipBuilder zip = startedArchive();
    const auto i = deflated ? zip.addDeflated("last.bin", data) : zip.addStored("last.bin", data);
    change(zip, i);
    return zip.finish();
}

// A local header whose data range holds the next entry's header and data:
// the shape of the overlapping-entry bombs, where every entry reuses one
// highly compressed kernel.
std::string overlapping() {
    ZipBuilder inner;
    const std::string kernel = ezip_test::rawDeflate(std::string(100000, 'z'));
    ZipBuilder::Entry b;
    b.name = "b.bin";
    b.method = 8;
    b.crc = ezip_test::crcOf(std::string(100000, 'z'));
    b.size = 100000;
    b.compressedSize = static_cast<std::uint32_t>(kernel.size());
    const std::string bLocal = ZipBuilder::localHeader(b) + kernel;
    ZipBuilder zip;
    ZipBuilder::Entry a;
    a.name = "a.bin";
    a.crc = ezip_test::crcOf(bLocal);
    a.size = a.compressedSize = static_cast<std::uint32_t>(bLocal.size());
    zip.add(a, bLocal);
    b.localOffset = static_cast<std::uint32_t>(ZipBuilder::localHeader(a).size());
    zip.addCentralOnly(b);
    return zip.finish();
}

// A Deflate64 entry whose stream or fields `change` spoils. Deflate streams
// that match no farther than 257 bytes are Deflate64 streams too.
std::string deflate64(const std::function<void(ZipBuilder::Entry&, std::string&)>& change) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "line " + std::to_string(i) + " of the notes\n";
    }
    ZipBuilder::Entry entry;
    entry.name = "notes.txt";
    entry.method = 9;
    entry.crc = ezip_test::crcOf(text);
    entry.size = static_cast<std::uint32_t>(text.size());
    std::string stream = ezip_test::rawDeflate(text);
    change(entry, stream);
    entry.compressedSize = static_cast<std::uint32_t>(stream.size());
    ZipBuilder zip = startedArchive();
    zip.add(entry, stream);
    return zip.finish();
}

// Large enough to be written on the writer thread, and barely compressible.
std::string largeData() {
    std::string data(9U << 20U, '\0');
    std::uint32_t state = 7;
    for (auto& c : data) {
        state = state * 1664525U + 1013904223U;
        c = static_cast<char>(state >> 24U);
    }
    return data;
}

// Past what each thread decodes in its own buffers, within the shared one.
std::string middleData() {
    std::string data;
    for (int i = 0; data.size() < (3U << 19U); ++i) {
        data += "row " + std::to_string(i * 7919 % 100003) + " of the middle table\n";
    }
    return data;
}

const HostileCase hostileCases[] = {
    {"Deflate64 that declares less than it holds",
     [] { return deflate64([](ZipBuilder::Entry& e, std::string&) { e.size = 1000; }); },
     EZIP_E_SIZE},
    {"Deflate64 with a wrong CRC",
     [] { return deflate64([](ZipBuilder::Entry& e, std::string&) { e.crc ^= 1U; }); },
     EZIP_E_DATA},
    {"Deflate64 cut short",
     [] { return deflate64([](ZipBuilder::Entry&, std::string& s) { s.resize(s.size() / 2); }); },
     EZIP_E_DATA},
    // Bytes in front shift every entry alike: still two that share bytes, and
    // one that a writer shifted on its own points where no header is.
    {"overlapping entries behind a stub", [] { return std::string(5000, 'S') + overlapping(); },
     EZIP_E_OVERLAP},
    {"one entry shifted for a stub",
     [] {
         return std::string(5000, 'S') +
                changed([](ZipBuilder& z, std::size_t i) { z.entry(i).localOffset += 5000; });
     },
     EZIP_E_STRUCTURE},
    {"traversal with slashes", [] { return withEntry("../evil.txt"); }, EZIP_E_NAME},
    {"traversal inside a path", [] { return withEntry("newdir/../../evil.txt"); }, EZIP_E_NAME},
    {"traversal with backslashes", [] { return withEntry(R"(newdir\..\..\evil.txt)"); },
     EZIP_E_NAME},
    {"absolute path", [] { return withEntry("/tmp/ezip-evil.txt"); }, EZIP_E_NAME},
    {"drive path", [] { return withEntry(R"(C:\evil.txt)"); }, EZIP_E_NAME},
    {"UNC path", [] { return withEntry(R"(\\host\share\evil.txt)"); }, EZIP_E_NAME},
    {"device name", [] { return withEntry("sub/NUL.txt"); }, EZIP_E_NAME},
    {"name with NUL", [] { return withEntry(std::string("ok\0/../../evil", 14)); }, EZIP_E_NAME},
    {"name with a control character", [] { return withEntry("bell\a.txt"); }, EZIP_E_NAME},
    {"symbolic link entry", [] { return withMode(0120777); }, EZIP_E_ENTRY_TYPE},
    {"symbolic link made on macOS with every DOS attribute set",
     [] { return withMode(0120755, 0x1314, 0xFFFF); }, EZIP_E_ENTRY_TYPE},
    {"duplicate name", [] { return withEntry("good.txt"); }, EZIP_E_DUPLICATE},
    {"duplicate through a dot", [] { return withEntry("./good.txt"); }, EZIP_E_DUPLICATE},
    {"case collision", [] { return withEntry("GOOD.txt"); }, EZIP_E_DUPLICATE},
    {"folder case collision", [] { return withEntry("NewDir/other.txt"); }, EZIP_E_DUPLICATE},
    {"file that is also a folder", [] { return withEntry("good.txt/inner.txt"); },
     EZIP_E_DUPLICATE},
    {"bomb that declares less than it holds",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size = 1U << 20U; }, true,
                        std::string(8U << 20U, '\0'));
     },
     EZIP_E_SIZE},
    {"overlapping entries", overlapping, EZIP_E_OVERLAP},
    {"truncated archive",
     [] {
         const std::string whole = withEntry("more.txt", std::string(5000, 'm'));
         return whole.substr(0, whole.size() / 2);
     },
     EZIP_E_NOT_ZIP},
    {"directory that lists more entries than it holds",
     [] {
         std::string whole = withEntry("more.txt");
         whole[whole.size() - 12] = 9; // total entries
         whole[whole.size() - 14] = 9; // entries on this disk
         return whole;
     },
     EZIP_E_STRUCTURE},
    {"spanned archive",
     [] {
         std::string whole = withEntry("more.txt");
         whole[whole.size() - 18] = 1; // this disk
         whole[whole.size() - 16] = 1; // the directory's first disk
         return whole;
     },
     EZIP_E_STRUCTURE},
    {"spanned zip64 archive", [] { return startedArchive().finishZip64(1); }, EZIP_E_STRUCTURE},
    {"CRC error in stored data",
     [] { return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).crc ^= 1; }); },
     EZIP_E_DATA},
    {"CRC error in deflated data",
     [] { return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).crc ^= 1; }, true); },
     EZIP_E_DATA},
    {"CRC error in a large deflated entry",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).crc ^= 1; }, true,
                        largeData());
     },
     EZIP_E_DATA},
    {"CRC error in a large stored entry",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).crc ^= 1; }, false,
                        largeData());
     },
     EZIP_E_DATA},
    {"large entry that inflates past its declared size",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size = 5U << 20U; }, true,
                        largeData());
     },
     EZIP_E_SIZE},
    {"large entry that inflates short of its declared size",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size = 12U << 20U; }, true,
                        largeData());
     },
     EZIP_E_SIZE},
    {"CRC error in a middle-sized deflated entry",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).crc ^= 1; }, true,
                        middleData());
     },
     EZIP_E_DATA},
    {"middle-sized entry that inflates past its declared size",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size -= 1; }, true,
                        middleData());
     },
     EZIP_E_SIZE},
    {"middle-sized entry that inflates short of its declared size",
     [] {
         return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size += 1; }, true,
                        middleData());
     },
     EZIP_E_SIZE},
    {"corrupt deflate stream",
     [] {
         ZipBuilder zip = startedArchive();
         ZipBuilder::Entry e;
         e.name = "broken.bin";
         e.method = 8;
         e.size = 1000;
         e.compressedSize = 16;
         e.crc = 0;
         zip.add(e, std::string(16, '\xFF'));
         return zip.finish();
     },
     EZIP_E_DATA},
    {"encrypted entry",
     [] { return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).flags |= 1; }); },
     EZIP_E_ENCRYPTED},
    {"unsupported method",
     [] {
         ZipBuilder zip = startedArchive();
         ZipBuilder::Entry e;
         e.name = "packed.ppmd";
         e.method = 98; // PPMd
         e.size = e.compressedSize = 4;
         e.crc = ezip_test::crcOf("PPMd");
         zip.add(e, "PPMd");
         return zip.finish();
     },
     EZIP_E_METHOD},
    {"local header that disagrees with the directory",
     [] { return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).method = 8; }); },
     EZIP_E_STRUCTURE},
    {"inflates past its declared size",
     [] { return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size = 100; }, true); },
     EZIP_E_SIZE},
    {"inflates short of its declared size",
     [] { return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size = 20000; }, true); },
     EZIP_E_SIZE},
    {"stored entry whose sizes disagree",
     [] { return changed([](ZipBuilder& z, std::size_t i) { z.entry(i).size = 20000; }); },
     EZIP_E_STRUCTURE},
    {"empty file", [] { return std::string(); }, EZIP_E_NOT_ZIP},
    {"HTML error page",
     [] {
         return std::string("<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
                            "<body><h1>Not Found</h1></body></html>\n");
     },
     EZIP_E_NOT_ZIP},
    {"folder entry over an existing file", [] { return withEntry("keep.txt/inside.txt"); },
     EZIP_E_DESTINATION},
    {"file entry over an existing folder", [] { return withEntry("sub"); }, EZIP_E_DESTINATION},
    {"file through a linked folder", [] { return withEntry("link/evil.txt"); }, EZIP_E_DESTINATION,
     true},
};

class HostileArchive : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileArchive, FailsAndLeavesTheFolderAsItWas) {
    const ezip_test::ScratchFolder scratch;
    const fs::path destination = scratch.path() / "dest";
    const fs::path outside = scratch.path() / "outside";
    fs::create_directories(destination / "sub");
    fs::create_directories(outside);
    ezip_test::writeFile(destination / "keep.txt", "kept\n");
    ezip_test::writeFile(destination / "good.txt", "old contents\n");
    ezip_test::writeFile(destination / "sub" / "x.txt", "x\n");
    // Windows lets only some users make links.
    std::error_code noLink;
    fs::create_directory_symlink(outside, destination / "link", noLink);
    if (noLink && GetParam().throughLink) {
        GTEST_SKIP() << "no link to a folder can be made here: " << noLink.message();
    }
    const fs::path archive = scratch.path() / "hostile.zip";
    ezip_test::writeFile(archive, GetParam().archive());
    const auto before = ezip_test::snapshot(scratch.path());

    const short result = Vexa_Unzip(callerPath(archive).c_str(), callerPath(destination).c_str());

    EXPECT_EQ(result, GetParam().code);
    EXPECT_EQ(ezip_test::snapshot(scratch.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileArchive, ::testing::ValuesIn(hostileCases),
                         [](const ::testing::TestParamInfo<HostileCase>& param) {
                             std::string name;
                             for (const char c : std::string(param.param.what)) {
                                 name.push_back(
                                     std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_');
                             }
                             return name;
                         });

TEST(HostileArchive, SoundArchiveFromTheSameBuilderExtracts) {
    // The hostile cases fail for their flaw, not for the builder's.
    const ezip_test::ScratchFolder scratch;
    const fs::path archive = scratch.path() / "sound.zip";
    ZipBuilder zip = startedArchive();
    zip.addStored("sub/more.txt", "more\n");
    zip.addDeflated("large.bin", largeData());
    zip.addDeflated("middle.txt", middleData());
    ezip_test::writeFile(archive, zip.finish());
    fs::create_directories(scratch.path() / "dest");
    ASSERT_EQ(Vexa_Unzip(callerPath(archive).c_str(), callerPath(scratch.path() / "dest").c_str()),
              0);
    EXPECT_EQ(ezip_test::readFile(scratch.path() / "dest" / "large.bin"), largeData());
    EXPECT_EQ(ezip_test::readFile(scratch.path() / "dest" / "middle.txt"), middleData());
    EXPECT_EQ(ezip_test::readFile(scratch.path() / "dest" / "good.txt"),
              "new contents of good.txt\n");
    EXPECT_EQ(ezip_test::readFile(scratch.path() / "dest" / "sub" / "more.txt"), "more\n");
}

TEST(HostileArchive, MoreThanTheFreeSpaceFailsBeforeAnyRead) {
    // Entries that claim 4 GB each, their data a hole in a sparse file: only
    // the headers take room on disk.
    const ezip_test::ScratchFolder scratch;
    const fs::path archive = scratch.path() / "huge.zip";
    const fs::path destination = scratch.path() / "dest";
    fs::create_directories(destination);
    constexpr std::uint32_t claimed = 0xFFFFFF00U;
    constexpr std::uint32_t packed = claimed / 180;
    constexpr int entries = 150;
    if (static_cast<double>(fs::space(destination).available) > double{claimed} * entries) {
        GTEST_SKIP() << "the file system has more room than the archive claims";
    }
    ZipBuilder zip;
    std::ofstream out(archive, std::ios::binary);
    std::uint64_t offset = 0;
    for (int i = 0; i < entries; ++i) {
        ZipBuilder::Entry e;
        e.name = "part" + std::to_string(i) + ".bin";
        e.method = 8;
        e.size = claimed;
        e.compressedSize = packed;
        e.localOffset = static_cast<std::uint32_t>(offset);
        const std::string header = ZipBuilder::localHeader(e);
        out.seekp(static_cast<std::streamoff>(offset));
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
        zip.addCentralOnly(e);
        offset += header.size() + packed;
    }
    ASSERT_LT(offset, std::uint64_t{0xFFFFFFFF});
    const std::string directory = zip.directoryAt(offset);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(directory.data(), static_cast<std::streamsize>(directory.size()));
    out.close();
    ASSERT_TRUE(out);

    EXPECT_EQ(Vexa_Unzip(callerPath(archive).c_str(), callerPath(destination).c_str()),
              EZIP_E_NO_SPACE);
    EXPECT_TRUE(fs::is_empty(destination));
}

TEST(HostileArchive, MissingArchiveOrFolderFail) {
    const ezip_test::ScratchFolder scratch;
    const fs::path archive = scratch.path() / "sound.zip";
    ezip_test::writeFile(archive, withEntry("more.txt"));
    const std::string folder = callerPath(scratch.path());
    const std::string zip = callerPath(archive);
    EXPECT_EQ(Vexa_Unzip(callerPath(scratch.path() / "absent.zip").c_str(), folder.c_str()),
              EZIP_E_OPEN);
    EXPECT_EQ(Vexa_Unzip(zip.c_str(), callerPath(scratch.path() / "absent").c_str()),
              EZIP_E_DESTINATION);
    EXPECT_EQ(Vexa_Unzip(zip.c_str(), zip.c_str()), EZIP_E_DESTINATION);
    EXPECT_EQ(Vexa_Unzip(nullptr, folder.c_str()), EZIP_E_ARGUMENT);
    EXPECT_EQ(Vexa_Unzip("", folder.c_str()), EZIP_E_ARGUMENT);
}

} // namespace
