#include "base/optional_string.h"

namespace qlx {

std::string trimBlanks(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string trimTrailingBlanks(const std::string& s) {
    const std::size_t last = s.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}

OptString trimBlanks(const OptString& s) {
    if (!s) {
        return std::nullopt;
    }
    return trimBlanks(*s);
}

bool isBlank(const OptString& s) {
    return !s || s->find_first_not_of(' ') == std::string::npos;
}

} // namespace qlx
