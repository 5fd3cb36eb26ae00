#include "window/w_vercheck.h"

#include "db/transaction.h"
#include "package/package_paths.h"
#include "package/package_writer.h"
#include "package/target_folder.h"
#include "platform/files.h"
#include "process/nvo_process.h"
#include "process/program_name.h"
#include "update/build_list_update.h"
#include "update/ftp_update.h"
#include "update/number_text.h"
#include "update/single_package_update.h"
#include "update/update_database.h"
#include "update/update_view.h"
#include "window/application_globals.h"
#include "window/argument_string.h"
#include "window/build_profile.h"
#include "window/window_port.h"

#include <chrono>
#include <cmath>
#include <utility>

namespace qlx {

namespace {

const char* const kRebootText = "Quillon를 다시 실행해 주십시오. 계속 실패할 경우\r\n"
                                "사용 중인 PC를 재부팅 하신 뒤에 다시 시도해 주시기 바랍니다.";

// "/PID=" as a number, truncated toward zero to 32 unsigned bits; text that is
// not a number is 0.
std::uint32_t toProcessId(const std::string& text) {
    const std::optional<double> value = numberInText(trimBlanks(text));
    if (!value) {
        return 0;
    }
    const double truncated = std::trunc(std::fmod(*value, 4294967296.0));
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(truncated));
}

const char* const kUpgradingText = "Quillon 프로그램을 업그레이드 중입니다.";
const char* const kServerBusyText = "서버가 혼잡합니다. 잠시 후 다시 연결합니다...";

// What the update methods see of the window: its own progress method, and
// the port's boxes and event processing.
class PortView final : public UpdateView {
public:
    PortView(w_vercheck& window, WindowPort& port) : window_(window), port_(port) {}

    int uf_bar(const OptString& action, std::int64_t data) override {
        return window_.uf_bar(action, data);
    }
    void messageBox(const std::string& title, const std::string& text) override {
        port_.messageBox(title, text);
    }
    int askYesNo(const std::string& title, const std::string& text) override {
        return port_.askYesNo(title, text);
    }
    void processPendingEvents() override { port_.processPendingEvents(); }
    void showServerBusy(bool busy) override {
        port_.setStatusText(busy ? kServerBusyText : kUpgradingText);
        port_.processPendingEvents();
    }

private:
    w_vercheck& window_;
    WindowPort& port_;
};

ExitStatus exitStatusOf(UpdateOutcome outcome) {
    switch (outcome) {
    case UpdateOutcome::Installed:
        return kInstalledStatus;
    case UpdateOutcome::InstalledWithWarning:
        return kInstalledWithWarningStatus;
    case UpdateOutcome::DatabaseUnreachable:
        return kDatabaseUnreachableStatus;
    case UpdateOutcome::Failed:
        break;
    }
    return kUpdateFailedStatus;
}

// The services' process object; none when it cannot be made.
std::unique_ptr<nvo_process> newProcessObject(const w_vercheck::Services& services) {
    try {
        return services.createProcessObject();
    } catch (...) {
        return nullptr;
    }
}

} // namespace

w_vercheck::w_vercheck(const BuildProfile& profile, ApplicationGlobals& app, WindowPort& port)
    : w_vercheck(profile, app, port, systemServices()) {}

w_vercheck::w_vercheck(const BuildProfile& profile, ApplicationGlobals& app, WindowPort& port,
                       Services services)
    : profile_(profile), app_(app), port_(port), services_(std::move(services)),
      dw_1_(std::string(profile.fileTable)) {}

w_vercheck::~w_vercheck() = default;

// ---------------------------------------------------------------------------
// The open handler: the start-up checks, then the connection's fields.

void w_vercheck::refuseStart(const std::string& title, const std::string& text,
                             std::unique_ptr<nvo_process>& process) {
    exitStatus_ = kStartRefusedStatus;
    port_.messageBox(title, text);
    process.reset();
    port_.closeWindow();
}

