// The script the engine runs at the start of every document of a browser
// (every frame). It reports what the protocol has no events for: title
// changes and the cursor under the mouse; and it makes <select> lists draw
// inside the page, where the screencast sees them and clicks reach them.
//
// Reports arrive as Runtime.bindingCalled with name kPageAgentBinding and a
// JSON payload: {"t":"title","v":text} or {"t":"cursor","v":css keyword}.
// A document reports its cursor only when it changes; the pointer reaches
// a document's iframes without the document seeing it leave, so the engine
// runs kPageAgentCursorReset in the document that reported last when
// another one reports.
#ifndef CEF_ENGINE_PAGE_AGENT_H_
#define CEF_ENGINE_PAGE_AGENT_H_

namespace cef_engine {

inline constexpr char kPageAgentBinding[] = "__vemoEngineAgent";
inline constexpr char kPageAgentCursorReset[] =
    "dispatchEvent(new Event('__vemoEngineAgent.cursorReset'))";

// The script's source (idempotent: running it twice in a document installs
// it once).
const char* PageAgentScript();

}  // namespace cef_engine

#endif  // CEF_ENGINE_PAGE_AGENT_H_
