#include "libs/ezip/archive_plan.h"

#include "libs/ezip/entry_name.h"
#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/raw_decoder.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace ezip {

namespace {

constexpr unsigned hostUnix = 3;
constexpr unsigned hostMac = 19;
constexpr std::uint32_t dosFolder = 0x10;
constexpr std::uint16_t flagEncrypted = 0x0001;
constexpr std::uint16_t flagStrongEncryption = 0x0040;
constexpr std::uint16_t flagUtf8 = 0x0800;
constexpr std::uint16_t methodStore = 0;
constexpr std::uint16_t methodAes = 99;
// The file types of a Unix mode, as zip tools store it whatever the platform.
constexpr std::uint32_t unixType = 0170000;
constexpr std::uint32_t unixFifo = 0010000;
constexpr std::uint32_t unixCharDevice = 0020000;
constexpr std::uint32_t unixFolder = 0040000;
constexpr std::uint32_t unixBlockDevice = 0060000;
constexpr std::uint32_t unixFile = 0100000;
constexpr std::uint32_t unixLink = 0120000;
constexpr std::uint32_t unixSocket = 0140000;

struct EntryKind {
    bool folder = false;
    bool executable = false;
    bool unixMode = false;
};

// Only regular files and folders come out of a package: a link could point the
// next entries out of the folder. FIFOs, devices and sockets carry no meaning
// here but their bytes (an archive written from a pipe marks its entry as a
// FIFO), so they are written as regular files, as other unpackers do.
int entryKind(const CentralEntry& entry, EntryKind& kind) {
    const unsigned host = entry.madeBy >> 8U;
    const bool unixHost = host == hostUnix || host == hostMac;
    const std::uint32_t mode = entry.externalAttributes >> 16U;
    const std::uint32_t type = mode & unixType;
    if (unixHost) {
        if (type == unixLink) {
            return EZIP_E_ENTRY_TYPE;
        }
        if (type != 0 && type != unixFile && type != unixFolder && type != unixFifo &&
            type != unixCharDevice && type != unixBlockDevice && type != unixSocket) {
            return EZIP_E_ENTRY_TYPE;
        }
        kind.executable = (mode & 0111U) != 0;
        kind.unixMode = (mode & 0777U) != 0;
    }
    // Unix writers fill the DOS attributes as they please (some set every
    // bit), so where the mode gives a type, the type decides.
    if (unixHost && type != 0) {
        kind.folder = type == unixFolder;
    } else {
        kind.folder = (entry.externalAttributes & dosFolder) != 0;
    }
    return EZIP_OK;
}

std::string join(const std::vector<std::string>& components, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            path.push_back('/');
        }
        path += components[i];
    }
    return path;
}

// Takes the entries in archive order, so that the first entry at fault, and
// of its faults the first checked, decides the code.
class Planner {
public:
    explicit Planner(Plan& plan) : plan_(plan) {}

    void survey(const std::vector<CentralEntry>& entries);
    int add(const CentralEntry& entry, std::uint32_t index);
    int finish();

private:
    int decodeName(const CentralEntry& entry);
    int claimFolders(const std::vector<std::string>& components, std::size_t count);
    int claimPath(const std::string& path, bool folder);
    void addFile(const CentralEntry& entry, std::uint32_t index, const EntryKind& kind,
                 const std::string& path);

    Plan& plan_;
    NameDecoder decoder_;
    std::string decoded_;
    std::unordered_set<std::string> fileKeys_;
    std::unordered_set<std::string> explicitFolderKeys_;
    // Folded folder path to its spelling: "A/x" and "a/y" would share one
    // folder on a case-insensitive file system and must not disagree.
    std::unordered_map<std::string, std::string> folders_;
};

// How the entry is stored, which must be what the extraction can read.
int checkStorage(const CentralEntry& entry, bool folder) {
    if ((entry.flags & (flagEncrypted | flagStrongEncryption)) != 0 || entry.method == methodAes) {
        return EZIP_E_ENCRYPTED;
    }
    if (!methodSupported(entry.method)) {
        return EZIP_E_METHOD;
    }
    if (entry.method == methodStore && entry.size != entry.compressedSize) {
        return EZIP_E_STRUCTURE;
    }
    if (folder && entry.size != 0) {
        return EZIP_E_STRUCTURE;
    }
    return EZIP_OK;
}

// Some writers reveal their names' encoding only across the archive.
void Planner::survey(const std::vector<CentralEntry>& entries) {
    for (const auto& entry : entries) {
        decoder_.survey(entry.rawName, (entry.flags & flagUtf8) != 0, entry.unicodeName);
    }
    decoder_.endSurvey();
}

int Planner::add(const CentralEntry& entry, std::uint32_t index) {
    if (const int code = decodeName(entry); code != EZIP_OK) {
        return code;
    }
    const CheckedName name = checkEntryName(decoded_);
    if (name.verdict != NameVerdict::Ok) {
        return EZIP_E_NAME;
    }
    EntryKind kind;
    if (const int code = entryKind(entry, kind); code != EZIP_OK) {
        return code;
    }
    const bool folder = name.folder || kind.folder;
    if (const int code = checkStorage(entry, folder); code != EZIP_OK) {
        return code;
    }
    if (name.components.empty()) {
        return EZIP_OK; // the destination itself, which exists
    }
    const std::size_t parents = folder ? name.components.size() : name.components.size() - 1;
    const std::string path = join(name.components, name.components.size());
    if (const int code = claimFolders(name.components, parents); code != EZIP_OK) {
        return code;
    }
    if (const int code = claimPath(path, folder); code != EZIP_OK) {
        return code;
    }
    if (!folder) {
        addFile(entry, index, kind, path);
    }
    return EZIP_OK;
}

