#include "window/argument_string.h"

#include <string_view>

namespace qlx {

std::string uf_getstring(const OptString& matchstring, const OptString& totalstring) {
    if (!matchstring || !totalstring || matchstring->empty()) {
        return {};
    }
    const std::size_t key = totalstring->find(*matchstring);
    if (key == std::string::npos) {
        return {};
    }
    const std::string_view rest = std::string_view(*totalstring).substr(key + matchstring->size());
    const std::size_t end = rest.find(';');
    // A last field written without its ";" has no defined value; every caller
    // treats an empty value as "not given", which is the safe reading.
    if (end == std::string_view::npos) {
        return {};
    }
    return std::string(rest.substr(0, end));
}

OptString uf_setstring(const OptString& matchstring, const OptString& totalstring,
                       const OptString& setstring) {
    if (!matchstring || !totalstring || !setstring) {
        return std::nullopt;
    }
    const std::size_t key =
        matchstring->empty() ? std::string::npos : totalstring->find(*matchstring);
    if (key == std::string::npos) {
        return *totalstring + *matchstring + *setstring + ';';
    }
    const std::string_view head = std::string_view(*totalstring).substr(0, key);
    const std::string_view rest = std::string_view(*totalstring).substr(key + matchstring->size());
    const std::size_t end = rest.find(';');
    // Without a ";" the whole old value text is kept behind the new field.
    const std::string_view tail = end == std::string_view::npos ? rest : rest.substr(end + 1);
    std::string result;
    result.reserve(head.size() + matchstring->size() + setstring->size() + 1 + tail.size());
    result.append(head).append(*matchstring).append(*setstring).append(1, ';').append(tail);
    return result;
}

} // namespace qlx
