#include "libs/ftp/ftp_address.h"

#include <cstddef>

namespace qlx::ftp {

namespace {

// Reads a decimal number of 1 to `maxDigits` digits at `pos`, no sign, no
// leading zeros (so "010" cannot be taken for an octal octet).
std::optional<unsigned long> number(const std::string& text, std::size_t& pos,
                                    std::size_t maxDigits) {
    const std::size_t start = pos;
    unsigned long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < maxDigits) {
        value = value * 10 + static_cast<unsigned long>(text[pos] - '0');
        ++pos;
    }
    const std::size_t digits = pos - start;
    if (digits == 0 || (digits > 1 && text[start] == '0')) {
        return std::nullopt;
    }
    if (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::string> serverUrl(const std::string& address) {
    std::size_t pos = 0;
    std::string host;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (pos >= address.size() || address[pos] != '.') {
                return std::nullopt;
            }
            ++pos;
        }
        const auto value = number(address, pos, 3);
        if (!value || *value > 255) {
            return std::nullopt;
        }
        if (octet > 0) {
            host += '.';
        }
        host += std::to_string(*value);
    }
    unsigned long port = 21;
    if (pos < address.size()) {
        if (address[pos] != ':') {
            return std::nullopt;
        }
        ++pos;
        const auto value = number(address, pos, 5);
        if (!value || *value == 0 || *value > 65535) {
            return std::nullopt;
        }
        port = *value;
    }
    if (pos != address.size()) {
        return std::nullopt;
    }
    return "ftp://" + host + ":" + std::to_string(port) + "/";
}

} // namespace qlx::ftp
