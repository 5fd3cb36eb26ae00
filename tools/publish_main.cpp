// qlx_publish: puts update packages into an update database and takes them out.

#include "app/unexpected_error.h"
#include "tools/package_check.h"
#include "tools/package_store.h"
#include "update/transaction.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

using namespace qlx;
using namespace qlx::publish;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    R"(Usage: qlx_publish --dbms ID --server NAME [--user USER] [--password PASS] COMMAND [ARGS]
       qlx_publish ddl-oracle
Put Quillon update packages into an update database, list them and take them out.

Commands:
  init                                 create the tables QLX_UPT3, QLX_UPT2 and QLX_UPT
                                       (a SQLite database file is created when missing)
  ddl-oracle                           print the tables' DDL for Oracle and exit
  add-build FILENAME FPATH BUILDNO ZIP [--table QLX_UPT3|QLX_UPT2]
                                       publish ZIP as the package FILENAME of build
                                       BUILDNO, unpacked into FPATH (default table QLX_UPT3)
  add-update UPDATE_ID ZIP             publish ZIP as the single package UPDATE_ID
  list                                 list every package with its size in bytes
  remove FILENAME [--table QLX_UPT3|QLX_UPT2]
                                       remove the package FILENAME of a per-build table
  remove-update UPDATE_ID              remove the single package UPDATE_ID

Options:
  --dbms ID          database interface: SQLite, PostgreSQL (PGS), ODBC, O10, ORACLE
  --server NAME      SQLite: the database file; PostgreSQL: host[:port][/database];
                     ODBC and Oracle: a data source name
  --user USER        login (default QUIL_UPT)
  --password PASS    password (default the updater's first password)
  --table TABLE      per-build table for add-build and remove
  -h, --help         show this help and exit

A package is refused unless the updater's extraction library unpacks it.
Exit status: 0 success, 1 the operation failed, 2 wrong usage.
)";

void err(const QString& text) {
    std::fprintf(stderr, "qlx_publish: %s\n", text.toLocal8Bit().constData());
}

int usageError(const QString& text) {
    err(text);
    std::fprintf(stderr, "Try 'qlx_publish --help' for more information.\n");
    return kUsage;
}

struct Options {
    QString dbms;
    QString server;
    QString user = QStringLiteral("QUIL_UPT");
    QString password = QStringLiteral("KOLVEX4923TRA");
    QString table = QStringLiteral("QLX_UPT3");
    QStringList positional;
    bool help = false;
};

std::optional<QString> parse(const QStringList& args, Options& options) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            options.help = true;
            continue;
        }
        QString* target = nullptr;
        if (a == QLatin1String("--dbms")) {
            target = &options.dbms;
        } else if (a == QLatin1String("--server")) {
            target = &options.server;
        } else if (a == QLatin1String("--user")) {
            target = &options.user;
        } else if (a == QLatin1String("--password")) {
            target = &options.password;
        } else if (a == QLatin1String("--table")) {
            target = &options.table;
        } else if (a.startsWith(QLatin1String("--"))) {
            return QLatin1String("unknown option '") + a + QLatin1String("'");
        }
        if (target != nullptr) {
            if (i + 1 >= args.size()) {
                return QLatin1String("option '") + a + QLatin1String("' needs a value");
            }
            *target = args[++i];
            continue;
        }
        options.positional << a;
    }
    return std::nullopt;
}

bool connect(Transaction& sqlca, const Options& options) {
    sqlca.DBMS = options.dbms;
    sqlca.ServerName = options.server;
    sqlca.LogId = options.user;
    sqlca.LogPass = options.password;
    sqlca.AutoCommit = true;
    sqlca.Writable = true;
    sqlca.connect();
    if (sqlca.SQLCode.value_or(0) != 0) {
        err(QLatin1String("cannot connect: ") + sqlca.SQLErrText);
        return false;
    }
    return true;
}

// The archive's bytes without a copy in memory: the file is mapped.
class MappedFile {
public:
    explicit MappedFile(const QString& path) : file_(path) {}
    bool open(QString& error) {
        if (!file_.open(QIODevice::ReadOnly)) {
            error = file_.errorString();
            return false;
        }
        if (file_.size() == 0) {
            bytes_ = QByteArray("");
            return true;
        }
        uchar* data = file_.map(0, file_.size());
        if (data == nullptr) {
            error = file_.errorString();
            return false;
        }
        bytes_ = QByteArray::fromRawData(reinterpret_cast<const char*>(data), file_.size());
        return true;
    }
    [[nodiscard]] const QByteArray& bytes() const { return bytes_; }

private:
    QFile file_;
    QByteArray bytes_;
};

int checkedArchive(const QString& zip, std::optional<MappedFile>& mapped) {
    const PackageCheck check = checkPackage(zip);
    if (!check.accepted) {
        err(QLatin1String("refusing ") + zip + QLatin1String(": ") + check.reason);
        return kFailure;
    }
    mapped.emplace(zip);
    QString error;
    if (!mapped->open(error)) {
        err(QLatin1String("cannot read ") + zip + QLatin1String(": ") + error);
        return kFailure;
    }
    return 0;
}

int refuseDuplicate(QSqlDatabase& db, const QString& table, const QString& key,
                    std::optional<qint64> buildno = std::nullopt) {
    QString error;
    const std::optional<bool> exists = packageExists(db, table, key, buildno, error);
    if (!exists) {
        err(QLatin1String("cannot read ") + table + QLatin1String(": ") + error);
        return kFailure;
    }
    if (*exists) {
        err(QLatin1String("'") + key + QLatin1String("' is already in ") + table +
            (buildno ? QLatin1String(" for build ") + QString::number(*buildno) : QString()) +
            QLatin1String("; remove it first"));
        return kFailure;
    }
    return 0;
}

