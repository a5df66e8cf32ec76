// Small helpers for drawing into the page's nodes.

// A node's text, replaced only when it differs: a replaced text lays its line out again.
export function setText(node, text) {
  if (node.textContent !== text) {
    node.textContent = text;
  }
}

// Whether `value` differs from what `node` last drew under `name` (kept as JSON in a data
// attribute), remembering it when it does: drawing is skipped for what did not change, since each
// drawing lays its part out again.
export function drawsAnew(node, name, value) {
  const signature = JSON.stringify(value);
  if (node.dataset[name] === signature) {
    return false;
  }
  node.dataset[name] = signature;
  return true;
}
