// Quorvanta browser extension: two context-menu entries whose clicks go, one native message each,
// to the host program "quorvanta-host", which hands them to the Quorvanta program. The same file
// runs as Chromium's service worker and as Firefox's background script.

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "quorvanta";
const DOWNLOAD = "quorvanta-download";
const SEARCH = "quorvanta-search";

async function createMenus() {
  await api.contextMenus.removeAll();
  api.contextMenus.create({
    id: DOWNLOAD,
    title: "Using Quorvanta to download",
    contexts: ["link", "image", "video", "audio"],
  });
  api.contextMenus.create({
    id: SEARCH,
    title: "Using Quorvanta to search",
    contexts: ["page", "frame", "selection", "link"],
  });
}

function oneLine(text) {
  return String(text ?? "").replace(/\s+/g, " ").trim();
}

// The native message of one click: the command word and the URL, info and referrer the program's
// new-job dialog is filled with.
function messageFor(info, tab) {
  if (info.menuItemId === SEARCH) {
    return {
      command: "search",
      url: info.linkUrl || info.frameUrl || info.pageUrl || tab?.url || "",
      info: "",
      ref: "",
    };
  }
  return {
    command: "down",
    url: info.linkUrl || info.srcUrl || "",
    info: oneLine(info.linkText) || oneLine(tab?.title),
    ref: info.pageUrl || tab?.url || "",
  };
}

async function notify(reason) {
  try {
    await api.notifications.create({
      type: "basic",
      iconUrl: api.runtime.getURL("icon48.png"),
      title: "Quorvanta",
      message: "Could not hand this to Quorvanta: " + reason,
    });
  } catch (e) {
    console.error("Quorvanta:", reason, e);
  }
}

// Sends one message to the host; a missing or failing host is told to the user, never dropped.
async function handOff(message) {
  let reason;
  try {
    const answer = await api.runtime.sendNativeMessage(HOST, message);
    if (answer && answer.ok === true) return { ok: true };
    reason = (answer && answer.error) || "the helper program gave no answer";
  } catch (e) {
    reason = (e && e.message) || String(e);
  }
  await notify(reason);
  return { ok: false, error: reason };
}

async function onMenuClicked(info, tab) {
  if (info.menuItemId !== DOWNLOAD && info.menuItemId !== SEARCH) return null;
  return handOff(messageFor(info, tab));
}

api.runtime.onInstalled.addListener(createMenus);
api.runtime.onStartup.addListener(createMenus);
api.contextMenus.onClicked.addListener(onMenuClicked);
// The click handler, reachable for automation (a context-menu click cannot be made headless).
globalThis.quorvantaMenuClicked = onMenuClicked;
