#include "input/VirtualKeyMap.h"
#include "input/ModifierFlags.h"

#include <gtest/gtest.h>

TEST(VirtualKeyMapTest, KeysymsAndQtKeysReachTheStoredCodes)
{
    EXPECT_EQ(VirtualKeyMap::fromKeysym(' '), 49);
    EXPECT_EQ(VirtualKeyMap::fromKeysym('k'), 40);
    EXPECT_EQ(VirtualKeyMap::fromKeysym('K'), 40);
    EXPECT_EQ(VirtualKeyMap::fromKeysym('!'), 18);    // shifted 1
    EXPECT_EQ(VirtualKeyMap::fromKeysym(0xff0d), 36); // Return
    EXPECT_EQ(VirtualKeyMap::fromKeysym(0x10000), std::nullopt);

    EXPECT_EQ(VirtualKeyMap::fromQtKey(Qt::Key_K), 40);
    EXPECT_EQ(VirtualKeyMap::fromQtKey(Qt::Key_Space), 49);
    EXPECT_EQ(VirtualKeyMap::fromQtKey(Qt::Key_Tab), 48);
    EXPECT_EQ(VirtualKeyMap::fromQtKey(Qt::Key_F5), 96);
    EXPECT_EQ(VirtualKeyMap::fromQtKey(Qt::Key_Question), 44);
    EXPECT_EQ(VirtualKeyMap::fromQtKey(Qt::Key_unknown), std::nullopt);
}

TEST(VirtualKeyMapTest, GrabbingUsesTheUnshiftedKeysymAndModifierKeysAreRecognised)
{
    for (quint16 code : {0, 18, 24, 40, 49, 117, 126})
        EXPECT_EQ(VirtualKeyMap::fromKeysym(*VirtualKeyMap::keysym(code)), code);
    EXPECT_EQ(VirtualKeyMap::keysym(18), quint32('1'));
    EXPECT_EQ(VirtualKeyMap::keysym(52), std::nullopt);

    // Named by the Qt key of their unshifted symbol.
    const std::pair<quint16, int> named[] = {{40, Qt::Key_K},         {49, Qt::Key_Space},  {18, Qt::Key_1},
                                             {41, Qt::Key_Semicolon}, {36, Qt::Key_Return}, {96, Qt::Key_F5}};
    for (const auto &[code, key] : named)
        EXPECT_EQ(VirtualKeyMap::qtKey(code), key) << code;
    EXPECT_EQ(VirtualKeyMap::qtKey(52), std::nullopt);

    for (int key : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_CapsLock})
        EXPECT_TRUE(VirtualKeyMap::isModifierKey(*VirtualKeyMap::fromQtKey(key))) << key;
    EXPECT_FALSE(VirtualKeyMap::isModifierKey(40));
}

TEST(ModifierFlagsTest, NamesFollowTheFixedOrderAndFnIsNeverWaitedFor)
{
    namespace Flag = ModifierFlags;
    EXPECT_EQ(Flag::names(786432), u"Ctrl+Alt");
    EXPECT_EQ(Flag::names(Flag::command | Flag::shift | Flag::option | Flag::control), u"Ctrl+Alt+Shift+Super");
    EXPECT_EQ(Flag::names(Flag::function), QString());
    EXPECT_EQ(Flag::withoutFunction(Flag::option | Flag::command | Flag::function), Flag::option | Flag::command);
}
