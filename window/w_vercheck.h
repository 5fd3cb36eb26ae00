#pragma once

#include "base/bytes.h"
#include "base/optional_string.h"
#include "db/repository.h"
#include "platform/installation_lock.h"
#include "platform/local_time.h"
#include "settings/settings_table.h"
#include "update/build_list_update.h"
#include "window/exit_status.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qlx {

class ApplicationGlobals;
struct BuildProfile;
class nvo_process;
class UpdateDatabase;
class WindowPort;

// The updater window's behaviour: its instance state, its methods and its
// handlers. It draws nothing; everything it shows goes through the port, so
// all of it runs without a display. The update methods themselves are the
// core's own classes; the window's methods hand them what they work with.
class w_vercheck {
public:
    // What the window reaches outside itself; tests replace single parts.
    struct Services {
        // The process's argument text.
        std::function<std::string()> commandLine;
        // Creates the process object for the start-up checks; may throw or
        // return null when it cannot.
        std::function<std::unique_ptr<nvo_process>()> createProcessObject;
        // Starts `program` with `arguments` (each handed over as one argument,
        // never split or run through a shell) without waiting; false when it
        // could not be started.
        std::function<bool(const std::string& program, const std::vector<std::string>& arguments)>
            startProgram;
        // The local date and time.
        std::function<LocalTime()> now;
        // The update FTP server, "a.b.c.d[:port]".
        std::string ftpServer;
        // Takes the lock that only one updater of the installation `folder`
        // holds at a time, for as long as the object lives: Held, Busy when
        // another holds it, Unavailable when no lock could be made there.
        std::function<InstallationLock(const std::string& folder)> lockInstallation;
    };

    // The platform's services.
    [[nodiscard]] static Services systemServices();

    w_vercheck(const BuildProfile& profile, ApplicationGlobals& app, WindowPort& port);
    w_vercheck(const BuildProfile& profile, ApplicationGlobals& app, WindowPort& port,
               Services services);
    ~w_vercheck();
    w_vercheck(const w_vercheck&) = delete;
    w_vercheck& operator=(const w_vercheck&) = delete;

    // --- handlers -----------------------------------------------------------
    // The open handler, run once before the window is first shown.
    void open();
    void cb_up_clicked();
    void cb_exit_clicked();
    void cb_exit1_clicked();

    // What the run tells its starter: set by every way the run ends.
    [[nodiscard]] ExitStatus exitStatus() const { return exitStatus_; }

    // --- instance state -----------------------------------------------------
    // The command-line text, trimmed; written once by open().
    [[nodiscard]] const std::string& is_call() const { return is_call_; }
    // The hidden data tables: the settings, and the file list.
    [[nodiscard]] SettingsTable& dw_2() { return dw_2_; }
    [[nodiscard]] w_filelist& dw_1() { return dw_1_; }

    // --- methods ------------------------------------------------------------
    [[nodiscard]] static std::string uf_getstring(const OptString& matchstring,
                                                  const OptString& totalstring);
    [[nodiscard]] static OptString uf_setstring(const OptString& matchstring,
                                                const OptString& totalstring,
                                                const OptString& setstring);

    [[nodiscard]] OptString uf_get(const OptString& code, const OptString& default_,
                                   const OptString& flag) const;
    OptString uf_set(const OptString& code, const OptString& data, const OptString& flag);

    // Progress: "BAR" sets the position of hpb_1, "SET" the tag of st_1 and the
    // maximum of hpb_1; anything else does nothing. `data` is cut to 16 bits,
    // as the window's own integer is. Always 0.
    int uf_bar(const OptString& action, std::int64_t data);
    // Always "O".
    [[nodiscard]] static std::string uf_exit(const OptString& unused);

    // Writes a package in 32765-byte chunks, letting the window process its
    // events between chunks: 1, or -1 when the file cannot be opened or written.
    // Takes the package by value, so that a caller who moves it in has its
    // bytes freed once they are on disk, before the package is unpacked.
    int uf_filewrite(const std::string& filename, Bytes data);
    // Enters `action` (creating it when needed), returns its absolute path and
    // makes `path` current again; the current folder when `action` can be
    // neither entered nor created.
    std::string uf_path(const std::string& path, const std::string& action);
    // uf_path, but nullopt when a non-empty `action` could be neither entered
    // nor created: a package has no place to go then, and the installation
    // folder is not one.
    std::optional<std::string> targetFolder(const std::string& path, const std::string& action);

    // The build-list update: "X" when the database cannot be reached or a
    // package fails, else "O".
    std::string uf_upgrade3(const OptString& data);
    // The single package of "/ID=": "O", "X", or "" when the database holds none.
    std::string uf_upgrade2(const OptString& data);
    // The single package "/FILE=" from the update FTP server: "O" or "X".
    std::string uf_upgrade(const OptString& data);

    [[nodiscard]] const BuildProfile& profile() const { return profile_; }

private:
    // The update database: the connection, and the second password where
    // the profile has one.
    [[nodiscard]] UpdateDatabase updateDatabase();
    // The minutes from 2010-01-01 00:00 to now, local time.
    [[nodiscard]] std::int64_t failureTimeStamp() const;
    // The settings file named by "/PSR=", or "quil.psr" when it names none.
    [[nodiscard]] std::string settingsPath() const;
    void refuseStart(const std::string& title, const std::string& text,
                     std::unique_ptr<nvo_process>& process);
    [[nodiscard]] bool anotherUpdaterRuns(nvo_process& nvo_p);
    bool runProcessChecks();
    bool closeClientPrograms(std::unique_ptr<nvo_process>& nvo_p);

    const BuildProfile& profile_;
    ApplicationGlobals& app_;
    WindowPort& port_;
    Services services_;
    std::string is_call_;
    SettingsTable dw_2_;
    w_filelist dw_1_;
    InstallationLock lock_;
    UpdateOutcome upgradeOutcome_ = UpdateOutcome::Installed;
    ExitStatus exitStatus_ = kInstalledStatus;
};

} // namespace qlx
