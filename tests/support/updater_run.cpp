#include "support/updater_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <cstdio>

namespace qlx::test {

namespace {
QString unescape(QString text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\\' && i + 1 < text.size()) {
            const QChar next = text.at(++i);
            out += next == u'r'   ? QChar(u'\r')
                   : next == u'n' ? QChar(u'\n')
                   : next == u't' ? QChar(u'\t')
                                  : next;
        } else {
            out += text.at(i);
        }
    }
    return out;
}
} // namespace

UpdaterRun::UpdaterRun() = default;

void UpdaterRun::installStandInClient() {
    const QString client = path(QStringLiteral("quillon"));
    QFile f(client);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\n"
            "out=\"$(dirname \"$0\")/client-args.txt\"\n"
            ": > \"$out.part\"\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out.part\"; done\n"
            "mv \"$out.part\" \"$out\"\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::optional<QStringList> UpdaterRun::clientArguments(int waitMs) const {
    const QString file = path(QStringLiteral("client-args.txt"));
    for (int waited = 0; !QFile::exists(file) && waited < waitMs; waited += 20) {
        QThread::msleep(20);
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

int UpdaterRun::run(const QString& executable, const QString& arguments, const QStringList& answers,
                    const QStringList& environment, int timeoutMs) {
    QProcess process;
    process.setWorkingDirectory(folder());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QLX_BOX_LOG"), private_.filePath(QStringLiteral("boxes.log")));
    env.insert(QStringLiteral("QLX_BOX_ANSWERS"), answers.join(u','));
    for (const QString& assignment : environment) {
        env.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
    }
    process.setProcessEnvironment(env);
    const QString program =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(executable);
    // The client hands over one argument text; POSIX passes it as one argument.
    QStringList argv = arguments.isEmpty() ? QStringList() : QStringList{arguments};
    if (launcher_.isEmpty()) {
        process.start(program, argv);
    } else {
        process.start(launcher_.front(), launcher_.mid(1) + QStringList{program} + argv);
    }
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    errorOutput_ = process.readAllStandardError();
    std::fwrite(errorOutput_.constData(), 1, static_cast<std::size_t>(errorOutput_.size()), stderr);
    if (!finished) {
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::vector<UpdaterRun::Box> UpdaterRun::boxes() const {
    std::vector<Box> result;
    QFile f(private_.filePath(QStringLiteral("boxes.log")));
    if (!f.open(QIODevice::ReadOnly)) {
        return result;
    }
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'\t');
        result.push_back({unescape(fields.value(0)), unescape(fields.value(1)), fields.value(2)});
    }
    return result;
}

} // namespace qlx::test
