#include "update/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace qlx {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the digits that start at `i`.
std::size_t skipDigits(const std::string& text, std::size_t i, std::size_t end) {
    while (i < end && isDigit(text[i])) {
        ++i;
    }
    return i;
}

} // namespace

std::optional<double> numberInText(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    bool negative = false;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) {
        negative = text[begin] == '-';
        ++begin;
    }
    const std::size_t body = begin;
    std::size_t i = skipDigits(text, begin, end);
    std::size_t digits = i - begin;
    if (i < end && text[i] == '.') {
        const std::size_t fraction = i + 1;
        i = skipDigits(text, fraction, end);
        digits += i - fraction;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t exponent = i + 1;
        if (exponent < end && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        i = skipDigits(text, exponent, end);
        if (i == exponent) {
            return std::nullopt;
        }
    }
    if (i != end) {
        return std::nullopt;
    }
    double value = 0;
    const char* first = text.data() + body;
    const char* last = text.data() + end;
    const auto [stop, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || stop != last || !std::isfinite(value)) {
        return std::nullopt; // also beyond a double's range, either way
    }
    return negative ? -value : value;
}

} // namespace qlx
