#include "app/optional_string.h"

namespace qlx {

QString trimBlanks(const QString& s) {
    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && s.at(first) == u' ') {
        ++first;
    }
    while (last > first && s.at(last - 1) == u' ') {
        --last;
    }
    return s.sliced(first, last - first);
}

QString trimTrailingBlanks(const QString& s) {
    qsizetype last = s.size();
    while (last > 0 && s.at(last - 1) == u' ') {
        --last;
    }
    return s.first(last);
}

OptString trimBlanks(const OptString& s) {
    if (!s) {
        return std::nullopt;
    }
    return trimBlanks(*s);
}

bool isBlank(const OptString& s) {
    return !s || trimBlanks(*s).isEmpty();
}

} // namespace qlx
