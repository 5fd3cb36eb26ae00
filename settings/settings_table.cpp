#include "settings/settings_table.h"

#include "platform/files.h"
#include "platform/whole_file.h"
#include "settings/settings_file.h"

#include <set>
#include <string>
#include <vector>

namespace qlx {

namespace {

using Json = nlohmann::ordered_json;

// A row takes part in searches when it is an object whose CODE is a string; any
// other row is carried along untouched.
const std::string* codeOf(const Json& row) {
    if (!row.is_object()) {
        return nullptr;
    }
    const auto code = row.find("CODE");
    if (code == row.end() || !code->is_string()) {
        return nullptr;
    }
    return code->get_ptr<const std::string*>();
}

// A missing or null VALUE is null. Numbers, booleans and structures read as
// their compact JSON text, so a hand-edited 42 still reads as "42".
OptString valueOf(const Json& row) {
    const auto value = row.find("VALUE");
    if (value == row.end() || value->is_null()) {
        return std::nullopt;
    }
    if (value->is_string()) {
        return value->get_ref<const std::string&>();
    }
    return value->dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json toJson(const OptString& s) {
    if (!s) {
        return nullptr;
    }
    return *s;
}

} // namespace

struct SettingsTable::Impl {
    SettingsDocument document = emptySettingsDocument();
    // Files that were there but could not be read or parsed: a save must leave
    // them as the client wrote them. Each is remembered by every name that
    // fileIdentities gives it, so that another spelling of it is recognised.
    std::set<std::string> untouchable;
    std::string saveError;

    Json& rows() { return document.json["rows"]; }
    [[nodiscard]] const Json& rows() const { return document.json.at("rows"); }

    // The index of the first row with `code`; nullopt for a null code or none.
    [[nodiscard]] std::optional<std::size_t> findRow(const OptString& code) const {
        if (!code) {
            return std::nullopt;
        }
        const Json& all = rows();
        for (std::size_t i = 0; i < all.size(); ++i) {
            const std::string* rowCode = codeOf(all[i]);
            if (rowCode != nullptr && *rowCode == *code) {
                return i;
            }
        }
        return std::nullopt;
    }
};

SettingsTable::SettingsTable() : impl_(std::make_unique<Impl>()) {}
SettingsTable::~SettingsTable() = default;
SettingsTable::SettingsTable(SettingsTable&&) noexcept = default;
SettingsTable& SettingsTable::operator=(SettingsTable&&) noexcept = default;

bool SettingsTable::load(const std::string& path) {
    removeInterruptedSaves(path);
    const std::vector<std::string> keys = fileIdentities(path);
    SettingsFileContent content = readSettingsFile(path);
    for (const std::string& key : keys) {
        if (content.state == SettingsFileState::Unusable) {
            impl_->untouchable.insert(key);
        } else {
            impl_->untouchable.erase(key);
        }
    }
    if (content.state != SettingsFileState::Loaded) {
        impl_->document = emptySettingsDocument();
        return false;
    }
    impl_->document = std::move(content.document);
    return true;
}

bool SettingsTable::save(const std::string& path) {
    const auto fail = [&](const std::string& why) {
        impl_->saveError = path + ": " + why;
        return false;
    };
    impl_->saveError.clear();
    for (const std::string& key : fileIdentities(path)) {
        if (impl_->untouchable.contains(key)) {
            return fail("시작할 때 읽을 수 없었던 파일이라 덮어쓰지 않았습니다");
        }
    }
    // A file the client marked read-only is not replaced, as on Windows, where
    // the read-only attribute refuses the rename. A rename would ignore it on
    // POSIX, and so would a process that may write anything.
    if (isMarkedReadOnly(path)) {
        return fail("읽기 전용 파일입니다");
    }
    if (!writeFileAtomically(path, serialiseSettingsDocument(impl_->document))) {
        return fail(lastSystemErrorText());
    }
    return true;
}

const std::string& SettingsTable::saveError() const {
    return impl_->saveError;
}

OptString SettingsTable::uf_get(const OptString& code, const OptString& default_,
                                const OptString& /*flag*/) const {
    const std::optional<std::size_t> row = impl_->findRow(code);
    if (!row) {
        return default_;
    }
    const OptString value = valueOf(impl_->rows()[*row]);
    if (!value) {
        return std::nullopt;
    }
    return trimTrailingBlanks(*value);
}

OptString SettingsTable::uf_set(const OptString& code, const OptString& data,
                                const OptString& /*flag*/) {
    const std::optional<std::size_t> found = impl_->findRow(code);
    Json& rows = impl_->rows();
    if (!found) {
        Json row = Json::object();
        row["CODE"] = toJson(code);
        row["VALUE"] = toJson(data);
        rows.push_back(std::move(row));
        return std::string();
    }
    Json& row = rows[*found];
    OptString previous = trimBlanks(valueOf(row));
    row["VALUE"] = toJson(data);
    return previous;
}

int SettingsTable::rowCount() const {
    return static_cast<int>(impl_->rows().size());
}

} // namespace qlx
