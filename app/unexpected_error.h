#pragma once

#include <QString>

#include <stdexcept>

namespace qlx {

// The one failure that is not a return value: an outside library or one of its
// entries could not be loaded. It unwinds the calling method and its handler;
// the window's event entry shows it and ends the program.
class UnexpectedError : public std::runtime_error {
public:
    UnexpectedError(QString library, QString reason)
        : std::runtime_error((library + QLatin1String(": ") + reason).toStdString()),
          library_(std::move(library)), reason_(std::move(reason)) {}

    [[nodiscard]] const QString& library() const { return library_; }
    [[nodiscard]] const QString& reason() const { return reason_; }

private:
    QString library_;
    QString reason_;
};

} // namespace qlx
