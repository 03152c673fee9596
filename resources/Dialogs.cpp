// Dialog templates: ids, classes, captions, styles and places in dialog units, as a resource
// script holds them.
#include "platform/Dialog.h"

namespace {
// The main launcher dialog.
const DialogTemplate kMainDialog{
    .id = 102,
    .place = {0, 0, 800, 454},
    .style = 0x90000848,    // WS_POPUP | WS_VISIBLE | DS_CENTER | DS_SETFONT | DS_FIXEDSYS
    .exStyle = 0x00040000,  // WS_EX_APPWINDOW
    .className = "DODuzoDizuzide",
    .title = "",
    .pointSize = 9,
    .font = "MS Shell Dlg",
    .items = {
        {1000, "button", "min", 0x50010000, {503, 50, 19, 18}},
        {1001, "button", "close", 0x50010000, {518, 53, 19, 17}},
        {1002, "button", "官方论坛", 0x50010000, {182, 52, 47, 18}},
        {1003, "button", "充值系统", 0x50010000, {246, 52, 47, 18}},
        {1004, "button", "游戏论坛", 0x50010000, {385, 52, 47, 18}},
        {1005, "button", "官方客服", 0x50010000, {447, 52, 47, 18}},
        {1013, "static", "", 0x50000007, {373, 143, 258, 89}},
        {1015, "button", "一键修复", 0x50010000, {541, 342, 50, 14}},
    }};

// The update dialog.
const DialogTemplate kUpgradeDialog{
    .id = 104,
    .place = {0, 0, 533, 422},
    .style = 0x80080848,  // WS_POPUP | WS_SYSMENU | DS_CENTER | DS_SETFONT | DS_FIXEDSYS
    .exStyle = 0,
    .className = nullptr,
    .title = "",
    .pointSize = 8,
    .font = "MS Shell Dlg",
    .items = {
        {1004, "msctls_progress32", "", 0x50000000, {128, 127, 257, 14}},
    }};

// The web pop-up dialog.
const DialogTemplate kHtmlDialog{
    .id = 204,
    .place = {0, 0, 327, 182},
    .style = 0x00C80248,    // WS_CAPTION | WS_SYSMENU | DS_SETFOREGROUND | DS_SETFONT | DS_FIXEDSYS
    .exStyle = 0x00040008,  // WS_EX_APPWINDOW | WS_EX_TOPMOST
    .className = nullptr,
    .title = "Dialog",
    .pointSize = 8,
    .font = "MS Shell Dlg",
    .items = {
        {1019, "static", "html", 0x50020000, {101, 49, 112, 69}},
    }};
}  // namespace

namespace res {
const DialogTemplate* FindDialogTemplate(UINT id) {
  for (const DialogTemplate* tpl : {&kMainDialog, &kUpgradeDialog, &kHtmlDialog}) {
    if (tpl->id == id) return tpl;
  }
  return nullptr;
}
}  // namespace res
