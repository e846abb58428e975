#include "manager/install/elevatedTask.h"

#include "installFixture.h"

using namespace pluginManager;
using namespace installTests;

using ElevatedTaskTest = InstallFixture;

TEST_F(ElevatedTaskTest, CopiesCountAsArrivedOnlyWhereTheDestinationMirrorsTheSource)
{
    for (const auto* file : {"a/Foo.vst3/.hidden", "a/Foo.vst3/x", "mirror/Foo.vst3/.hidden", "mirror/Foo.vst3/x",
                             "partial/Foo.vst3/x"})
        root.write(file, "same");
    const ElevatedTask::Job mirrored{root.file("a"), root.file("mirror")};
    std::vector<bool> arrived;

    EXPECT_TRUE(ElevatedTask::copyIntoMany({mirrored, mirrored}, arrived, message));
    EXPECT_EQ(arrived, (std::vector<bool>{true, true}));
    EXPECT_EQ(message, "");
    EXPECT_FALSE(ElevatedTask::copyIntoMany({mirrored, {root.file("a"), root.file("partial")}}, arrived, message));
    EXPECT_EQ(arrived, (std::vector<bool>{true, false})) << "a hidden file counts too";
    EXPECT_EQ(message, "This system has no way of asking for administrator rights.");
    // One job is one elevated copy, even when it is already in place.
    EXPECT_FALSE(ElevatedTask::copyIntoMany({mirrored}, arrived, message));
    EXPECT_EQ(arrived, std::vector<bool>{false});
    EXPECT_TRUE(leftInTemp().empty()) << "job files are removed";
}
