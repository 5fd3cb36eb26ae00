// Runs the window's single-package update, which no control of the updater
// starts, as the window would: opened on the argument string (the whole
// command line after the program's name) in the current folder, with the
// platform's services. Prints the result, then each box as "title<TAB>text"
// with its line breaks as "\r\n".
//   qlx_single_package_run.exe /PID=1;/PSR=...;/SERVER=...;/ID=...;/FILE=...;
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "support/scripted_port.h"
#include "window/w_vercheck.h"

#include <cstdio>
#include <string>

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

} // namespace

int main() {
    qlx::version_check app;
    app.create();
    qlx::test::ScriptedPort port;
    std::string result = "<closed>";
    {
        qlx::w_vercheck window(qlx::currentProfile(), app, port);
        window.open();
        if (!port.closed) {
            result = window.uf_upgrade2(std::string());
        }
    }
    app.destroy();
    std::printf("result: %s\n", result.c_str());
    for (const qlx::test::ScriptedPort::Box& box : port.boxes) {
        std::printf("%s\t%s\n", box.title.c_str(), escaped(box.text).c_str());
    }
    return 0;
}
