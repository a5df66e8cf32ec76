// The simulated screen drawn from the desktop's JSON: the menu bar, the windows front to back,
// Quenfold's settings window with its controls, and the Dock. Elements are kept from one
// drawing to the next (keyed by what they show), so that hover and focus survive a redraw.

import { applicationIcon, dockItemIcon, tileColour } from "./icons.js";
import { drawsAnew, setText } from "./nodes.js";

export const kScreenWidth = 1440;
export const kScreenHeight = 900;
const kTitleBarHeight = 28;

const kMenus = {
  Safari: ["File", "Edit", "View", "History", "Bookmarks", "Window", "Help"],
  TextEdit: ["File", "Edit", "Format", "View", "Window", "Help"],
  Quenfold: ["File", "Edit", "Window", "Help"],
  Dock: [],
};
const kDefaultMenus = ["File", "Edit", "View", "Window", "Help"];

const kCheckMark =
  '<svg viewBox="0 0 10 10" width="10" height="10" aria-hidden="true"><path d="M2 5.3 4.1 7.4 8.2 2.8" fill="none" stroke="#fff" stroke-width="1.7" stroke-linecap="round" stroke-linejoin="round"/></svg>';

function element(tag, className, attributes = {}) {
  const made = document.createElement(tag);
  if (className) {
    made.className = className;
  }
  for (const [name, value] of Object.entries(attributes)) {
    made.setAttribute(name, value);
  }
  return made;
}

// A button or check box the user clicks on the screen: a span with its role, focusable. A button
// element would be restyled as the mouse goes up from it (its :active state ends), and the browser
// draws a frame for that at once: the release's answer would then wait for the frame after.
function clickable(className, role) {
  return element("span", className, { role, tabindex: "0" });
}

function place(node, x, y, w, h) {
  node.style.left = `${x}px`;
  node.style.top = `${y}px`;
  node.style.width = `${w}px`;
  node.style.height = `${h}px`;
}

// Keys for a list whose entries may repeat: the entry's own key and how often it came before.
function occurrenceKeys(entries, keyOf) {
  const seen = new Map();
  return entries.map((entry) => {
    const base = keyOf(entry);
    const count = seen.get(base) || 0;
    seen.set(base, count + 1);
    return `${base}\u0001${count}`;
  });
}

// Puts one element per entry into `container`, in the entries' order (or, not `ordered`, new ones
// after those there already), reusing the element of the same key from before and removing those
// of entries that are gone.
function reconcile(container, entries, keys, create, update, { ordered = true } = {}) {
  const before = new Map();
  for (const child of container.children) {
    before.set(child.dataset.key, child);
  }
  entries.forEach((entry, index) => {
    let node = before.get(keys[index]);
    if (node) {
      before.delete(keys[index]);
    } else {
      node = create(entry);
      node.dataset.key = keys[index];
    }
    update(node, entry, index);
    if (!node.parentNode) {
      container.append(node);
    }
    if (ordered && container.children[index] !== node) {
      container.insertBefore(node, container.children[index] || null);
    }
  });
  for (const gone of before.values()) {
    gone.remove();
  }
}

function isBrowser(application) {
  return /safari|chrome|firefox|browser|web/i.test(application);
}

function documentBody(title) {
  const body = element("div", "window-body document");
  // A page of text whose lines vary with the title, so that two documents do not look alike.
  let seed = 0;
  for (const character of title) {
    seed = (seed * 31 + character.codePointAt(0)) >>> 0;
  }
  const heading = element("div", "document-line heading");
  heading.style.width = `${38 + (seed % 20)}%`;
  body.append(heading);
  for (let line = 0; line < 22; ++line) {
    seed = (seed * 1103515245 + 12345) >>> 0;
    if (line % 6 === 5) {
      body.append(element("div", "document-gap"));
      continue;
    }
    const row = element("div", "document-line");
    row.style.width = line % 6 === 4 ? `${30 + (seed % 35)}%` : `${86 + (seed % 14)}%`;
    body.append(row);
  }
  return body;
}

function browserBody(title) {
  const body = element("div", "window-body");
  const toolbar = element("div", "browser-toolbar", { "aria-hidden": "true" });
  toolbar.innerHTML =
    '<svg viewBox="0 0 30 14" width="30" height="14"><path d="M6 2 1.5 7 6 12M24 2l4.5 5L24 12" fill="none" stroke="currentColor" stroke-width="1.6" stroke-linecap="round" stroke-linejoin="round"/></svg>';
  const address = element("div", "browser-address");
  address.textContent = title;
  toolbar.append(address);
  const page = element("div", "start-page", { "aria-hidden": "true" });
  const heading = element("h4");
  heading.textContent = "Favourites";
  const grid = element("div", "favourites");
  for (const name of ["Apple", "Wikipedia", "Maps", "News", "Weather", "Music", "Photos", "Books"]) {
    const favourite = element("div", "favourite");
    const tile = element("div", "favourite-tile");
    const [top, bottom] = tileColour(name);
    tile.style.background = `linear-gradient(${top}, ${bottom})`;
    tile.textContent = name[0];
    const label = element("span");
    label.textContent = name;
    favourite.append(tile, label);
    grid.append(favourite);
  }
  page.append(heading, grid);
  body.append(toolbar, page);
  return body;
}

