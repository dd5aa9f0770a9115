// Every API header compiles on its own terms, and an object that is many
// handlers at once has one reference count.
#include <gtest/gtest.h>

#include "cef/include/cef_app.h"
#include "cef/include/cef_browser.h"
#include "cef/include/cef_callback.h"
#include "cef/include/cef_client.h"
#include "cef/include/cef_command_line.h"
#include "cef/include/cef_cookie.h"
#include "cef/include/cef_frame.h"
#include "cef/include/cef_process_message.h"
#include "cef/include/cef_request_context.h"
#include "cef/include/cef_task.h"
#include "cef/include/cef_values.h"

namespace {

int g_destroyed = 0;

class AllHandlers : public CefClient,
                    public CefContextMenuHandler,
                    public CefDisplayHandler,
                    public CefDragHandler,
                    public CefGeolocationHandler,
                    public CefKeyboardHandler,
                    public CefLifeSpanHandler,
                    public CefLoadHandler,
                    public CefRenderHandler,
                    public CefRequestHandler,
                    public CefJSDialogHandler {
 public:
  ~AllHandlers() override { ++g_destroyed; }
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  bool GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    rect = CefRect(0, 0, 10, 10);
    return true;
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList&, const void*, int,
               int) override {}

  IMPLEMENT_REFCOUNTING(AllHandlers);
};

TEST(ApiHeadersTest, OneCountForAllInterfaces) {
  g_destroyed = 0;
  {
    CefRefPtr<AllHandlers> object = new AllHandlers();
    EXPECT_TRUE(object->HasOneRef());
    CefRefPtr<CefClient> as_client = object.get();
    CefRefPtr<CefRenderHandler> as_render = as_client->GetRenderHandler();
    CefRefPtr<CefLoadHandler> as_load = as_client->GetLoadHandler();
    EXPECT_FALSE(object->HasOneRef());
    CefRect rect;
    EXPECT_TRUE(as_render->GetViewRect(nullptr, rect));
    EXPECT_EQ(rect.width, 10);
    EXPECT_EQ(as_client->GetDisplayHandler(), nullptr);
  }
  EXPECT_EQ(g_destroyed, 1);
}

TEST(ApiHeadersTest, RefPtrAssignmentAndMove) {
  g_destroyed = 0;
  CefRefPtr<AllHandlers> a = new AllHandlers();
  CefRefPtr<AllHandlers> b = a;
  b = b;  // self-assignment keeps the object
  EXPECT_FALSE(a->HasOneRef());
  CefRefPtr<AllHandlers> c = std::move(b);
  EXPECT_EQ(b.get(), nullptr);
  a = nullptr;
  EXPECT_TRUE(c->HasOneRef());
  EXPECT_EQ(g_destroyed, 0);
  c = nullptr;
  EXPECT_EQ(g_destroyed, 1);
}

}  // namespace