// Steps that need the process object. False when the start was refused.
bool w_vercheck::runProcessChecks() {
    std::unique_ptr<nvo_process> nvo_p = newProcessObject(services_);
    if (!nvo_p) {
        refuseStart("확인! [01]", kRebootText, nvo_p);
        return false;
    }

    [[maybe_unused]] bool lb_bool = false;
    lb_bool = nvo_p->uf_setcurpid(toProcessId(uf_getstring("/PID=", is_call_)));

    if (anotherUpdaterRuns(*nvo_p)) {
        refuseStart("확인! [02]", kRebootText, nvo_p);
        return false;
    }
    if (!closeClientPrograms(nvo_p)) {
        return false;
    }
    nvo_p.reset();
    return true;
}

// Two updaters started in the same instant would each count the other; the
// lock lets exactly one of them go on. The holder counts itself once, since
// no other updater of this installation gets past the lock while it holds
// it; only where no lock can be made does the count alone decide.
bool w_vercheck::anotherUpdaterRuns(nvo_process& nvo_p) {
    if (services_.lockInstallation) {
        lock_ = services_.lockInstallation(currentFolder());
    }
    const std::int16_t li_cnt = nvo_p.uf_getprocesscount(programFileName("qlx_upt"));
    switch (lock_.state()) {
    case InstallationLock::State::Held:
        return false;
    case InstallationLock::State::Busy:
        return true;
    case InstallationLock::State::Unavailable:
        break;
    }
    return li_cnt > 1;
}

// The client's programs must not run while their files are replaced: the
// user may let the updater end them. False when the start was refused.
bool w_vercheck::closeClientPrograms(std::unique_ptr<nvo_process>& nvo_p) {
    static const char* const clients[] = {"quillon", "quilmsg", "ql_label", "ql_tel"};
    std::int16_t li_cnt = 0;
    for (const char* client : clients) {
        li_cnt =
            static_cast<std::int16_t>(li_cnt + nvo_p->uf_getprocesscount(programFileName(client)));
    }
    if (li_cnt > 0) {
        const int answer = port_.askYesNo(
            "확인!", "현재 Quillon 혹은 연관된 프로그램이 " + std::to_string(li_cnt) +
                         "개 실행중입니다.\r\n모든 프로그램을 종료 후에 "
                         "업데이트를 계속 진행하시겠습니까?");
        if (answer == 2) {
            refuseStart("확인!",
                        "Quillon와 관련된 모든 프로그램을 종료 후\r\n"
                        "다시 시도해 주십시오.",
                        nvo_p);
            return false;
        }
        for (const char* client : clients) {
            li_cnt = static_cast<std::int16_t>(li_cnt -
                                               nvo_p->uf_killprocesscount(programFileName(client)));
        }
    }
    if (li_cnt > 0) {
        refuseStart(std::to_string(li_cnt) + "개 프로그램 종료 실패!!", kRebootText, nvo_p);
        return false;
    }
    return true;
}

void w_vercheck::open() {
    is_call_ = trimBlanks(services_.commandLine());

    if (isBlank(is_call_)) {
        exitStatus_ = kStartRefusedStatus;
        port_.messageBox("확인!", "정상적인 업그레이드 방식이 아닙니다.");
        port_.closeWindow();
        return;
    }

    if (profile_.processControl && !runProcessChecks()) {
        return;
    }

    dw_2_.load(settingsPath());
    port_.setStatusText(kUpgradingText);
    const std::string ls_server = uf_getstring("/SERVER=", is_call_);

    Transaction& sqlca = app_.sqlca();
    if (profile_.fixedDbms.empty()) {
        sqlca.DBMS = uf_get("DataBase-DBMS", "O10 Oracle10g (10.1.0)", "O").value_or(std::string());
    } else {
        sqlca.DBMS = std::string(profile_.fixedDbms);
    }
    sqlca.AutoCommit = false;
    sqlca.DBParm = "CommitOnDisconnect='No'";
    sqlca.ServerName = ls_server;
    sqlca.LogId = "QUIL_UPT";
    sqlca.LogPass = app_.firstPassword();

    port_.postUpgradeClick();
}

// ---------------------------------------------------------------------------
// The hidden buttons.

void w_vercheck::cb_up_clicked() {
    const std::string result = uf_upgrade3(std::string());
    exitStatus_ = exitStatusOf(upgradeOutcome_);
    if (result == "X") {
        port_.messageBox("에러!", "홈페이지에서 직접 업그레이드 하세요.");
        cb_exit1_clicked();
        return;
    }
    cb_exit_clicked();
}

