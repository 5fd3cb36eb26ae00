#include "db/odbc_support.h"

#include "platform/text_encoding.h"

#include <algorithm>
#include <array>

namespace qlx::odbc {

WideText wide(const std::string& text) {
    const std::u16string units = utf8ToUtf16(text);
    return {units.begin(), units.end()};
}

std::string narrow(const SQLWCHAR* text, std::size_t length) {
    return utf16ToUtf8(std::u16string(text, text + length));
}

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT record = 1; record < 20; ++record) {
        std::array<SQLWCHAR, 6> state{};
        SQLINTEGER native = 0;
        std::array<SQLWCHAR, 2048> message{};
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRecW(type, handle, record, state.data(), &native, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &length);
        if (!succeeded(rc)) {
            break;
        }
        const auto units = std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                    message.size() - 1);
        std::string line = narrow(message.data(), units);
        while (!line.empty() &&
               (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty() && text.find(line) == std::string::npos) {
            text += text.empty() ? line : "\n" + line;
        }
    }
    return text.empty() ? std::string("The ODBC call failed without a message") : text;
}

std::vector<std::string> diagnosticStates(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<std::string> states;
    for (SQLSMALLINT record = 1; record < 20; ++record) {
        std::array<SQLWCHAR, 6> state{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!succeeded(
                SQLGetDiagRecW(type, handle, record, state.data(), &native, nullptr, 0, &length))) {
            break;
        }
        states.push_back(narrow(state.data(), 5));
    }
    return states;
}

} // namespace qlx::odbc
