#include "platform/text_encoding.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cwctype>
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

// A converter, or null when the system has none between the two sets.
iconv_t openConverter(const char* to, const char* from) {
    iconv_t cd = ::iconv_open(to, from);
    // iconv_open fails with (iconv_t)-1, a pointer made from an integer.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
}

// Runs all of `text` through `cd` onto `out`. At a sequence that `cd` cannot
// convert, `stumble(in, left, out)` writes what stands for it and says how
// many bytes it takes; 0 stops there, and the call is false.
template <typename Stumble>
bool runConverter(iconv_t cd, std::string_view text, std::string& out, Stumble stumble) {
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr); // a fresh shift state
    char* in = const_cast<char*>(text.data());       // iconv's signature; it never writes
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
        const std::size_t skip = stumble(in, inLeft, out);
        if (skip == 0) {
            return false;
        }
        in += skip;
        inLeft -= skip;
    }
    char* next = buffer;
    std::size_t room = sizeof(buffer);
    const std::size_t ended = ::iconv(cd, nullptr, nullptr, &next, &room); // the shift state's end
    out.append(buffer, static_cast<std::size_t>(next - buffer));
    return ended != static_cast<std::size_t>(-1);
}

std::string convert(const std::string& text, const std::string& to, const std::string& from,
                    bool fromUtf8) {
    iconv_t cd = openConverter(to.c_str(), from.c_str());
    if (cd == nullptr) {
        return text; // a set the system cannot convert: the bytes as they are
    }
    std::string out;
    out.reserve(text.size() * 2);
    // A character the target cannot hold, or one that is not valid: "?" for
    // it, and on with the next.
    runConverter(cd, text, out, [fromUtf8](const char* in, std::size_t left, std::string& sink) {
        sink.push_back('?');
        return fromUtf8 ? utf8CharacterLength(in, left) : std::size_t{1};
    });
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

std::optional<std::string> pathFromSystemEncoding(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return std::string(text);
}

char32_t foldCodePoint(char32_t cp) {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (cp < 0x80) {
        return (cp >= 'A' && cp <= 'Z') ? cp - 'A' + 'a' : cp;
    }
    return locale == nullptr ? cp
                             : static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), locale));
}

Cp949Decoder::Cp949Decoder() : state_(openConverter("UTF-8", "CP949")) {}

Cp949Decoder::~Cp949Decoder() {
    if (state_ != nullptr) {
        ::iconv_close(static_cast<iconv_t>(state_));
    }
}

bool Cp949Decoder::toUtf8(std::string_view raw, std::string& utf8) {
    if (state_ == nullptr) {
        return false;
    }
    utf8.clear();
    return runConverter(static_cast<iconv_t>(state_), raw, utf8,
                        [](const char*, std::size_t, std::string&) { return std::size_t{0}; });
}

} // namespace qlx
