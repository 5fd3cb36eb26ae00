#include "settings/settings_file.h"

#include "settings/atomic_file.h"

#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <unordered_set>
#include <vector>

namespace qlx {

namespace {

using Json = nlohmann::ordered_json;

const QByteArray kByteOrderMark("\xEF\xBB\xBF");

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

std::optional<SettingsDocument> parseSettingsDocument(const QByteArray& bytes) {
    SettingsDocument document;
    QByteArrayView text(bytes);
    if (text.startsWith(kByteOrderMark)) {
        document.byteOrderMark = true;
        text = text.sliced(kByteOrderMark.size());
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

QByteArray serialiseSettingsDocument(const SettingsDocument& document) {
    // Parsed text is valid UTF-8 and QString::toStdString gives valid UTF-8, so
    // the replacement handler never acts; it only keeps dump() from throwing.
    const std::string text =
        document.json.dump(2, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(text.size()) + kByteOrderMark.size() + 1);
    if (document.byteOrderMark) {
        bytes.append(kByteOrderMark);
    }
    bytes.append(text.data(), static_cast<qsizetype>(text.size()));
    bytes.append('\n');
    return bytes;
}

SettingsFileContent readSettingsFile(const QString& path) {
    SettingsFileContent content;
    const QFileInfo info(path);
    if (!info.exists()) {
        // A dangling symlink is still the client's; only a truly empty name is free.
        content.state = info.isSymLink() ? SettingsFileState::Unusable : SettingsFileState::Missing;
        return content;
    }
    content.state = SettingsFileState::Unusable;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        return content;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return content;
    }
    if (auto document = parseSettingsDocument(bytes)) {
        content.state = SettingsFileState::Loaded;
        content.document = std::move(*document);
    }
    return content;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes) {
    return replaceFileContents(QFile::encodeName(path).toStdString(),
                               std::string_view(bytes.constData(), bytes.size()));
}

void removeInterruptedSaves(const QString& path) {
    removeInterruptedSaves(QFile::encodeName(path).toStdString());
}

} // namespace qlx
