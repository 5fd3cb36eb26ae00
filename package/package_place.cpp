#include "package/package_place.h"

#include <charconv>

namespace qlx {

namespace {

void appendField(std::string& out, const std::string& field) {
    const auto size = static_cast<std::uint32_t>(field.size());
    for (unsigned shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((size >> shift) & 0xFFU);
    }
    out += field;
}

std::optional<std::string> takeField(const std::string& in, std::size_t& at) {
    if (in.size() - at < 4) {
        return std::nullopt;
    }
    std::uint32_t size = 0;
    for (unsigned i = 0; i < 4; ++i) {
        size |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    }
    at += 4;
    if (in.size() - at < size) {
        return std::nullopt;
    }
    std::string field = in.substr(at, size);
    at += size;
    return field;
}

} // namespace

std::string encodePlace(const PackagePlace& place) {
    std::string out;
    appendField(out, place.table);
    appendField(out, place.name);
    appendField(out, place.fpath);
    appendField(out, place.buildno ? std::to_string(*place.buildno) : std::string());
    return out;
}

std::optional<PackagePlace> decodePlace(const std::string& encoded) {
    std::size_t at = 0;
    std::optional<std::string> fields[4];
    for (auto& field : fields) {
        field = takeField(encoded, at);
        if (!field) {
            return std::nullopt;
        }
    }
    if (at != encoded.size()) {
        return std::nullopt;
    }
    PackagePlace place{*fields[0], *fields[1], *fields[2], std::nullopt};
    const std::string& build = *fields[3];
    if (!build.empty()) {
        std::int64_t value = 0;
        const auto [end, code] = std::from_chars(build.data(), build.data() + build.size(), value);
        if (code != std::errc() || end != build.data() + build.size()) {
            return std::nullopt;
        }
        place.buildno = value;
    }
    return place;
}

std::string describePlace(const PackagePlace& place) {
    std::string text = place.table + " " + place.name;
    if (place.buildno) {
        text += " '" + place.fpath + "' " + std::to_string(*place.buildno);
    }
    return text;
}

} // namespace qlx
