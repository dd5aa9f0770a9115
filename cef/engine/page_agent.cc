#include "cef/engine/page_agent.h"

namespace cef_engine {

const char* PageAgentScript() {
  return R"JS((function () {
  'use strict';
  const name = '__vemoEngineAgent';
  const send = globalThis[name];
  if (typeof send !== 'function') return;
  try { delete globalThis[name]; } catch (e) {}
  const post = (type, value) => { try { send(JSON.stringify({t: type, v: value})); } catch (e) {} };

  let lastTitle = null;
  const reportTitle = () => {
    const title = document.title;
    if (title !== lastTitle) { lastTitle = title; post('title', title); }
  };
  new MutationObserver(reportTitle).observe(document,
      {subtree: true, childList: true, characterData: true});
  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', reportTitle);
  } else {
    reportTitle();
  }

  const editable = 'textarea, input:not([type=button]):not([type=submit]):not([type=reset])' +
      ':not([type=checkbox]):not([type=radio]):not([type=range]):not([type=color])' +
      ':not([type=file]):not([type=image])';
  const overText = (x, y) => {
    const at = document.caretRangeFromPoint ? document.caretRangeFromPoint(x, y) : null;
    if (!at || at.startContainer.nodeType !== Node.TEXT_NODE) return false;
    const node = at.startContainer;
    const range = document.createRange();
    range.setStart(node, Math.max(0, at.startOffset - 1));
    range.setEnd(node, Math.min(node.length, at.startOffset + 1));
    for (const r of range.getClientRects()) {
      if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) return true;
    }
    return false;
  };
  const cursorAt = (e) => {
    const el = e.target;
    if (!(el instanceof Element)) return 'default';
    let cursor = getComputedStyle(el).cursor || 'auto';
    if (cursor.includes(',')) cursor = cursor.split(',').pop().trim();
    if (cursor !== 'auto') return cursor;
    if (el.isContentEditable || el.matches(editable)) return 'text';
    return overText(e.clientX, e.clientY) ? 'text' : 'default';
  };
  let lastCursor = '';
  addEventListener('mousemove', (e) => {
    const cursor = cursorAt(e);
    if (cursor !== lastCursor) { lastCursor = cursor; post('cursor', cursor); }
  }, {capture: true, passive: true});
  // Another document (an iframe's) reported since: the next move here
  // reports again, even an unchanged cursor.
  addEventListener(name + '.cursorReset', () => { lastCursor = ''; });

  try {
    const sheet = new CSSStyleSheet();
    sheet.replaceSync('select, ::picker(select) { appearance: base-select; }');
    document.adoptedStyleSheets = [...document.adoptedStyleSheets, sheet];
  } catch (e) {}
})();
)JS";
}

}  // namespace cef_engine
