#pragma once

#include "app/optional_string.h"

#include <QString>

#include <functional>

namespace qlx {

struct BuildProfile;
class version_check;
class WindowPort;

// The updater window's behaviour: its instance state, its methods and its
// handlers. It draws nothing; everything it shows goes through the port, so
// all of it runs without a display.
class w_vercheck {
public:
    w_vercheck(const BuildProfile& profile, version_check& app, WindowPort& port);

    // The window's open handler, run once before the window is first shown.
    void open();

    // The command-line text, trimmed; written once by open().
    [[nodiscard]] const QString& is_call() const { return is_call_; }

    [[nodiscard]] static QString uf_getstring(const OptString& matchstring,
                                              const OptString& totalstring);
    [[nodiscard]] static OptString uf_setstring(const OptString& matchstring,
                                                const OptString& totalstring,
                                                const OptString& setstring);

    // Progress: "BAR" sets the position of hpb_1, "SET" the tag of st_1 and the
    // maximum of hpb_1; anything else does nothing. `data` is cut to 16 bits,
    // as the window's own integer is. Always 0.
    int uf_bar(const OptString& action, qint64 data);
    // Always "O".
    [[nodiscard]] static QString uf_exit(const OptString& unused);

    [[nodiscard]] const BuildProfile& profile() const { return profile_; }

    // Where open() takes the command-line text from; the process's own by default.
    void setCommandLineSource(std::function<QString()> source);

private:
    const BuildProfile& profile_;
    version_check& app_;
    WindowPort& port_;
    std::function<QString()> commandLineSource_;
    QString is_call_;
};

} // namespace qlx