// The close and minimise buttons are the window's own (AXCloseButton, AXMinimizeButton): a click
// on one reaches it through the hand like any click; the page only draws them.
function trafficLights() {
  const lights = element("div", "traffic-lights");
  lights.append(
    element("span", "traffic-light close", { role: "button", "aria-label": "Close" }),
    element("span", "traffic-light minimize", { role: "button", "aria-label": "Minimise" }),
    element("span", "traffic-light zoom disabled"),
  );
  return lights;
}

const kTitleBarButtons = ["AXCloseButton", "AXMinimizeButton"];

// A window's elements below its title bar (the title bar's buttons are drawn by trafficLights).
function contentElements(entry) {
  return (entry.elements || []).filter((item) => !kTitleBarButtons.includes(item.subrole));
}

// Another application's window drawn from its accessibility elements (System Preferences'
// panes). The page only draws them: a click on one reaches it through the hand, as any click.
function elementView(item, windowEntry) {
  const role = item.role.replace(/^AX/, "").toLowerCase();
  const node = element("div", `ax-element ax-${role}`);
  place(node, item.x - windowEntry.x, item.y - windowEntry.y, item.w, item.h);
  if (item.role === "AXCheckBox") {
    const box = element("span", "checkbox", { role: "checkbox" });
    const mark = element("span", "checkbox-box");
    mark.innerHTML = kCheckMark;
    const label = element("span");
    label.textContent = item.title || "";
    box.append(mark, label);
    node.append(box);
  } else if (item.role === "AXButton") {
    const button = element("span", "push-button", { role: "button" });
    button.textContent = item.title || "";
    node.append(button);
  } else if (item.role === "AXStaticText") {
    node.textContent = item.title || "";
  }
  return node;
}

// The elements are made again only when their layout changes; their states change in place.
function elementsLayer(layer, windowEntry) {
  const items = contentElements(windowEntry);
  const layout = items.map((item) => [item.role, item.title, item.x, item.y, item.w, item.h]);
  if (drawsAnew(layer, "layout", layout)) {
    layer.replaceChildren(...items.map((item) => elementView(item, windowEntry)));
  }
  items.forEach((item, index) => {
    const node = layer.children[index];
    node.classList.toggle("selected", item.selected);
    node.classList.toggle("disabled", !item.enabled);
    const box = node.querySelector(".checkbox");
    if (box) {
      box.setAttribute("aria-checked", String(item.value === 1));
    }
  });
}

function createWindow(entry, isSettings) {
  const node = element("div", "window", { tabindex: "0", role: "group" });
  const titleBar = element("div", "titlebar");
  const title = element("span", "titlebar-title");
  titleBar.append(trafficLights(), title);
  node.append(titleBar);
  if (isSettings) {
    node.classList.add("settings");
    node.append(element("div", "window-body settings-body"));
  } else if (contentElements(entry).length > 0) {
    node.append(element("div", "window-body"), element("div", "ax-layer"));
  } else {
    node.append(isBrowser(entry.application) ? browserBody(entry.title) : documentBody(entry.title));
  }
  return node;
}

function settingsView(view) {
  const holder = element("div", `settings-view settings-${view.kind}`);
  place(holder, view.x, view.y, view.w, view.h);
  if (view.kind === "text") {
    if (view.identifier === "status") {
      holder.setAttribute("role", "status");
    }
  } else if (view.kind === "switch") {
    const box = clickable("checkbox", "checkbox");
    box.dataset.control = "switch";
    if (view.key) {
      box.dataset.preference = view.key;
    }
    const mark = element("span", "checkbox-box");
    mark.innerHTML = kCheckMark;
    const label = element("span");
    label.textContent = view.text;
    box.append(mark, label);
    holder.append(box);
  } else {
    const button = clickable("push-button", "button");
    button.dataset.control = "action";
    if (view.action) {
      button.dataset.action = view.action;
    }
    button.textContent = view.text;
    holder.append(button);
  }
  return holder;
}

