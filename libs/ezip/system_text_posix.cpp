#include "libs/ezip/system_text.h"

#include <clocale>
#include <cwctype>
#include <iconv.h>

namespace ezip::text {

std::optional<std::string> pathFromCaller(const char* text) {
    if (text == nullptr || *text == '\0') {
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

Cp949Decoder::Cp949Decoder() : state_(iconv_open("UTF-8", "CP949")) {
    // iconv_open reports failure as (iconv_t)-1.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (state_ == reinterpret_cast<iconv_t>(-1)) {
        state_ = nullptr;
    }
}

Cp949Decoder::~Cp949Decoder() {
    if (state_ != nullptr) {
        iconv_close(static_cast<iconv_t>(state_));
    }
}

bool Cp949Decoder::toUtf8(std::string_view raw, std::string& utf8) {
    if (state_ == nullptr) {
        return false;
    }
    auto* cd = static_cast<iconv_t>(state_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // A CP949 character takes at most 2 bytes and becomes at most 3 in UTF-8.
    utf8.assign(raw.size() * 2 + 4, '\0');
    std::string input(raw);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = utf8.data();
    std::size_t outLeft = utf8.size();
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
        return false;
    }
    if (iconv(cd, nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        return false;
    }
    utf8.resize(utf8.size() - outLeft);
    return true;
}

} // namespace ezip::text
