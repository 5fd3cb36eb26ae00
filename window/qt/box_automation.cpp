#include "window/qt/box_automation.h"

#include <QAbstractButton>
#include <QFile>
#include <QPushButton>
#include <QTimer>

namespace qlx {

namespace {

QString escaped(QString text) {
    return text.replace(u'\\', QLatin1String("\\\\"))
        .replace(u'\r', QLatin1String("\\r"))
        .replace(u'\n', QLatin1String("\\n"))
        .replace(u'\t', QLatin1String("\\t"));
}

QString nextAnswer() {
    static int used = 0;
    const QStringList answers =
        QString::fromLocal8Bit(qgetenv("QLX_BOX_ANSWERS")).split(u',', Qt::SkipEmptyParts);
    return used < answers.size() ? answers.at(used++).trimmed().toLower() : QString();
}

void log(const QString& path, const QMessageBox& box) {
    QStringList names;
    const auto standard = box.standardButtons();
    if (standard.testFlag(QMessageBox::Ok)) {
        names << QStringLiteral("Ok");
    }
    if (standard.testFlag(QMessageBox::Yes)) {
        names << QStringLiteral("Yes");
    }
    if (standard.testFlag(QMessageBox::No)) {
        names << QStringLiteral("No");
    }
    QFile file(path);
    if (file.open(QIODevice::Append)) {
        file.write((escaped(box.windowTitle()) + u'\t' + escaped(box.text()) + u'\t' +
                    names.join(u',') + u'\n')
                       .toUtf8());
    }
}

} // namespace

int execBox(QMessageBox& box) {
    const QString logPath = QString::fromLocal8Bit(qgetenv("QLX_BOX_LOG"));
    if (logPath.isEmpty()) {
        return box.exec();
    }
    log(logPath, box);
    const QString answer = nextAnswer();
    QTimer::singleShot(0, &box, [&box, answer] {
        QAbstractButton* button = nullptr;
        if (answer == QLatin1String("yes")) {
            button = box.button(QMessageBox::Yes);
        } else if (answer == QLatin1String("no")) {
            button = box.button(QMessageBox::No);
        } else if (answer == QLatin1String("escape")) {
            button = box.escapeButton();
        } else if (answer == QLatin1String("ok")) {
            button = box.button(QMessageBox::Ok);
        }
        if (button == nullptr) {
            button = box.defaultButton();
        }
        if (button == nullptr) {
            button = box.buttons().value(0);
        }
        if (button != nullptr) {
            button->click();
        }
    });
    return box.exec();
}

} // namespace qlx
