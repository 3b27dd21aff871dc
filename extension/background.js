// Quorvanta browser extension: two context-menu entries whose clicks go, one native message each,
// to the host program "quorvanta-host", which hands them to the Quorvanta program; and a
// long-lived link through the same host over which the program's movie finder asks for the
// browser's windows, the movies of a page and cached copies. The same file runs as Chromium's
// service worker and as Firefox's background script.

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

// The link: a long-lived connection through the host to the running program, which asks for the
// browser's windows, the movies of a tab's page and copies of cached movies. The host keeps
// trying to reach the program; the port is opened again whenever it closes.

const PIECE = 512 * 1024;
let link = null;

// Runs in the page: every OBJECT, APPLET and EMBED element (the Flash emulator's replacements
// included) with its attributes, <param> values and outer HTML.
function scanPage() {
  const elements = [];
  for (const e of document.querySelectorAll("object, applet, embed, ruffle-object, ruffle-embed")) {
    const params = {};
    for (const p of e.querySelectorAll(":scope > param")) {
      const name = p.getAttribute("name");
      if (name) params[name] = p.getAttribute("value") ?? "";
    }
    elements.push({
      tag: e.tagName,
      movie: e.getAttribute("movie") ?? "",
      src: e.getAttribute("src") ?? "",
      data: e.getAttribute("data") ?? "",
      params,
      html: e.outerHTML,
    });
  }
  return { url: location.href, elements };
}

// Runs in the page: the browser's cached copy of url, never a new request; pieces of base64.
async function cachedCopy(url, pieceSize) {
  let response;
  try {
    response = await fetch(url, { cache: "only-if-cached", mode: "same-origin" });
  } catch (e) {
    return { found: false };
  }
  if (!response.ok) return { found: false };
  const bytes = new Uint8Array(await response.arrayBuffer());
  const pieces = [];
  for (let at = 0; at < bytes.length; at += pieceSize) {
    const piece = bytes.subarray(at, Math.min(at + pieceSize, bytes.length));
    let text = "";
    for (let i = 0; i < piece.length; i += 0x8000)
      text += String.fromCharCode.apply(null, piece.subarray(i, i + 0x8000));
    pieces.push(btoa(text));
  }
  return { found: true, pieces };
}

async function inTab(tab, func, args) {
  const [result] = await api.scripting.executeScript({ target: { tabId: tab }, func, args });
  return result?.result;
}

async function answerQuestion(port, q) {
  try {
    if (q.op === "windows") {
      const windows = await api.windows.getAll({ populate: true, windowTypes: ["normal"] });
      const list = [];
      for (const w of windows) {
        const tab = (w.tabs || []).find((t) => t.active);
        if (tab) list.push({ id: w.id, tab: tab.id, title: tab.title || "", url: tab.url || "" });
      }
      port.postMessage({ id: q.id, windows: list });
    } else if (q.op === "scan") {
      const page = await inTab(q.tab, scanPage, []);
      port.postMessage({ id: q.id, url: page?.url ?? "", elements: page?.elements ?? [] });
    } else if (q.op === "cache") {
      const copy = await inTab(q.tab, cachedCopy, [q.url, PIECE]);
      if (copy?.found) for (const piece of copy.pieces) port.postMessage({ id: q.id, piece });
      port.postMessage({ id: q.id, done: true, found: !!copy?.found });
    } else {
      port.postMessage({ id: q.id, error: "unknown question " + q.op });
    }
  } catch (e) {
    port.postMessage({ id: q.id, error: (e && e.message) || String(e) });
  }
}

function openLink() {
  let port;
  try {
    port = api.runtime.connectNative(HOST);
  } catch (e) {
    setTimeout(openLink, 5000);
    return;
  }
  link = port;
  port.onMessage.addListener((q) => {
    if (q && typeof q.id === "number" && q.op) answerQuestion(port, q);
  });
  port.onDisconnect.addListener(() => {
    if (link === port) link = null;
    setTimeout(openLink, 2000);
  });
  port.postMessage({ command: "link" });
}

openLink();
