#include "app/version_check.h"

#include <gtest/gtest.h>

namespace qlx {
namespace {

TEST(VersionCheck, CreateOpensDestroyInOrder) {
    version_check app;
    app.create();
    EXPECT_EQ(app.appName(), "version_check");
    EXPECT_EQ(app.is_uptpw, "KOLVEX4923TRA");
    EXPECT_EQ(app.is_uptpw_new, "MWQRSB7364HUYTNF");
    EXPECT_TRUE(app.sqlca().ServerName.empty());

    int opened = 0;
    app.open("/PID=1;", [&] { ++opened; });
    EXPECT_EQ(opened, 1);
    app.destroy();
}

} // namespace
} // namespace qlx
