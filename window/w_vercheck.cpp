#include "window/w_vercheck.h"

#include "app/argument_string.h"
#include "app/process_command_line.h"
#include "window/window_port.h"

namespace qlx {

w_vercheck::w_vercheck(const BuildProfile& profile, version_check& app, WindowPort& port)
    : profile_(profile), app_(app), port_(port), commandLineSource_(&processCommandLineText) {}

void w_vercheck::setCommandLineSource(std::function<QString()> source) {
    commandLineSource_ = std::move(source);
}

void w_vercheck::open() { is_call_ = trimBlanks(commandLineSource_()); }

QString w_vercheck::uf_getstring(const OptString& matchstring, const OptString& totalstring) {
    return qlx::uf_getstring(matchstring, totalstring);
}

OptString w_vercheck::uf_setstring(const OptString& matchstring, const OptString& totalstring,
                                   const OptString& setstring) {
    return qlx::uf_setstring(matchstring, totalstring, setstring);
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

QString w_vercheck::uf_exit(const OptString& /*unused*/) { return QStringLiteral("O"); }

} // namespace qlx
