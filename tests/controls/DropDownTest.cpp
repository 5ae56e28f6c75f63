// Drop-downs: where the list opens, how it stays inside the window, and what
// releasing inside and outside it does.

#include <gmock/gmock.h>

#include "ControlsFixture.h"
#include "gui/DropDown.h"
#include "plugin/ParameterTable.h"

namespace controlstest {
namespace {

using testing::ElementsAre;

// "Channelise": 17 names, "Off" and the channels 1 to 16.
class DropDowns : public ControlsTest {
protected:
    QX::ALDropDown* dropDown(float x, float y) {
        return add(new QX::ALDropDown(manager.get(), kParamChannelise, x, y, 60, 12));
    }
};

TEST_F(DropDowns, EntriesAreTheParameterValueNames) {
    QX::ALDropDown* d = dropDown(100, 100);
    ASSERT_EQ(d->items.size(), 17u);
    EXPECT_EQ(d->items.front(), "Off");
    EXPECT_EQ(d->items.back(), "16");
}

TEST_F(DropDowns, TheLastValueOpensWithTheLastEntryOverTheControlAndTheListGoingUp) {
    QX::ALDropDown* d = dropDown(100, 100);
    setNative(kParamChannelise, 16);
    manager->MouseDown({130, 106}, 0, 1);
    ASSERT_TRUE(d->IsOpen());
    EXPECT_EQ(d->selected, 16);
    EXPECT_FLOAT_EQ(d->itemHeight, 12);
    EXPECT_FLOAT_EQ(d->listX, 100);
    EXPECT_FLOAT_EQ(d->listY, 100);
    EXPECT_FLOAT_EQ(d->listHeight, 17 * 12);
    EXPECT_FLOAT_EQ(d->listWidth, 60);
    manager->MouseUp({130, 106}, 0);
    EXPECT_FALSE(d->IsOpen());
    EXPECT_FLOAT_EQ(native(kParamChannelise), 16);
}

TEST_F(DropDowns, NearTheWindowEdgesTheListMovesInside) {
    QX::ALDropDown* high = dropDown(100, 400);
    setNative(kParamChannelise, 16);
    manager->MouseDown({130, 406}, 0, 1);
    EXPECT_FLOAT_EQ(high->listY + high->listHeight, 450);
    EXPECT_FLOAT_EQ(high->listLocalY, high->listY);
    manager->MouseUp({130, 406}, 0);

    QX::ALDropDown* low = dropDown(300, 50);
    setNative(kParamChannelise, 0);  // the first entry over the control: list going down
    manager->MouseDown({330, 56}, 0, 1);
    EXPECT_FLOAT_EQ(low->listY, 0);
    manager->MouseUp({330, 56}, 0);
}

TEST_F(DropDowns, DraggingHighlightsAndReleasingInsideChoosesTheEntry) {
    QX::ALDropDown* d = dropDown(100, 100);
    setNative(kParamChannelise, 16);
    manager->MouseDown({130, 106}, 0, 1);
    // Entry 3 ("3") is the fourth from the top: its slot's bottom is at
    // 100 + (16 - 3) * 12.
    manager->MouseDrag({130, 100 + 13 * 12 + 6}, 0);
    EXPECT_EQ(d->selected, 3);
    manager->MouseUp({130, 100 + 13 * 12 + 6}, 0);
    EXPECT_FLOAT_EQ(native(kParamChannelise), 3);
    EXPECT_FALSE(d->IsOpen());
    EXPECT_THAT(host.log, ElementsAre("begin 12", "automate 12", "end 12"));
}

TEST_F(DropDowns, ReleasingOutsideTheListLeavesTheValueAndClosesIt) {
    QX::ALDropDown* d = dropDown(100, 100);
    setNative(kParamChannelise, 5);
    manager->MouseDown({130, 106}, 0, 1);
    manager->MouseDrag({130, 150}, 0);
    manager->MouseDrag({400, 150}, 0);
    manager->MouseUp({400, 150}, 0);
    EXPECT_FLOAT_EQ(native(kParamChannelise), 5);
    EXPECT_FALSE(d->IsOpen());
    EXPECT_THAT(host.log, ElementsAre("begin 12", "end 12"));
}

TEST_F(DropDowns, InsideAMovedGroupTheListKeepsWindowAndLocalPlaces) {
    auto* group = new QX::Group(manager.get());
    manager->root->Add(group);
    auto* d = new QX::ALDropDown(manager.get(), kParamChannelise, 10, 20, 60, 12);
    group->Add(d);
    group->SetPosition(200, 100);
    setNative(kParamChannelise, 10);
    manager->MouseDown({240, 126}, 0, 1);
    ASSERT_TRUE(d->IsOpen());
    EXPECT_FLOAT_EQ(d->listX, 210);
    EXPECT_FLOAT_EQ(d->listY, 120 - 6 * 12);
    EXPECT_FLOAT_EQ(d->listLocalX, 10);
    EXPECT_FLOAT_EQ(d->listLocalY, 20 - 6 * 12);
    manager->MouseUp({240, 126}, 0);
}

TEST_F(DropDowns, AParameterWithoutNamesListsItsWholeValues) {
    auto* d = add(new QX::ALDropDown(manager.get(), kParamSpace, 100, 100, 60, 12));
    ASSERT_EQ(d->items.size(), 21u);
    EXPECT_EQ(d->items[0], "Off");
    EXPECT_EQ(d->items[20], "20");
}

}  // namespace
}  // namespace controlstest
