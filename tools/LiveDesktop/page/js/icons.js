// Icons of Dock items and applications, drawn as SVG on a 64-point grid: a few applications of
// the demo have their own, every other application a tile in a colour of its own with its
// initial, and folders, links, documents and the trash look as they do in a Dock.

let nextId = 0;
const uniqueId = (name) => `${name}-${++nextId}`;

const kTiles = [
  ["#ffb340", "#ff7a00"],
  ["#4cd964", "#179c3c"],
  ["#6ad0ff", "#0a7aff"],
  ["#d08bff", "#8f3bdc"],
  ["#ff6482", "#d5204d"],
  ["#ffe066", "#f2a600"],
  ["#7d7aff", "#3f3cbf"],
  ["#a5a5ad", "#5c5c63"],
  ["#5be0e6", "#0e93a8"],
];

function hashOf(text) {
  let hash = 2166136261;
  for (const character of text) {
    hash = Math.imul(hash ^ character.codePointAt(0), 16777619);
  }
  return hash >>> 0;
}

function escapeXml(text) {
  return text.replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

function svg(body) {
  return `<svg viewBox="0 0 64 64" aria-hidden="true" focusable="false">${body}</svg>`;
}

function squircle(fill, extra = "") {
  return `<rect x="4" y="4" width="56" height="56" rx="12.5" fill="${fill}" ${extra}/>`;
}

function gradient(id, top, bottom) {
  return `<linearGradient id="${id}" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="${top}"/><stop offset="1" stop-color="${bottom}"/></linearGradient>`;
}

// A tile with the application's initial, its colour chosen by its name.
function lettered(name) {
  const [top, bottom] = kTiles[hashOf(name) % kTiles.length];
  const id = uniqueId("tile");
  const initial = escapeXml((Array.from(name.trim())[0] || "?").toUpperCase());
  return svg(
    `<defs>${gradient(id, top, bottom)}</defs>${squircle(`url(#${id})`)}` +
      `<rect x="4" y="4" width="56" height="28" rx="12.5" fill="#fff" opacity=".10"/>` +
      `<text x="32" y="43" text-anchor="middle" font-family="Inter Variable, Helvetica, Arial, sans-serif" font-size="30" font-weight="640" fill="#fff">${initial}</text>`,
  );
}

function compass() {
  const face = uniqueId("face");
  const ticks = Array.from({ length: 36 }, (_, i) => {
    const angle = (i * Math.PI) / 18;
    const inner = i % 3 === 0 ? 17.5 : 19.5;
    const x1 = 32 + Math.cos(angle) * inner;
    const y1 = 32 + Math.sin(angle) * inner;
    const x2 = 32 + Math.cos(angle) * 21.5;
    const y2 = 32 + Math.sin(angle) * 21.5;
    return `<line x1="${x1.toFixed(2)}" y1="${y1.toFixed(2)}" x2="${x2.toFixed(2)}" y2="${y2.toFixed(2)}"/>`;
  }).join("");
  return svg(
    `<defs><radialGradient id="${face}" cx=".5" cy=".35" r=".7"><stop offset="0" stop-color="#7fdcff"/><stop offset=".55" stop-color="#1e8cff"/><stop offset="1" stop-color="#0b4fd6"/></radialGradient></defs>` +
      squircle("#fbfbfd", 'stroke="#d8d8de" stroke-width=".6"') +
      `<circle cx="32" cy="32" r="23.5" fill="url(#${face})"/>` +
      `<g stroke="#fff" stroke-width=".9" opacity=".85">${ticks}</g>` +
      `<path d="M32 32 44.5 19.5 35 35z" fill="#ff3b30"/><path d="M32 32 19.5 44.5 29 29z" fill="#f2f2f7"/>` +
      `<path d="M35 35 32 32 44.5 19.5z" fill="#c81e15"/><path d="M29 29 32 32 19.5 44.5z" fill="#c7c7cc"/>`,
  );
}

function paperAndPen() {
  const back = uniqueId("desk");
  const lines = [22, 27, 32, 37, 42]
    .map((y, i) => `<rect x="17" y="${y}" width="${i === 4 ? 16 : 26}" height="2" rx="1" fill="#c5c5cc"/>`)
    .join("");
  return svg(
    `<defs>${gradient(back, "#f2f2f5", "#d6d6dc")}</defs>` +
      squircle(`url(#${back})`) +
      `<rect x="12" y="10" width="38" height="46" rx="3" fill="#fff" stroke="#d0d0d6" stroke-width=".6"/>` +
      `<rect x="17" y="15" width="18" height="3" rx="1.5" fill="#8e8e96"/>` +
      lines +
      `<g transform="rotate(40 40 38)"><rect x="37" y="14" width="6.5" height="30" rx="2.2" fill="#2c2c30"/><rect x="37" y="20" width="6.5" height="3" fill="#c9a24a"/><path d="M37 44h6.5l-3.25 7z" fill="#c9a24a"/></g>`,
  );
}

function folder(title) {
  // A Downloads folder carries its arrow, as the Dock draws it.
  const glyph = /download/i.test(title)
    ? `<path d="M32 29.5v13M26.5 37.5l5.5 5.5 5.5-5.5" stroke="#2f86dc" stroke-width="2.4" fill="none" stroke-linecap="round" stroke-linejoin="round" opacity=".75"/>`
    : "";
  const back = uniqueId("folder-back");
  const front = uniqueId("folder-front");
  return svg(
    `<defs>${gradient(back, "#5aaef2", "#3a8fe0")}${gradient(front, "#8fd0ff", "#62b6f7")}</defs>` +
      `<path d="M7 16a4 4 0 0 1 4-4h13.5a4 4 0 0 1 3 1.3l2.8 3H53a4 4 0 0 1 4 4V50a4 4 0 0 1-4 4H11a4 4 0 0 1-4-4z" fill="url(#${back})"/>` +
      `<rect x="7" y="22" width="50" height="32" rx="4" fill="url(#${front})"/>` +
      `<rect x="7" y="22" width="50" height="1.2" fill="#fff" opacity=".55"/>` +
      glyph,
  );
}

function link() {
  const back = uniqueId("link");
  return svg(
    `<defs>${gradient(back, "#ffffff", "#e4e6ee")}</defs>` +
      squircle(`url(#${back})`, 'stroke="#cfd1da" stroke-width=".6"') +
      `<g fill="none" stroke="#2f7cf6" stroke-width="2.4"><circle cx="32" cy="32" r="16"/>` +
      `<ellipse cx="32" cy="32" rx="7" ry="16"/><path d="M16.5 27h31M16.5 37h31"/></g>`,
  );
}

function documentPage() {
  return svg(
    `<path d="M15 6h24l12 12v38a2 2 0 0 1-2 2H15a2 2 0 0 1-2-2V8a2 2 0 0 1 2-2z" fill="#fff" stroke="#c9c9cf" stroke-width=".8"/>` +
      `<path d="M39 6v10a2 2 0 0 0 2 2h10" fill="#e8e8ee" stroke="#c9c9cf" stroke-width=".8"/>` +
      [26, 32, 38, 44].map((y) => `<rect x="20" y="${y}" width="24" height="2" rx="1" fill="#d0d0d6"/>`).join(""),
  );
}

function trash() {
  const can = uniqueId("trash");
  return svg(
    `<defs>${gradient(can, "rgba(255,255,255,.85)", "rgba(220,222,230,.75)")}</defs>` +
      `<path d="M14 14h36l-3.5 40a4 4 0 0 1-4 3.6H21.5a4 4 0 0 1-4-3.6z" fill="url(#${can})" stroke="rgba(0,0,0,.18)" stroke-width=".8"/>` +
      `<ellipse cx="32" cy="14" rx="18" ry="3.2" fill="#f4f4f7" stroke="rgba(0,0,0,.18)" stroke-width=".8"/>` +
      `<g stroke="rgba(0,0,0,.12)" stroke-width="1.2">${[22, 27, 32, 37, 42].map((x) => `<path d="M${x} 20l${(x - 32) * 0.08} 32"/>`).join("")}</g>`,
  );
}

// Finder's two-tone face: light on the left, blue on the right, split by a profile line.
function finderFace() {
  const light = uniqueId("finderLight");
  const blue = uniqueId("finderBlue");
  return svg(
    `<defs>${gradient(light, "#f5f8fc", "#d8e4f2")}${gradient(blue, "#4fb3ff", "#1a6fe0")}</defs>` +
      squircle(`url(#${blue})`) +
      `<path d="M16.5 4H33c-3 9-5 17-5.2 27H33c-.6 9-.2 19 1 29H16.5A12.5 12.5 0 0 1 4 47.5v-31A12.5 12.5 0 0 1 16.5 4z" fill="url(#${light})"/>` +
      `<g stroke="#1d2a3a" stroke-width="3" stroke-linecap="round" fill="none">` +
      `<path d="M20 21v6M44 21v6"/><path d="M17 42c8 6 22 6 30 0"/></g>`,
  );
}

const kApplicationArt = {
  Finder: finderFace,
  Safari: compass,
  TextEdit: paperAndPen,
};

// An application's icon by its name.
export function applicationIcon(name) {
  if (name === "Quenfold") {
    return svg(`<use href="#quenfold-icon"/>`);
  }
  const art = kApplicationArt[name];
  return art ? art() : lettered(name || "?");
}

// A minimised window in the Dock: a small picture of a window with its title bar.
function minimizedWindow() {
  return svg(
    '<rect x="6" y="12" width="52" height="40" rx="4" fill="#fff" stroke="#9a9a9a"/>' +
      '<path d="M6 16a4 4 0 0 1 4-4h44a4 4 0 0 1 4 4v4H6Z" fill="#e4e4e4"/>' +
      '<circle cx="12" cy="16" r="2" fill="#ff5f57"/><circle cx="18" cy="16" r="2" fill="#febc2e"/>' +
      '<path d="M14 29h36M14 35h30M14 41h33" stroke="#c8c8c8" stroke-width="2.5"/>',
  );
}

// A Dock item's icon by its subrole and title.
export function dockItemIcon(item) {
  switch (item.subrole) {
    case "AXApplicationDockItem":
      return applicationIcon(item.title || "");
    case "AXFolderDockItem":
      return folder(item.title || "");
    case "AXURLDockItem":
      return link();
    case "AXDocumentDockItem":
      return documentPage();
    case "AXTrashDockItem":
      return trash();
    case "AXSeparatorDockItem":
      return "";
    case "AXMinimizedWindowDockItem":
      return minimizedWindow();
    default:
      return lettered(item.title || "?");
  }
}

export function tileColour(name) {
  return kTiles[hashOf(name) % kTiles.length];
}
