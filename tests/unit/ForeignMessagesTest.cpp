#include <gtest/gtest.h>

#include "platform/ForeignMessages.h"
#include "platform/WinUser.h"

namespace {

using ui::IsAcceptedForeignMessage;

TEST(ForeignMessagesTest, PlainValueMessagesAreAccepted) {
  for (UINT message :
       {WM_NULL, WM_CLOSE, WM_QUIT, WM_COPYDATA, WM_USER, WM_USER + 1, 2030u, 0xFFFFFFFFu})
    EXPECT_TRUE(IsAcceptedForeignMessage(message, 0x1234)) << message;
  for (WPARAM command : {SC_MINIMIZE, SC_RESTORE, SC_CLOSE, SC_CLOSE | 2})
    EXPECT_TRUE(IsAcceptedForeignMessage(WM_SYSCOMMAND, command)) << command;
}

TEST(ForeignMessagesTest, MessagesWhoseParametersArePointersOrHandlesAreDropped) {
  for (UINT message : {WM_CREATE, WM_DESTROY, WM_SETTEXT, WM_PAINT, WM_ERASEBKGND, WM_DRAWITEM,
                       WM_QUERYDRAGICON, WM_WINDOWPOSCHANGED, WM_SETICON, WM_NCDESTROY, WM_COMMAND,
                       WM_TIMER, WM_INITDIALOG, WM_LBUTTONDOWN, WM_USER - 1})
    EXPECT_FALSE(IsAcceptedForeignMessage(message, 1)) << message;
  for (WPARAM command : {0xF010u, 0xF030u, 0xF100u, 0u})  // move, maximise, key menu, none
    EXPECT_FALSE(IsAcceptedForeignMessage(WM_SYSCOMMAND, command)) << command;
}

}  // namespace