// The window's views are made again only when the interface changes; the switches' states and
// the texts are brought up to date in place, so that focus stays where it was.
function settingsControls(body, settings) {
  const views = settings.views || [];
  const layout = views.map((view) => [view.kind, view.key, view.action,
    view.kind === "text" ? "" : view.text, view.x, view.y, view.w, view.h]);
  if (drawsAnew(body, "layout", layout)) {
    body.replaceChildren(...views.map(settingsView));
  }
  views.forEach((view, index) => {
    const holder = body.children[index];
    if (view.kind === "text") {
      setText(holder, view.text);
      holder.style.color = view.color || "";
    } else if (view.kind === "switch") {
      const checked = view.key ? Boolean(settings.controls[view.key]) : false;
      holder.firstElementChild.setAttribute("aria-checked", String(checked));
    }
  });
}

export class Screen {
  constructor(root) {
    this.root = root;
    this.frame = null;
    this.windowsLayer = root.querySelector("#windows");
    this.dock = root.querySelector("#dock");
    this.shelf = root.querySelector("#dock-shelf");
    this.menus = root.querySelector("#dock-menus");
    this.menubarApp = root.querySelector("#menubar-app");
    this.menubarMenus = root.querySelector("#menubar-menus");
    this.clock = root.querySelector("#menubar-clock");
    this.switcher = element("div", "switcher", { role: "listbox", "aria-label": "Applications" });
    this.switcher.hidden = true;
    root.append(this.switcher);
    this.clockFormat = new Intl.DateTimeFormat(undefined, {
      weekday: "short",
      day: "numeric",
      month: "short",
      hour: "2-digit",
      minute: "2-digit",
    });
  }

  // Where the screen is in the browser's window changes only when the window's size does:
  // `moved` forgets it. Asking for it at every pointer event would lay out the page each time.
  moved() {
    this.frame = null;
  }

  // A point of the screen from a point of the browser's window, kept on the screen.
  pointAt(clientX, clientY) {
    if (!this.frame) {
      this.frame = this.root.getBoundingClientRect();
    }
    const frame = this.frame;
    const x = ((clientX - frame.left) * kScreenWidth) / frame.width;
    const y = ((clientY - frame.top) * kScreenHeight) / frame.height;
    return {
      x: Math.round(Math.min(kScreenWidth, Math.max(0, x))),
      y: Math.round(Math.min(kScreenHeight, Math.max(0, y))),
    };
  }

  render(desktop) {
    const active = desktop.applications.find((application) => application.active);
    this.renderMenuBar(active);
    this.renderWindows(desktop, active);
    this.renderDock(desktop.dock);
    this.renderSwitcher(desktop.switcher);
    this.renderMenus(desktop.menus || []);
  }

  // The application switcher, on screen while Command is held after Command-Tab.
  renderSwitcher(switcher) {
    this.switcher.hidden = !switcher;
    if (!switcher) {
      return;
    }
    reconcile(
      this.switcher,
      switcher.applications,
      switcher.applications.map((application) => String(application.pid)),
      (application) => {
        const node = element("div", "switcher-item", { role: "option" });
        node.innerHTML = applicationIcon(application.name);
        const name = element("span");
        name.textContent = application.name;
        node.append(name);
        return node;
      },
      (node, application) => {
        const chosen = application.pid === switcher.chosen;
        node.classList.toggle("chosen", chosen);
        node.setAttribute("aria-selected", String(chosen));
      },
    );
  }

  tick() {
    setText(this.clock, this.clockFormat.format(new Date()).replace(",", ""));
  }

  renderMenuBar(active) {
    const name = active ? active.name : "";
    if (this.menubarApp.textContent !== name) {
      this.menubarApp.textContent = name;
      this.menubarMenus.replaceChildren(
        ...(kMenus[name] || kDefaultMenus).map((menu) => {
          const item = element("span");
          item.textContent = menu;
          return item;
        }),
      );
    }
    this.tick();
  }