void w_vercheck::cb_exit_clicked() {
    const std::string ls_path = currentFolder();
    const std::string psr = uf_getstring("/PSR=", is_call_);
    // The client is started by its full path as the program itself, and the
    // settings path reaches it as one argument: a blank in either can never
    // make the platform run something else.
    const std::string program = joinPath(ls_path, programFileName("quillon"));
    const std::vector<std::string> arguments =
        isBlank(psr) ? std::vector<std::string>() : std::vector<std::string>{psr};
    services_.startProgram(program, arguments);
    port_.closeWindow();
}

void w_vercheck::cb_exit1_clicked() {
    port_.closeWindow();
}

// ---------------------------------------------------------------------------
// Methods.

std::string w_vercheck::uf_getstring(const OptString& matchstring, const OptString& totalstring) {
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

int w_vercheck::uf_bar(const OptString& action, std::int64_t data) {
    // The window's integer is 16 bits wide; wider values keep their low 16 bits.
    const int value = static_cast<std::int16_t>(data);
    if (action == "BAR") {
        port_.setProgressPosition(value);
    } else if (action == "SET") {
        port_.setStatusTag(std::to_string(value));
        port_.setProgressMaximum(value);
    }
    return 0;
}

std::string w_vercheck::uf_exit(const OptString& /*unused*/) {
    return "O";
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): a sink, see the declaration.
int w_vercheck::uf_filewrite(const std::string& filename, Bytes data) {
    PortView view(*this, port_);
    return PackageWriter([&view] { view.processPendingEvents(); }).write(filename, std::move(data));
}

std::string w_vercheck::uf_path(const std::string& path, const std::string& action) {
    return visitFolder(path, action).folder;
}

std::optional<std::string> w_vercheck::targetFolder(const std::string& path,
                                                    const std::string& action) {
    return qlx::targetFolder(path, action);
}

// ---------------------------------------------------------------------------
// The update methods.

std::string w_vercheck::uf_upgrade3(const OptString& /*data*/) {
    PortView view(*this, port_);
    BuildListUpdate update(
        view, updateDatabase(), dw_1_, std::string(profile_.fileTable), dw_2_, settingsPath(),
        [this] { return failureTimeStamp(); }, app_.packageKeys());
    std::string result = update.run(uf_getstring("/BUILDNO=", is_call_));
    upgradeOutcome_ = update.outcome();
    return result;
}

std::string w_vercheck::uf_upgrade2(const OptString& /*data*/) {
    PortView view(*this, port_);
    return SinglePackageUpdate(view, updateDatabase(), app_.packageKeys())
        .run(uf_getstring("/ID=", is_call_), uf_getstring("/FILE=", is_call_));
}

std::string w_vercheck::uf_upgrade(const OptString& /*data*/) {
    PortView view(*this, port_);
    return FtpUpdate(view, services_.ftpServer, app_.packageKeys())
        .run(uf_getstring("/FILE=", is_call_));
}

// ---------------------------------------------------------------------------
// Shared by the update methods.

UpdateDatabase w_vercheck::updateDatabase() {
    // Only the current updater knows the second password.
    return {app_.sqlca(),
            profile_.secondPassword ? OptString(app_.secondPassword()) : std::nullopt};
}

std::int64_t w_vercheck::failureTimeStamp() const {
    using namespace std::chrono;
    const LocalTime now = services_.now();
    const sys_days date{year{now.year} / month{static_cast<unsigned>(now.month)} /
                        day{static_cast<unsigned>(now.day)}};
    const sys_days epoch{year{2010} / January / 1};
    const std::int64_t days = (date - epoch).count();
    return days * 24 * 60 + std::int64_t{now.hour} * 60 + now.minute;
}

std::string w_vercheck::settingsPath() const {
    // The file start-up loaded the settings from is the one they go back to.
    const std::string psr = uf_getstring("/PSR=", is_call_);
    return isBlank(psr) ? std::string("quil.psr") : psr;
}

} // namespace qlx
