#include "settings/settings_table.h"

#include "settings/settings_file.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSet>

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
        return QString::fromStdString(value->get_ref<const std::string&>());
    }
    return QString::fromStdString(value->dump(-1, ' ', false, Json::error_handler_t::replace));
}

Json toJson(const OptString& s) {
    if (!s) {
        return nullptr;
    }
    return s->toStdString();
}

// The names under which a path is remembered: as given (made absolute) and, when
// it exists, with symlinks resolved, so that another spelling of the same file
// is recognised.
QStringList pathKeys(const QString& path) {
    const QFileInfo info(path);
    QStringList keys{QDir::cleanPath(info.absoluteFilePath())};
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty() && canonical != keys.front()) {
        keys.append(canonical);
    }
    return keys;
}

} // namespace

struct SettingsTable::Impl {
    SettingsDocument document = emptySettingsDocument();
    // Files that were there but could not be read or parsed: a save must leave
    // them as the client wrote them.
    QSet<QString> untouchable;

    Json& rows() { return document.json["rows"]; }
    [[nodiscard]] const Json& rows() const { return document.json.at("rows"); }

    [[nodiscard]] qsizetype findRow(const OptString& code) const {
        if (!code) {
            return -1;
        }
        const std::string key = code->toStdString();
        // A code with lone surrogates has no UTF-8 spelling and so equals no
        // code that a JSON file can hold.
        if (QString::fromStdString(key) != *code) {
            return -1;
        }
        const Json& all = rows();
        for (std::size_t i = 0; i < all.size(); ++i) {
            const std::string* rowCode = codeOf(all[i]);
            if (rowCode != nullptr && *rowCode == key) {
                return static_cast<qsizetype>(i);
            }
        }
        return -1;
    }
};

SettingsTable::SettingsTable() : impl_(std::make_unique<Impl>()) {}
SettingsTable::~SettingsTable() = default;
SettingsTable::SettingsTable(SettingsTable&&) noexcept = default;
SettingsTable& SettingsTable::operator=(SettingsTable&&) noexcept = default;

bool SettingsTable::load(const QString& path) {
    removeInterruptedSaves(path);
    const QStringList keys = pathKeys(path);
    SettingsFileContent content = readSettingsFile(path);
    for (const QString& key : keys) {
        if (content.state == SettingsFileState::Unusable) {
            impl_->untouchable.insert(key);
        } else {
            impl_->untouchable.remove(key);
        }
    }
    if (content.state != SettingsFileState::Loaded) {
        impl_->document = emptySettingsDocument();
        return false;
    }
    impl_->document = std::move(content.document);
    return true;
}

bool SettingsTable::save(const QString& path) {
    for (const QString& key : pathKeys(path)) {
        if (impl_->untouchable.contains(key)) {
            return false;
        }
    }
    // A file the client marked read-only is not replaced, as on Windows, where
    // the read-only attribute refuses the rename. A rename would ignore it here.
    const QFileInfo info(path);
    if (info.exists() && !info.permissions().testFlag(QFileDevice::WriteOwner)) {
        return false;
    }
    return writeFileAtomically(path, serialiseSettingsDocument(impl_->document));
}

OptString SettingsTable::uf_get(const OptString& code, const OptString& default_,
                                const OptString& /*flag*/) const {
    const qsizetype row = impl_->findRow(code);
    if (row < 0) {
        return default_;
    }
    const OptString value = valueOf(impl_->rows()[static_cast<std::size_t>(row)]);
    if (!value) {
        return std::nullopt;
    }
    return trimTrailingBlanks(*value);
}

OptString SettingsTable::uf_set(const OptString& code, const OptString& data,
                                const OptString& /*flag*/) {
    const qsizetype found = impl_->findRow(code);
    Json& rows = impl_->rows();
    if (found < 0) {
        Json row = Json::object();
        row["CODE"] = toJson(code);
        row["VALUE"] = toJson(data);
        rows.push_back(std::move(row));
        return QString();
    }
    Json& row = rows[static_cast<std::size_t>(found)];
    OptString previous = trimBlanks(valueOf(row));
    row["VALUE"] = toJson(data);
    return previous;
}

int SettingsTable::rowCount() const {
    return static_cast<int>(impl_->rows().size());
}

} // namespace qlx
