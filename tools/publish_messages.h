#pragma once

#include <string>

namespace qlx::publish {

// The publisher's exit statuses besides 0, success.
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

// Writes `text` to the standard error, after the program's name.
void err(const std::string& text);
void warn(const std::string& text);

// Reports a wrong command line and returns kUsage.
int usageError(const std::string& text);

} // namespace qlx::publish
