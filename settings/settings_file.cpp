#include "settings/settings_file.h"

#include "platform/files.h"
#include "platform/whole_file.h"

#include <cstddef>
#include <unordered_set>
#include <vector>

namespace qlx {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Deeper documents are not settings files, and writing them back would recurse
// that deep.
constexpr int kMaxDepth = 256;

// Reads the text once without building anything and fails on what the DOM
// parser would silently lose: repeated member names in one object.
class FaithfulnessCheck final : public nlohmann::json_sax<Json> {
public:
    [[nodiscard]] bool faithful() const { return faithful_; }

    bool null() override { return true; }
    bool boolean(bool /*val*/) override { return true; }
    bool number_integer(number_integer_t /*val*/) override { return true; }
    bool number_unsigned(number_unsigned_t /*val*/) override { return true; }
    bool number_float(number_float_t /*val*/, const string_t& /*s*/) override { return true; }
    bool string(string_t& /*val*/) override { return true; }
    bool binary(binary_t& /*val*/) override { return true; }
    bool start_object(std::size_t /*elements*/) override {
        keys_.emplace_back();
        return enter();
    }
    bool key(string_t& val) override {
        faithful_ = keys_.back().insert(val).second;
        return faithful_;
    }
    bool end_object() override {
        keys_.pop_back();
        --depth_;
        return true;
    }
    bool start_array(std::size_t /*elements*/) override { return enter(); }
    bool end_array() override {
        --depth_;
        return true;
    }
    bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                     const nlohmann::detail::exception& /*ex*/) override {
        faithful_ = false;
        return false;
    }

private:
    bool enter() {
        faithful_ = ++depth_ <= kMaxDepth;
        return faithful_;
    }

    std::vector<std::unordered_set<std::string>> keys_;
    int depth_ = 0;
    bool faithful_ = true;
};

} // namespace

SettingsDocument emptySettingsDocument() {
    SettingsDocument document;
    document.json = Json::object();
    document.json["rows"] = Json::array();
    return document;
}

std::optional<SettingsDocument> parseSettingsDocument(std::string_view bytes) {
    SettingsDocument document;
    std::string_view text = bytes;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        document.byteOrderMark = true;
        text.remove_prefix(kByteOrderMark.size());
    }

    try {
        // The DOM parser keeps the first position but the last value of a
        // repeated member name, so a first pass looks for such losses.
        FaithfulnessCheck check;
        if (!Json::sax_parse(text.begin(), text.end(), &check) || !check.faithful()) {
            return std::nullopt;
        }
        document.json = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    } catch (const Json::exception&) {
        return std::nullopt;
    }
    if (document.json.is_discarded() || !document.json.is_object()) {
        return std::nullopt;
    }
    const auto rows = document.json.find("rows");
    if (rows == document.json.end() || !rows->is_array()) {
        return std::nullopt;
    }
    return document;
}

std::string serialiseSettingsDocument(const SettingsDocument& document) {
    // Parsed text is valid UTF-8; a value the program stored may not be, and
    // the replacement handler writes its broken bytes as U+FFFD where dump()
    // would otherwise throw.
    const std::string text =
        document.json.dump(2, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
    std::string bytes;
    bytes.reserve(text.size() + kByteOrderMark.size() + 1);
    if (document.byteOrderMark) {
        bytes.append(kByteOrderMark);
    }
    bytes.append(text);
    bytes.append(1, '\n');
    return bytes;
}

SettingsFileContent readSettingsFile(const std::string& path) {
    SettingsFileContent content;
    FileContents file = readFileContents(path);
    if (file.state == FileReadState::Missing) {
        return content;
    }
    content.state = SettingsFileState::Unusable;
    if (file.state != FileReadState::Read) {
        return content;
    }
    if (auto document = parseSettingsDocument(file.bytes)) {
        content.state = SettingsFileState::Loaded;
        content.document = std::move(*document);
    }
    return content;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
    return replaceFileContents(path, bytes);
}

} // namespace qlx
