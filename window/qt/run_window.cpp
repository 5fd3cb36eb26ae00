#include "window/run_window.h"

#include "window/qt/unexpected_error_box.h"
#include "window/qt/vercheck_window.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>

#include <array>
#include <memory>

namespace qlx {

namespace {

// Qt would load plugins from folders beside the executable, which sits in the
// client's installation folder where users may write, and from wherever the
// environment points; only Qt's own installed plugins are loaded. Qt's folder
// is taken before the application object exists and Qt reads a qt.conf beside
// the executable; that file still redirects the search while the object is built.
QString restrictPluginSearch() {
    qunsetenv("QT_QPA_PLATFORM_PLUGIN_PATH");
    QString qtsOwn = QLibraryInfo::path(QLibraryInfo::PluginsPath);
    // Building the application object adds the executable's folder to the
    // search, before any plugin is looked for, and then drops the folders that
    // were searched before but are no longer asked for. Naming the executable's
    // folder in that first search makes it one of those.
    qputenv("QT_PLUGIN_PATH",
            QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath()));
    QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({qtsOwn});
    qunsetenv("QT_PLUGIN_PATH");
    return qtsOwn;
}

} // namespace

int runUpdaterWindow(int argc, char** argv, const BuildProfile& profile, ApplicationGlobals& app) {
    const QString pluginFolder = restrictPluginSearch();
    // Qt takes options such as -platformpluginpath from the arguments it gets,
    // so it gets only the program name; the updater reads its arguments itself.
    static char fallbackName[] = "qlx_upt";
    int qtArgc = 1;
    std::array<char*, 2> qtArgv{argc > 0 ? argv[0] : fallbackName, nullptr};
    QApplication application(qtArgc, qtArgv.data());
    // Should a later Qt keep the executable's folder, the plugins loaded from
    // here on (styles, image formats, database drivers) still come from Qt's own.
    QCoreApplication::setLibraryPaths({pluginFolder});

    auto window = std::make_unique<VercheckWindow>(profile, app);
    runEventEntry(window.get(), [&] { window->openWindow(); });

    int status = 0;
    if (unexpectedErrorOccurred()) {
        status = kUnexpectedErrorStatus;
    } else if (!window->isClosedByHandler()) {
        status = application.exec();
    }
    return status == 0 ? window->logic().exitStatus() : status;
}

} // namespace qlx
