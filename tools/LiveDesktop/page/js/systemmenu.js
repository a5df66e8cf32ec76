// The Apple menu at the menu bar's left ("Log Out…" ends the user's session) and the login
// window while nobody is logged in. They are the system's own, not a window of the session, so
// the page draws them and sends the statements they stand for.

const kSystemPreferences = '"/Applications/System Preferences.app"';

function element(tag, className, attributes = {}) {
  const made = document.createElement(tag);
  made.className = className;
  for (const [name, value] of Object.entries(attributes)) {
    made.setAttribute(name, value);
  }
  return made;
}

export class SystemMenu {
  // `run` sends statements to the session.
  constructor(screenElement, run) {
    this.run = run;
    this.button = screenElement.querySelector("#apple-menu");
    this.menu = element("div", "apple-menu-list", { role: "menu", "aria-label": "Apple" });
    this.menu.dataset.pageUi = "";
    this.menu.hidden = true;
    this.logOut = this.item("Log Out…", () => run("logout"));
    this.menu.append(
      this.item("About This Mac", null),
      element("div", "apple-menu-separator", { role: "separator" }),
      this.item("System Preferences…", () => run(`open ${kSystemPreferences}`)),
      element("div", "apple-menu-separator", { role: "separator" }),
      this.logOut,
    );
    this.loginWindow = element("div", "login-window", { role: "dialog", "aria-label": "Login" });
    this.loginWindow.dataset.pageUi = "";
    this.loginWindow.hidden = true;
    const login = element("button", "button button-primary login-button", { type: "button" });
    login.textContent = "Log In";
    login.addEventListener("click", () => run("login"));
    const user = element("div", "login-user");
    user.textContent = "Nobody is logged in";
    this.loginWindow.append(user, login);
    screenElement.append(this.menu, this.loginWindow);

    this.button.addEventListener("pointerdown", (event) => {
      event.preventDefault();
      this.toggle(this.menu.hidden);
    });
    document.addEventListener("pointerdown", (event) => {
      if (!this.menu.hidden && !event.target.closest("#apple-menu, .apple-menu-list")) {
        this.toggle(false);
      }
    });
    document.addEventListener("keydown", (event) => {
      if (event.key === "Escape" && !this.menu.hidden) this.toggle(false);
    });
  }

  item(title, choose) {
    const node = element("button", "apple-menu-item", { type: "button", role: "menuitem" });
    node.textContent = title;
    node.disabled = !choose;
    if (choose) {
      node.addEventListener("click", () => {
        this.toggle(false);
        choose();
      });
    }
    return node;
  }

  toggle(open) {
    this.menu.hidden = !open;
    this.button.setAttribute("aria-expanded", String(open));
    this.button.classList.toggle("open", open);
  }

  render(desktop) {
    this.logOut.disabled = desktop.loggedOut;
    this.loginWindow.hidden = !desktop.loggedOut;
  }
}