int run(const Options& o) {
    const QString command = o.positional.value(0);
    const QStringList args = o.positional.mid(1);
    QTextStream out(stdout);

    if (command == QLatin1String("ddl-oracle")) {
        for (const QString& statement : schemaStatements(QStringLiteral("ORACLE"))) {
            out << statement << ";\n";
        }
        return 0;
    }
    struct Arity {
        const char* name;
        qsizetype count;
    };
    constexpr Arity arities[] = {{"init", 0}, {"add-build", 4}, {"add-update", 2},
                                 {"list", 0}, {"remove", 1},    {"remove-update", 1}};
    const auto* arity = std::find_if(std::begin(arities), std::end(arities), [&](const Arity& a) {
        return command == QLatin1String(a.name);
    });
    if (command.isEmpty()) {
        return usageError(QStringLiteral("no command given"));
    }
    if (arity == std::end(arities)) {
        return usageError(QLatin1String("unknown command '") + command + QLatin1String("'"));
    }
    if (args.size() != arity->count) {
        return usageError(QLatin1String("'") + command + QLatin1String("' takes ") +
                          QString::number(arity->count) + QLatin1String(" argument(s)"));
    }
    if (o.dbms.isEmpty() || o.server.isEmpty()) {
        return usageError(QStringLiteral("--dbms and --server are required"));
    }
    const std::optional<QString> table = buildTableNamed(o.table);
    if (!table) {
        return usageError(QLatin1String("--table must be QLX_UPT3 or QLX_UPT2, not '") + o.table +
                          QLatin1String("'"));
    }
    long buildno = 0;
    if (command == QLatin1String("add-build")) {
        bool ok = false;
        buildno = args[2].toLong(&ok);
        if (!ok) {
            return usageError(QLatin1String("BUILDNO must be a whole number, not '") + args[2] +
                              QLatin1String("'"));
        }
    }

    // Archives are checked before the database is touched.
    std::optional<MappedFile> mapped;
    if (command == QLatin1String("add-build") || command == QLatin1String("add-update")) {
        if (const int status = checkedArchive(args.back(), mapped); status != 0) {
            return status;
        }
    }

    if (command == QLatin1String("init") &&
        o.dbms.section(u' ', 0, 0).compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0 &&
        !QFileInfo::exists(o.server)) {
        QFile file(o.server);
        if (!file.open(QIODevice::WriteOnly)) {
            err(QLatin1String("cannot create ") + o.server + QLatin1String(": ") +
                file.errorString());
            return kFailure;
        }
    }

    Transaction sqlca;
    if (!connect(sqlca, o)) {
        return kFailure;
    }
    QSqlDatabase db = sqlca.database();
    QString error;
    int status = 0;
    if (command == QLatin1String("init")) {
        if (!createSchema(db, error)) {
            err(QLatin1String("cannot create the tables: ") + error);
            status = kFailure;
        }
    } else if (command == QLatin1String("add-build")) {
        status = refuseDuplicate(db, *table, args[0], buildno);
        if (status == 0 &&
            !insertBuildPackage(db, *table,
                                BuildPackage{args[0], args[1], buildno, mapped->bytes()}, error)) {
            err(QLatin1String("cannot add ") + args[0] + QLatin1String(": ") + error);
            status = kFailure;
        }
    } else if (command == QLatin1String("add-update")) {
        status = refuseDuplicate(db, QString::fromLatin1(kUpdateTable), args[0]);
        if (status == 0 && !insertUpdatePackage(db, args[0], mapped->bytes(), error)) {
            err(QLatin1String("cannot add ") + args[0] + QLatin1String(": ") + error);
            status = kFailure;
        }
    } else if (command == QLatin1String("list")) {
        std::vector<ListedPackage> packages;
        if (!listPackages(db, packages, error)) {
            err(QLatin1String("cannot list: ") + error);
            status = kFailure;
        }
        for (const ListedPackage& p : packages) {
            const QString size = p.size ? QString::number(*p.size) : QStringLiteral("NULL");
            if (p.buildno) {
                out << p.table << '\t' << p.key << '\t' << p.fpath << '\t' << *p.buildno << '\t'
                    << size << '\n';
            } else {
                out << p.table << '\t' << p.key << '\t' << size << '\n';
            }
        }
    } else {
        const bool build = command == QLatin1String("remove");
        const long removed = build ? removeBuildPackage(db, *table, args[0], error)
                                   : removeUpdatePackage(db, args[0], error);
        if (removed < 0) {
            err(QLatin1String("cannot remove ") + args[0] + QLatin1String(": ") + error);
            status = kFailure;
        } else if (removed == 0) {
            err(QLatin1String("no package '") + args[0] + QLatin1String("' in ") +
                (build ? *table : QString::fromLatin1(kUpdateTable)));
            status = kFailure;
        }
    }
    db = QSqlDatabase();
    sqlca.disconnect();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    if (const std::optional<QString> problem = parse(QCoreApplication::arguments(), options)) {
        return usageError(*problem);
    }
    if (options.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    try {
        return run(options);
    } catch (const UnexpectedError& e) {
        err(QLatin1String("cannot load ") + e.library() + QLatin1String(": ") + e.reason());
        return kFailure;
    }
}
