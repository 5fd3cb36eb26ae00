#include "window/w_vercheck.h"

#include "app/argument_string.h"
#include "app/program_name.h"
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "process/nvo_process.h"
#include "update/package_paths.h"
#include "update/transaction.h"
#include "window/window_port.h"

#include <cmath>

namespace qlx {

namespace {

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QString kRebootText =
    QStringLiteral("Quillon를 다시 실행해 주십시오. 계속 실패할 경우\r\n"
                   "사용 중인 PC를 재부팅 하신 뒤에 다시 시도해 주시기 바랍니다.");

// "/PID=" as a number, truncated toward zero to 32 unsigned bits; text that is
// not a number is 0.
quint32 toProcessId(const QString& text) {
    bool ok = false;
    const double value = trimBlanks(text).toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return 0;
    }
    const double truncated = std::trunc(std::fmod(value, 4294967296.0));
    return static_cast<quint32>(static_cast<qint64>(truncated));
}

} // namespace

w_vercheck::w_vercheck(const BuildProfile& profile, version_check& app, WindowPort& port)
    : w_vercheck(profile, app, port, systemServices()) {}

w_vercheck::w_vercheck(const BuildProfile& profile, version_check& app, WindowPort& port,
                       Services services)
    : profile_(profile), app_(app), port_(port), services_(std::move(services)),
      dw_1_(fromView(profile.fileTable)) {}

w_vercheck::~w_vercheck() = default;

// ---------------------------------------------------------------------------
// The open handler: the start-up checks, then the connection's fields.

void w_vercheck::refuseStart(const QString& title, const QString& text,
                             std::unique_ptr<nvo_process>& process) {
    port_.messageBox(title, text);
    process.reset();
    port_.closeWindow();
}

// Steps that need the process object. False when the start was refused.
bool w_vercheck::runProcessChecks() {
    std::unique_ptr<nvo_process> nvo_p;
    try {
        nvo_p = services_.createProcessObject();
    } catch (...) {
        nvo_p.reset();
    }
    if (!nvo_p) {
        refuseStart(QStringLiteral("확인! [01]"), kRebootText, nvo_p);
        return false;
    }

    [[maybe_unused]] bool lb_bool = false;
    lb_bool = nvo_p->uf_setcurpid(toProcessId(uf_getstring(QStringLiteral("/PID="), is_call_)));

    qint16 li_cnt = nvo_p->uf_getprocesscount(programFileName(QStringLiteral("qlx_upt")));
    if (li_cnt > 1) {
        refuseStart(QStringLiteral("확인! [02]"), kRebootText, nvo_p);
        return false;
    }

    static const char* const clients[] = {"quillon", "quilmsg", "ql_label", "ql_tel"};
    li_cnt = 0;
    for (const char* client : clients) {
        li_cnt = static_cast<qint16>(
            li_cnt + nvo_p->uf_getprocesscount(programFileName(QLatin1String(client))));
    }
    if (li_cnt > 0) {
        const int answer = port_.askYesNo(
            QStringLiteral("확인!"),
            QStringLiteral("현재 Quillon 혹은 연관된 프로그램이 ") + QString::number(li_cnt) +
                QStringLiteral("개 실행중입니다.\r\n모든 프로그램을 종료 후에 업데이트를 계속 "
                               "진행하시겠습니까?"));
        if (answer == 2) {
            refuseStart(QStringLiteral("확인!"),
                        QStringLiteral("Quillon와 관련된 모든 프로그램을 종료 후\r\n"
                                       "다시 시도해 주십시오."),
                        nvo_p);
            return false;
        }
        for (const char* client : clients) {
            li_cnt = static_cast<qint16>(
                li_cnt - nvo_p->uf_killprocesscount(programFileName(QLatin1String(client))));
        }
    }
    if (li_cnt > 0) {
        refuseStart(QString::number(li_cnt) + QStringLiteral("개 프로그램 종료 실패!!"),
                    kRebootText, nvo_p);
        return false;
    }
    nvo_p.reset();
    return true;
}

