// The window's single-package update, which no control starts, on the
// command line's argument string in the current folder; prints its result,
// how many boxes it showed and what Vexa_Unzip answers for that folder.
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
    const std::string result = port.closed ? "closed" : window.uf_upgrade2(std::string());
    std::printf("%s %zu %ld\n", result.c_str(), port.boxes.size(),
                qlx::vexa_unzip("absent.zip", qlx::currentFolder()));
}
