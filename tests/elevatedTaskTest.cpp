#include "manager/install/elevatedTask.h"

#include "installFixture.h"

using namespace pluginManager;
using namespace installTests;

namespace
{
const std::string noElevation = "This system has no way of asking for administrator rights.";
using ElevatedTaskTest = InstallFixture;
}

TEST_F(ElevatedTaskTest, CopiesCountAsArrivedOnlyWhereTheDestinationMirrorsTheSource)
{
    root.write("a/Foo.vst3/.hidden", "h");
    root.write("a/Foo.vst3/x", "x");
    root.write("mirror/Foo.vst3/.hidden", "h");
    root.write("mirror/Foo.vst3/x", "x");
    root.write("partial/Foo.vst3/x", "x");
    std::vector<bool> arrived;
    std::string error = "untouched";

    EXPECT_TRUE(ElevatedTask::copyIntoMany({{root.file("a"), root.file("mirror")}, {root.file("a"), root.file("mirror")}},
                                           arrived, error));
    EXPECT_EQ(arrived, (std::vector<bool>{true, true}));
    EXPECT_EQ(error, "untouched");

    EXPECT_FALSE(ElevatedTask::copyIntoMany(
        {{root.file("a"), root.file("mirror")}, {root.file("a"), root.file("partial")}}, arrived, error));
    EXPECT_EQ(arrived, (std::vector<bool>{true, false})) << "a hidden file counts too";
    EXPECT_EQ(error, noElevation);

    // One job is one elevated copy, even when it is already in place.
    EXPECT_FALSE(ElevatedTask::copyIntoMany({{root.file("a"), root.file("mirror")}}, arrived, error));
    EXPECT_EQ(arrived, std::vector<bool>{false});
    EXPECT_TRUE(leftInTemp().empty()) << "job files are removed";
}
