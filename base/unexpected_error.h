#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace qlx {

// The one failure that is not a return value: an outside library or one of its
// entries could not be loaded. It unwinds the calling method and its handler;
// the window's event entry shows it and ends the program.
class UnexpectedError : public std::runtime_error {
public:
    UnexpectedError(std::string library, std::string reason)
        : std::runtime_error(library + ": " + reason), library_(std::move(library)),
          reason_(std::move(reason)) {}

    [[nodiscard]] const std::string& library() const { return library_; }
    [[nodiscard]] const std::string& reason() const { return reason_; }

private:
    std::string library_;
    std::string reason_;
};

} // namespace qlx