int Planner::decodeName(const CentralEntry& entry) {
    if (!entry.unicodeName.empty() && isValidUtf8(entry.unicodeName)) {
        decoded_ = entry.unicodeName;
    } else if (!decoder_.decode(entry.rawName, (entry.flags & flagUtf8) != 0, entry.madeBy >> 8U,
                                {}, decoded_)) {
        return EZIP_E_NAME_ENCODING;
    }
    // The stored length counts every byte; a NUL inside it is a name
    // that the file system would cut short.
    if (entry.rawName.find('\0') != std::string::npos) {
        return EZIP_E_NAME;
    }
    return EZIP_OK;
}

// The first `count` folders of the path `components`.
int Planner::claimFolders(const std::vector<std::string>& components, std::size_t count) {
    for (std::size_t depth = 1; depth <= count; ++depth) {
        std::string path = join(components, depth);
        std::string key = foldCase(path);
        const auto [it, inserted] = folders_.try_emplace(key, path);
        if (!inserted && it->second != path) {
            return EZIP_E_DUPLICATE;
        }
    }
    return EZIP_OK;
}

int Planner::claimPath(const std::string& path, bool folder) {
    std::unordered_set<std::string>& keys = folder ? explicitFolderKeys_ : fileKeys_;
    return keys.insert(foldCase(path)).second ? EZIP_OK : EZIP_E_DUPLICATE;
}

void Planner::addFile(const CentralEntry& entry, std::uint32_t index, const EntryKind& kind,
                      const std::string& path) {
    PlannedFile file;
    file.index = index;
    file.method = entry.method;
    file.flags = entry.flags;
    file.crc = entry.crc;
    file.dosTime = entry.dosTime;
    file.executable = kind.executable;
    file.unixMode = kind.unixMode;
    file.size = entry.size;
    file.compressedSize = entry.compressedSize;
    file.localOffset = entry.localOffset;
    file.dataEnd = entry.dataEnd;
    file.path = path;
    plan_.totalSize += entry.size;
    plan_.files.push_back(std::move(file));
}

// A file may not stand where another entry needs a folder; the folders go
// into the plan parents first.
int Planner::finish() {
    for (const auto& key : fileKeys_) {
        if (folders_.count(key) != 0) {
            return EZIP_E_DUPLICATE;
        }
    }
    plan_.folders.reserve(folders_.size());
    for (auto& [key, path] : folders_) {
        plan_.folders.push_back(std::move(path));
    }
    const auto depth = [](const std::string& path) {
        return std::count(path.begin(), path.end(), '/');
    };
    std::sort(plan_.folders.begin(), plan_.folders.end(),
              [&](const std::string& a, const std::string& b) {
                  const auto da = depth(a);
                  const auto db = depth(b);
                  return da != db ? da < db : a < b;
              });
    return EZIP_OK;
}

} // namespace

std::string_view parentOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

int planExtraction(const CentralDirectory& directory, const Limits& limits, Plan& plan) {
    if (directory.entries.size() > limits.maxEntries) {
        return EZIP_E_TOO_MANY_ENTRIES;
    }
    plan.view = directory.view;
    Planner planner(plan);
    planner.survey(directory.entries);
    for (std::size_t i = 0; i < directory.entries.size(); ++i) {
        if (const int code = planner.add(directory.entries[i], static_cast<std::uint32_t>(i));
            code != EZIP_OK) {
            return code;
        }
    }
    return planner.finish();
}

int checkDestination(const qlx::FileHandle& destination, const Plan& plan) {
    // Nothing can stand in a folder that does not exist, which saves a
    // lookup per file when unpacking into a fresh tree.
    std::unordered_set<std::string_view> missing;
    for (const auto& folder : plan.folders) {
        const qlx::FileKind kind = qlx::kindAt(destination, folder);
        if (kind == qlx::FileKind::Missing) {
            missing.insert(folder);
        } else if (kind != qlx::FileKind::Folder) {
            return EZIP_E_DESTINATION;
        }
    }
    std::uint64_t blocks = plan.folders.size();
    for (const auto& file : plan.files) {
        blocks += (file.size + 4095) / 4096;
        if (missing.count(parentOf(file.path)) != 0) {
            continue;
        }
        const qlx::FileKind kind = qlx::kindAt(destination, file.path);
        if (kind == qlx::FileKind::Folder || kind == qlx::FileKind::Unknown) {
            return EZIP_E_DESTINATION;
        }
    }
    const std::optional<qlx::FreeSpace> space = qlx::freeSpaceOf(destination);
    if (!space) {
        return EZIP_E_DESTINATION;
    }
    // Replaced files are freed only after the new ones are in place, so the
    // whole archive must fit beside the current contents.
    if (blocks > space->bytes / 4096 ||
        (space->entries && plan.files.size() + plan.folders.size() + 1 > *space->entries)) {
        return EZIP_E_NO_SPACE;
    }
    return EZIP_OK;
}

} // namespace ezip
