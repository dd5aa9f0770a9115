// The engine tests' executable is also the render child the layer starts
// ("--type=renderer"): main hands such a start to CefExecuteProcess first,
// with an application whose render-process handler reports what it was
// given to the test that launched it (see render_child_reporter.h).
#include <gtest/gtest.h>

#include "cef/include/cef_app.h"
#include "tests/e2e/render_child_reporter.h"

int main(int argc, char** argv) {
  CefMainArgs args(argc, argv);
  CefRefPtr<CefApp> child_app = new vemo_e2e::RenderChildReporterApp();
  int code = CefExecuteProcess(args, child_app, nullptr);
  if (code >= 0) return code;
  child_app = nullptr;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
