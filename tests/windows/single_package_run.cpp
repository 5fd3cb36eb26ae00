// The window's single-package update, which no control starts, run on the
// argument string of the command line in the current folder with the
// platform's services. Prints its result and each box, then what the 8-bit
// Vexa_Unzip answers for the same folder.
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "package/vexa_unzip.h"
#include "platform/files.h"
#include "support/scripted_port.h"
#include "window/w_vercheck.h"

#include <cstdio>
#include <string>

int main() {
    qlx::version_check app;
    app.create();
    qlx::test::ScriptedPort port;
    qlx::w_vercheck window(qlx::currentProfile(), app, port);
    window.open();
    std::printf("%s\n", port.closed ? "closed" : window.uf_upgrade2(std::string()).c_str());
    for (const qlx::test::ScriptedPort::Box& box : port.boxes) {
        std::printf("%s: %s\n", box.title.c_str(), box.text.c_str());
    }
    std::printf("%ld\n", qlx::vexa_unzip("absent.zip", qlx::currentFolder()));
}
