#include "app/argument_string.h"

namespace qlx {

QString uf_getstring(const OptString& matchstring, const OptString& totalstring) {
    if (!matchstring || !totalstring || matchstring->isEmpty()) {
        return {};
    }
    const qsizetype key = totalstring->indexOf(*matchstring);
    if (key < 0) {
        return {};
    }
    const QStringView rest = QStringView(*totalstring).sliced(key + matchstring->size());
    const qsizetype end = rest.indexOf(u';');
    // A last field written without its ";" has no defined value; every caller
    // treats an empty value as "not given", which is the safe reading.
    if (end < 0) {
        return {};
    }
    return rest.first(end).toString();
}

OptString uf_setstring(const OptString& matchstring, const OptString& totalstring,
                       const OptString& setstring) {
    if (!matchstring || !totalstring || !setstring) {
        return std::nullopt;
    }
    const qsizetype key = matchstring->isEmpty() ? -1 : totalstring->indexOf(*matchstring);
    if (key < 0) {
        return *totalstring + *matchstring + *setstring + u';';
    }
    const QStringView head = QStringView(*totalstring).first(key);
    const QStringView rest = QStringView(*totalstring).sliced(key + matchstring->size());
    const qsizetype end = rest.indexOf(u';');
    // Without a ";" the whole old value text is kept behind the new field.
    const QStringView tail = end < 0 ? rest : rest.sliced(end + 1);
    return head.toString() + *matchstring + *setstring + u';' + tail.toString();
}

} // namespace qlx
