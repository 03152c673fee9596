// Dialog templates: ids, classes, captions, styles and places in dialog units, as the Windows
// build's resource script holds them (both are made from Dialogs.inc).
#include "platform/Dialog.h"

namespace {
// One template per DIALOG ... END_DIALOG of the list.
// clang-format off
#define CLASS_NAME(name) name
#define NO_CLASS nullptr
#define CAPTION_TEXT(text) text
#define NO_CAPTION ""
#define DIALOG(id_, x, y, cx, cy, style_, exStyle_, class_, caption, points, font_)            \
  DialogTemplate{.id = id_, .place = {x, y, cx, cy}, .style = style_, .exStyle = exStyle_,   \
                 .className = class_, .title = caption, .pointSize = points, .font = font_,   \
                 .items = {
#define ITEM(id, class_, text, style, x, y, cx, cy) {id, class_, text, style, {x, y, cx, cy}},
#define END_DIALOG }},
// clang-format on

const DialogTemplate kTemplates[] = {
#include "Dialogs.inc"
};
}  // namespace

namespace res {
const DialogTemplate* FindDialogTemplate(UINT id) {
  for (const DialogTemplate& tpl : kTemplates) {
    if (tpl.id == id) return &tpl;
  }
  return nullptr;
}
}  // namespace res
