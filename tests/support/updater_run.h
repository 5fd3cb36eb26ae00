#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qlx::test {

// One run of an updater executable as the client starts it: in an
// installation folder, offscreen, with its boxes answered and logged.
class UpdaterRun {
public:
    struct Box {
        QString title;
        QString text;
        QString buttons;
    };

    UpdaterRun();

    // The installation folder (the updater's current folder).
    [[nodiscard]] QString folder() const { return install_.path(); }
    [[nodiscard]] QString path(const QString& name) const { return install_.filePath(name); }
    // Puts a stand-in client program "quillon" there that records its
    // arguments, one a line, in client-args.txt.
    void installStandInClient();
    // The recorded arguments; null when the client was never started. Waits a
    // little, since the client is started without waiting.
    [[nodiscard]] std::optional<QStringList> clientArguments(int waitMs = 5000) const;

    // Runs `executable` (a file in the build's bin folder) with one argument
    // text, answering the questions with `answers`. The exit code, or -1 when
    // it did not end within `timeoutMs` (it is then killed).
    int run(const QString& executable, const QString& arguments, const QStringList& answers = {},
            const QStringList& environment = {}, int timeoutMs = 120000);

    [[nodiscard]] std::vector<Box> boxes() const;
    // What the last run wrote to its standard error; it is passed on as well.
    [[nodiscard]] const QByteArray& errorOutput() const { return errorOutput_; }

    // Runs the updater through `launcher` (a program and its arguments, such
    // as a tracer), which gets the updater's path and argument after its own.
    void setLauncher(QStringList launcher) { launcher_ = std::move(launcher); }

private:
    QTemporaryDir install_;
    QTemporaryDir private_;
    QStringList launcher_;
    QByteArray errorOutput_;
};

} // namespace qlx::test