void w_vercheck::open() {
    is_call_ = trimBlanks(services_.commandLine());

    if (isBlank(is_call_)) {
        port_.messageBox(QStringLiteral("확인!"),
                         QStringLiteral("정상적인 업그레이드 방식이 아닙니다."));
        port_.closeWindow();
        return;
    }

    if (profile_.processControl && !runProcessChecks()) {
        return;
    }

    dw_2_.load(settingsPath());
    port_.setStatusText(QStringLiteral("Quillon 프로그램을 업그레이드 중입니다."));
    const QString ls_server = uf_getstring(QStringLiteral("/SERVER="), is_call_);

    Transaction& sqlca = app_.sqlca();
    if (profile_.fixedDbms.empty()) {
        sqlca.DBMS = uf_get(QStringLiteral("DataBase-DBMS"),
                            QStringLiteral("O10 Oracle10g (10.1.0)"), QStringLiteral("O"))
                         .value_or(QString());
    } else {
        sqlca.DBMS = fromView(profile_.fixedDbms);
    }
    sqlca.AutoCommit = false;
    sqlca.DBParm = QStringLiteral("CommitOnDisconnect='No'");
    sqlca.ServerName = ls_server;
    sqlca.LogId = QStringLiteral("QUIL_UPT");
    sqlca.LogPass = app_.is_uptpw;

    port_.postUpgradeClick();
}

// ---------------------------------------------------------------------------
// The hidden buttons.

void w_vercheck::cb_up_clicked() {
    if (uf_upgrade3(QString()) == QLatin1String("X")) {
        port_.messageBox(QStringLiteral("에러!"),
                         QStringLiteral("홈페이지에서 직접 업그레이드 하세요."));
        cb_exit1_clicked();
        return;
    }
    cb_exit_clicked();
}

void w_vercheck::cb_exit_clicked() {
    const QString ls_path = currentFolder();
    const QString psr = uf_getstring(QStringLiteral("/PSR="), is_call_);
    // The client is started by its full path as the program itself, and the
    // settings path reaches it as one argument: a blank in either can never
    // make the platform run something else.
    const QString program = joinPath(ls_path, programFileName(QStringLiteral("quillon")));
    const QStringList arguments = isBlank(psr) ? QStringList() : QStringList{psr};
    services_.startProgram(program, arguments);
    port_.closeWindow();
}

void w_vercheck::cb_exit1_clicked() {
    port_.closeWindow();
}

// ---------------------------------------------------------------------------
// Methods.

QString w_vercheck::uf_getstring(const OptString& matchstring, const OptString& totalstring) {
    return qlx::uf_getstring(matchstring, totalstring);
}

OptString w_vercheck::uf_setstring(const OptString& matchstring, const OptString& totalstring,
                                   const OptString& setstring) {
    return qlx::uf_setstring(matchstring, totalstring, setstring);
}

OptString w_vercheck::uf_get(const OptString& code, const OptString& default_,
                             const OptString& flag) const {
    return dw_2_.uf_get(code, default_, flag);
}

OptString w_vercheck::uf_set(const OptString& code, const OptString& data, const OptString& flag) {
    return dw_2_.uf_set(code, data, flag);
}

int w_vercheck::uf_bar(const OptString& action, qint64 data) {
    // The window's integer is 16 bits wide; wider values keep their low 16 bits.
    const int value = static_cast<qint16>(data);
    if (action == QStringLiteral("BAR")) {
        port_.setProgressPosition(value);
    } else if (action == QStringLiteral("SET")) {
        port_.setStatusTag(QString::number(value));
        port_.setProgressMaximum(value);
    }
    return 0;
}

QString w_vercheck::uf_exit(const OptString& /*unused*/) {
    return QStringLiteral("O");
}

// ---------------------------------------------------------------------------
// Shared by the update methods.

bool w_vercheck::connectUpdateDatabase() {
    Transaction& sqlca = app_.sqlca();
    const auto failed = [&] { return sqlca.SQLCode.has_value() && *sqlca.SQLCode != 0; };
    sqlca.connect();
    if (failed() && profile_.secondPassword) {
        sqlca.LogPass = app_.is_uptpw_new;
        sqlca.connect();
    }
    return !failed();
}

void w_vercheck::showDatabaseError() {
    const Transaction& sqlca = app_.sqlca();
    port_.messageBox(QStringLiteral("Err!"),
                     QString::number(sqlca.SQLCode.value_or(0)) + u'/' + sqlca.SQLErrText);
}

qint64 w_vercheck::failureTimeStamp() const {
    const QDateTime now = services_.now();
    const qint64 days = QDate(2010, 1, 1).daysTo(now.date());
    const qint64 hours = now.time().hour();
    return days * 24 * 60 + hours * 60 + now.time().minute();
}

QString w_vercheck::settingsPath() const {
    // The file start-up loaded the settings from is the one they go back to.
    const QString psr = uf_getstring(QStringLiteral("/PSR="), is_call_);
    return isBlank(psr) ? QStringLiteral("quil.psr") : psr;
}

} // namespace qlx