  // Every window has its element, hidden while it is off screen, so that a show or a hide
  // touches only the windows that change; a window whose entry is as it was is left alone.
  renderWindows(desktop, active) {
    const quenfold = desktop.quenfold;
    const settings = quenfold.settings;
    const isSettings = (entry) =>
      quenfold.pid !== null && entry.pid === quenfold.pid && entry.title === settings.title;
    const windows = desktop.windows;
    const keyWindow = active
      ? windows.find((entry) => entry.onScreen && entry.pid === active.pid)
      : undefined;
    const keys = occurrenceKeys(windows, (entry) => `${entry.pid}\u0000${entry.title}`);
    reconcile(
      this.windowsLayer,
      windows,
      keys,
      (entry) => createWindow(entry, isSettings(entry)),
      (node, entry, index) => {
        // An activation restacks the windows: only their z-index and key state change then.
        const zIndex = String(windows.length - index);
        if (node.style.zIndex !== zIndex) {
          node.style.zIndex = zIndex;
        }
        node.classList.toggle("key", entry === keyWindow);
        if (!drawsAnew(node, "drawn", [entry, isSettings(entry) ? settings : null])) {
          return;
        }
        node.hidden = !entry.onScreen;
        place(node, entry.x, entry.y, entry.w, entry.h);
        node.dataset.application = entry.application;
        node.dataset.frame = JSON.stringify([entry.x, entry.y, entry.w, entry.h]);
        node.dataset.title = entry.title;
        node.setAttribute("aria-label", `${entry.title}, a window of ${entry.application}`);
        setText(node.querySelector(".titlebar-title"), entry.title);
        if (node.classList.contains("settings")) {
          settingsControls(node.querySelector(".settings-body"), settings);
        }
        const layer = node.querySelector(".ax-layer");
        if (layer) {
          elementsLayer(layer, entry);
        }
      },
      // The stacking is the z-index's: a window's element moved in the document would be laid
      // out and painted again whole, with all it shows.
      { ordered: false },
    );
  }

  renderDock(items) {
    if (items.length === 0) {
      this.shelf.hidden = true;
    } else {
      const left = Math.min(...items.map((item) => item.x));
      const right = Math.max(...items.map((item) => item.x + item.w));
      const top = Math.min(...items.map((item) => item.y));
      const bottom = Math.max(...items.map((item) => item.y + item.h));
      this.shelf.hidden = false;
      place(this.shelf, left - 6, top - 4, right - left + 12, bottom - top + 6);
    }
    reconcile(
      this.dock,
      items,
      occurrenceKeys(items, (item) => `${item.subrole}\u0000${item.title}`),
      () => {
        const node = clickable("dock-item", "button");
        node.append(
          element("span", "dock-icon"),
          element("span", "dock-running"),
          element("span", "dock-label", { "aria-hidden": "true" }),
        );
        return node;
      },
      (node, item, index) => {
        if (!drawsAnew(node, "item", [item, index])) {
          return;
        }
        const title = item.title ?? "";
        place(node, item.x, item.y, item.w, item.h);
        node.dataset.frame = JSON.stringify([item.x, item.y, item.w, item.h]);
        node.dataset.index = String(index);
        node.dataset.title = title;
        node.dataset.subrole = item.subrole ?? "";
        if (drawsAnew(node, "drawn", [item.subrole, title])) {
          node.querySelector(".dock-icon").innerHTML = dockItemIcon(item);
          node.querySelector(".dock-label").textContent = title;
        }
        node.classList.toggle("running", Boolean(item.running));
        node.classList.toggle("launching", Boolean(item.launching));
        const kind =
          item.subrole === "AXFolderDockItem"
            ? "folder"
            : item.subrole === "AXURLDockItem"
              ? "link"
              : item.launching
                ? "starting"
                : item.running
                  ? "running"
                  : "";
        const separator = item.subrole === "AXSeparatorDockItem";
        node.classList.toggle("separator", separator);
        node.setAttribute("aria-label", separator ? "Separator" : kind ? `${title}, ${kind}` : title);
      },
    );
  }

  // The Dock's menus as the session lays them out; the mouse reaches them as it reaches
  // everything on the screen, so choosing an item is a press and a release over it.
  renderMenus(menus) {
    reconcile(
      this.menus,
      menus,
      menus.map((menu, index) => String(index)),
      () => element("div", "dock-menu", { role: "menu" }),
      (node, menu) => {
        place(node, menu.x, menu.y, menu.w, menu.h);
        if (!drawsAnew(node, "drawn", menu)) {
          return;
        }
        node.replaceChildren(
          ...menu.items.map((item) => {
            const row = element("div", "dock-menu-item", {
              role: item.separator ? "separator" : "menuitem",
            });
            place(row, item.x - menu.x, item.y - menu.y, item.w, item.h);
            row.classList.toggle("separator", item.separator);
            row.classList.toggle("marked", item.marked);
            row.textContent = item.title;
            row.dataset.title = item.title;
            row.dataset.frame = JSON.stringify([item.x, item.y, item.w, item.h]);
            return row;
          }),
        );
      },
    );
  }

  // Where the keyboard clicks a window (the middle of its title bar) or a Dock item (its
  // middle).
  static clickPointOf(node) {
    const [x, y, w, h] = JSON.parse(node.dataset.frame);
    const inTitleBar = node.classList.contains("window");
    return {
      x: Math.round(x + w / 2),
      y: Math.round(inTitleBar ? y + kTitleBarHeight / 2 : y + h / 2),
    };
  }
}
