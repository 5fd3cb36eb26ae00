#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qlx {

// Where a package sits, as the table (or the FTP server) that hands it out
// says: a signature vouches for this as much as for the bytes, so that a
// signed package put into another row, folder, build or name is refused.
struct PackagePlace {
    std::string table; // "QLX_UPT3", "QLX_UPT2", "QLX_UPT" or kFtpPlace
    std::string name;  // FILENAME, UPDATE_ID or the FTP file name
    std::string fpath; // per-build tables; NULL and empty are one
    std::optional<std::int64_t> buildno;

    friend bool operator==(const PackagePlace&, const PackagePlace&) = default;
};

inline constexpr const char* kFtpPlace = "FTP";

[[nodiscard]] inline PackagePlace buildPlace(std::string table, std::string filename,
                                             std::string fpath, std::int64_t buildno) {
    return {std::move(table), std::move(filename), std::move(fpath), buildno};
}
[[nodiscard]] inline PackagePlace updatePlace(std::string updateId) {
    return {"QLX_UPT", std::move(updateId), {}, std::nullopt};
}
[[nodiscard]] inline PackagePlace ftpPlace(std::string fileName) {
    return {kFtpPlace, std::move(fileName), {}, std::nullopt};
}

// The place as the signed statement holds it: each field with its length
// first, so that no two places share an encoding.
[[nodiscard]] std::string encodePlace(const PackagePlace& place);
// The place `encoded` holds; nullopt when it is no such encoding.
[[nodiscard]] std::optional<PackagePlace> decodePlace(const std::string& encoded);
// The place for people: "QLX_UPT3 core bin 12".
[[nodiscard]] std::string describePlace(const PackagePlace& place);

} // namespace qlx
