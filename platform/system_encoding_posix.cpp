#include "platform/system_encoding.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace qlx {

namespace {

std::string normalized(std::string name) {
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

// The locale's character set; empty when the text needs no conversion: UTF-8
// itself, or the 7-bit set of the "C" locale, in which the system gives no
// meaning to bytes above 127 and passes them on unchanged.
std::string conversionCodeset() {
    const char* codeset = ::nl_langinfo(CODESET);
    if (codeset == nullptr) {
        return {};
    }
    const std::string name = normalized(codeset);
    if (name == "UTF8" || name == "ANSI_X3.41968" || name == "ASCII" || name == "USASCII") {
        return {};
    }
    return codeset;
}

// How many bytes of `text` the character at its front takes: its lead byte
// and the continuation bytes after it, at most four in all.
std::size_t utf8CharacterLength(const char* text, std::size_t left) {
    std::size_t length = 1;
    while (length < left && length < 4 &&
           (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        ++length;
    }
    return length;
}

std::string convert(const std::string& text, const std::string& to, const std::string& from,
                    bool fromUtf8) {
    iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
    // iconv_open fails with (iconv_t)-1, a pointer made from an integer.
    const auto failed = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
    if (cd == failed) {
        return text; // a set the system cannot convert: the bytes as they are
    }
    std::string out;
    out.reserve(text.size() * 2);
    char* in = const_cast<char*>(text.data()); // iconv's signature; it never writes
    std::size_t inLeft = text.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* next = buffer;
        std::size_t room = sizeof(buffer);
        const std::size_t done = ::iconv(cd, &in, &inLeft, &next, &room);
        out.append(buffer, static_cast<std::size_t>(next - buffer));
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // A character the target cannot hold, or one that is not valid: "?"
        // for it, and on with the next.
        out.push_back('?');
        const std::size_t skip = fromUtf8 ? utf8CharacterLength(in, inLeft) : 1;
        in += skip;
        inLeft -= skip;
    }
    char* next = buffer;
    std::size_t room = sizeof(buffer);
    ::iconv(cd, nullptr, nullptr, &next, &room); // the shift state's end, if any
    out.append(buffer, static_cast<std::size_t>(next - buffer));
    ::iconv_close(cd);
    return out;
}

} // namespace

std::string toSystemEncoding(const std::string& utf8) {
    const std::string codeset = conversionCodeset();
    return codeset.empty() ? utf8 : convert(utf8, codeset, "UTF-8", true);
}

std::string fromSystemEncoding(const std::string& text) {
    const std::string codeset = conversionCodeset();
    return codeset.empty() ? text : convert(text, "UTF-8", codeset, false);
}

} // namespace qlx
