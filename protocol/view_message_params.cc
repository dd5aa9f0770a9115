#include "protocol/view_message_params.h"

namespace IPC {

void ParamTraits<TileRect>::Write(Message* m, const TileRect& p) {
  WriteParam(m, p.x);
  WriteParam(m, p.y);
  WriteParam(m, p.width);
  WriteParam(m, p.height);
}

bool ParamTraits<TileRect>::Read(const Message* m, void** iter, TileRect* r) {
  return ReadParam(m, iter, &r->x) && ReadParam(m, iter, &r->y) &&
         ReadParam(m, iter, &r->width) && ReadParam(m, iter, &r->height);
}

void ParamTraits<ViewMsg_Tile_Params>::Write(Message* m, const ViewMsg_Tile_Params& p) {
  WriteParam(m, p.tiles);
}

bool ParamTraits<ViewMsg_Tile_Params>::Read(const Message* m, void** iter,
                                            ViewMsg_Tile_Params* r) {
  return ReadParam(m, iter, &r->tiles);
}

void ParamTraits<ViewHostMsg_OnJavascriptCallback_Params>::Write(
    Message* m, const ViewHostMsg_OnJavascriptCallback_Params& p) {
  WriteParam(m, p.function_name);
  WriteParam(m, p.argument);
  WriteParam(m, p.channel_name);
}

bool ParamTraits<ViewHostMsg_OnJavascriptCallback_Params>::Read(
    const Message* m, void** iter, ViewHostMsg_OnJavascriptCallback_Params* r) {
  return ReadParam(m, iter, &r->function_name) && ReadParam(m, iter, &r->argument) &&
         ReadParam(m, iter, &r->channel_name);
}

void ParamTraits<ViewHostMsg_OnJavascriptCallback_ReturnVal>::Write(
    Message* m, const ViewHostMsg_OnJavascriptCallback_ReturnVal& p) {
  using ReturnVal = ViewHostMsg_OnJavascriptCallback_ReturnVal;
  WriteParam(m, p.type);
  switch (p.type) {
    case ReturnVal::TYPE_STRING:
      WriteParam(m, p.string_value);
      break;
    case ReturnVal::TYPE_BOOL:
      WriteParam(m, p.bool_value);
      break;
    case ReturnVal::TYPE_INT:
      WriteParam(m, p.int_value);
      break;
    case ReturnVal::TYPE_DOUBLE:
      WriteParam(m, p.double_value);
      break;
    default:
      break;
  }
}

bool ParamTraits<ViewHostMsg_OnJavascriptCallback_ReturnVal>::Read(
    const Message* m, void** iter, ViewHostMsg_OnJavascriptCallback_ReturnVal* r) {
  using ReturnVal = ViewHostMsg_OnJavascriptCallback_ReturnVal;
  if (!ReadParam(m, iter, &r->type)) return false;
  switch (r->type) {
    case ReturnVal::TYPE_STRING:
      return ReadParam(m, iter, &r->string_value);
    case ReturnVal::TYPE_BOOL:
      return ReadParam(m, iter, &r->bool_value);
    case ReturnVal::TYPE_INT:
      return ReadParam(m, iter, &r->int_value);
    case ReturnVal::TYPE_DOUBLE:
      return ReadParam(m, iter, &r->double_value);
    default:
      return true;
  }
}

}  // namespace IPC
