#pragma once

#include "app/optional_string.h"
#include "settings/settings_table.h"
#include "update/repository.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace qlx {

struct BuildProfile;
class nvo_process;
class Transaction;
class version_check;
class WindowPort;

// The updater window's behaviour: its instance state, its methods and its
// handlers. It draws nothing; everything it shows goes through the port, so
// all of it runs without a display.
class w_vercheck {
public:
    // What the window reaches outside itself; tests replace single parts.
    struct Services {
        // The process's argument text.
        std::function<QString()> commandLine;
        // Creates the process object for the start-up checks; may throw or
        // return null when it cannot.
        std::function<std::unique_ptr<nvo_process>()> createProcessObject;
        // Starts `program` with `arguments` (each handed over as one argument,
        // never split or run through a shell) without waiting; false when it
        // could not be started.
        std::function<bool(const QString& program, const QStringList& arguments)> startProgram;
        // The local date and time.
        std::function<QDateTime()> now;
        // The update FTP server, "a.b.c.d[:port]".
        QString ftpServer;
    };

    // The platform's services.
    [[nodiscard]] static Services systemServices();

    w_vercheck(const BuildProfile& profile, version_check& app, WindowPort& port);
    w_vercheck(const BuildProfile& profile, version_check& app, WindowPort& port,
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

    // --- instance state -----------------------------------------------------
    // The command-line text, trimmed; written once by open().
    [[nodiscard]] const QString& is_call() const { return is_call_; }
    // The hidden data tables: the settings, and the file list.
    [[nodiscard]] SettingsTable& dw_2() { return dw_2_; }
    [[nodiscard]] w_filelist& dw_1() { return dw_1_; }

    // --- methods ------------------------------------------------------------
    [[nodiscard]] static QString uf_getstring(const OptString& matchstring,
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
    int uf_bar(const OptString& action, qint64 data);
    // Always "O".
    [[nodiscard]] static QString uf_exit(const OptString& unused);

    // Writes a package in 32765-byte chunks, letting the window process its
    // events between chunks: 1, or -1 when the file cannot be opened or written.
    // Takes the package by value, so that a caller who moves it in has its
    // bytes freed once they are on disk, before the package is unpacked.
    int uf_filewrite(const QString& filename, QByteArray data);
    // Enters `action` (creating it when needed), returns its absolute path and
    // makes `path` current again; the current folder when `action` can be
    // neither entered nor created.
    QString uf_path(const QString& path, const QString& action);
    // uf_path, but nullopt when a non-empty `action` could be neither entered
    // nor created: a package has no place to go then, and the installation
    // folder is not one.
    std::optional<QString> targetFolder(const QString& path, const QString& action);

    // The build-list update: "X" when the database cannot be reached, else "O".
    QString uf_upgrade3(const OptString& data);
    // The single package of "/ID=": "O", "X", or "" when the database holds none.
    QString uf_upgrade2(const OptString& data);
    // The single package "/FILE=" from the update FTP server: "O" or "X".
    QString uf_upgrade(const OptString& data);

    [[nodiscard]] const BuildProfile& profile() const { return profile_; }

private:
    // Connects sqlca, once more with the second password where the profile
    // has one. True when the last connect succeeded.
    bool connectUpdateDatabase();
    void showDatabaseError();
    // The minutes from 2010-01-01 00:00 to now, local time.
    [[nodiscard]] qint64 failureTimeStamp() const;
    // The settings file named by "/PSR=", or "quil.psr" when it names none.
    [[nodiscard]] QString settingsPath() const;
    std::pair<QString, bool> enterFolder(const QString& path, const QString& action);
    void refuseStart(const QString& title, const QString& text,
                     std::unique_ptr<nvo_process>& process);
    bool runProcessChecks();

    const BuildProfile& profile_;
    version_check& app_;
    WindowPort& port_;
    Services services_;
    QString is_call_;
    SettingsTable dw_2_;
    w_filelist dw_1_;
};

} // namespace qlx
