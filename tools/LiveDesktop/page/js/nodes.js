// Small helpers for drawing into the page's nodes.

// A node's text, replaced only when it differs: a replaced text lays its line out again.
export function setText(node, text) {
  if (node.textContent !== text) {
    node.textContent = text;
  }
}
