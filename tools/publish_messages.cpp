#include "tools/publish_messages.h"

#include <cstdio>

namespace qlx::publish {

void err(const std::string& text) {
    std::fprintf(stderr, "qlx_publish: %s\n", text.c_str());
}

void warn(const std::string& text) {
    err("warning: " + text);
}

int usageError(const std::string& text) {
    err(text);
    std::fprintf(stderr, "Try 'qlx_publish --help' for more information.\n");
    return kUsage;
}

} // namespace qlx::publish
