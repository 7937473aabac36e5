"use strict";
// The dispatcher's part of the page: the queue of abnormal situations (open
// first, then newest; paged and filtered by the server), acknowledging one
// with a token, and a meter's situations of the last weeks on a time axis.
// The words of the kinds come with the data (kind_text, kinds); a kind the
// page does not know shows as the server names it.
const TIMELINE_DAYS = 35;
const TOKEN_KEY = "statvtk-token";
let queuePage = 1;

// "2026-12-01 10:00" as people write it: "01.12.2026 10:00".
function periodText(p) {
  if (!p) return "—";
  return p.substring(8, 10) + "." + p.substring(5, 7) + "." + p.substring(0, 4) + (p.length > 10 ? " " + p.substring(11) : "");
}
// The hours since 1970 of a period "YYYY-MM-DD[ HH:MM]" (the instruments' own time, taken as it is).
function hourOf(p) {
  return Date.UTC(+p.substring(0, 4), +p.substring(5, 7) - 1, +p.substring(8, 10), p.length > 10 ? +p.substring(11, 13) : 0) / 3600000;
}
function dayText(hour) { return new Date(hour * 3600000).toISOString().substring(0, 10); }

function queueQuery() {
  const p = new URLSearchParams({ page: queuePage, per: PER });
  if (document.getElementById("sit-open").checked) p.set("open", "1");
  const kind = document.getElementById("sit-kind").value, since = document.getElementById("sit-since").value;
  const q = document.getElementById("search").value.trim();
  if (kind) p.set("kind", kind);
  if (since) p.set("since", since);
  if (q) p.set("q", q);
  return "/api/situations?" + p;
}
// The open ones counted on the tab.
function openCount(n) {
  const b = document.getElementById("view-situations");
  b.replaceChildren("Нештатные ситуации", ...(n ? [el("span", n, "count")] : []));
}
function situationRow(s) {
  const tr = el("tr", null, (s.to === null ? "sit-open" : "sit-closed") + (s.acked_utc ? " acked" : ""));
  tr.dataset.id = s.id; tr.dataset.kind = s.kind;
  tr.appendChild(el("td", s.kind_text || s.kind));
  const meter = el("td", null, "meter");
  if (s.name) {
    const a = el("a", s.name); a.href = "?meter=" + encodeURIComponent(s.name);
    a.onclick = e => { e.preventDefault(); choose({ name: s.name, serial: s.serial }); };
    meter.appendChild(a);
  }
  meter.appendChild(el("span", (s.name ? " № " : "№ ") + s.serial, s.name ? "none" : ""));
  tr.appendChild(meter);
  tr.appendChild(el("td", periodText(s.from)));
  tr.appendChild(el("td", s.to === null ? "продолжается" : periodText(s.to)));
  tr.appendChild(el("td", s.hours, "num"));
  tr.appendChild(el("td", s.source_text || s.source));
  const ack = el("td");
  if (s.acked_utc) ack.appendChild(el("span", "принята " + when(s.acked_utc) + (s.acked_by ? ", " + s.acked_by : ""), "none"));
  else { const b = el("button", "Принять", "ack"); b.onclick = () => acknowledge(s, b); ack.appendChild(b); }
  tr.appendChild(ack);
  return tr;
}
async function queue() {
  const c = await getJson(queueQuery());
  if (c.pages && queuePage > c.pages) { queuePage = c.pages; return queue(); }
  openCount(c.open);
  options(document.getElementById("sit-kind"), c.kinds.map(k => [k.kind, k.text]));
  document.querySelector("#queue tbody").replaceChildren(...(c.rows.length ? c.rows.map(situationRow)
    : [emptyRow(7, "Нештатных ситуаций под такой отбор нет")]));
  const first = (c.page - 1) * c.per;
  document.getElementById("queue-shown").textContent = "показано " + (c.rows.length ? first + 1 : 0) + "–" + (first + c.rows.length) +
    " из " + c.total + "; открытых всего " + c.open;
  pager("queue-pager", c.page, c.pages, n => { queuePage = n; reload(); });
}
// Outside the queue the tab still shows how many are open: one row asked for.
async function openOnly() { openCount((await getJson("/api/situations?per=1&open=1")).open); }

// A POST in a token's name: the browser's own (the page was opened with
// one), else one asked for once and kept for the session.
async function post(url) {
  const send = token => fetch(url, { method: "POST", cache: "no-store", headers: token ? { Authorization: "Bearer " + token } : {} });
  let r = await send(sessionStorage.getItem(TOKEN_KEY));
  if (r.status === 401) {
    const token = (prompt("Токен для изменений (выдаёт statvtk-collect token add ИМЯ):") || "").trim();
    if (token) {
      r = await send(token);
      if (r.ok) sessionStorage.setItem(TOKEN_KEY, token);
    }
  }
  return r;
}
async function acknowledge(s, button) {
  button.disabled = true;
  const out = document.getElementById("queue-result");
  const what = "Ситуация «" + (s.kind_text || s.kind) + "» прибора " + (s.name || s.serial);
  try {
    const r = await post("/api/situations/" + s.id + "/ack");
    let body = {};
    try { body = await r.json(); } catch (_) {}
    out.className = r.ok ? "done" : "fail";
    out.textContent = r.ok ? what + " принята (" + body.acked_by + ")" : what + " не принята: " + (body.error || r.status);
    if (!r.ok) button.disabled = false;
  } catch (e) {
    out.className = "fail"; out.textContent = what + " не принята: нет связи со сборщиком: " + e.message;
    button.disabled = false;
  }
  reload();
}

// A meter's situations of the last weeks: a lane per kind, a bar from the
// first hour to the last (an open one up to now), the weeks marked.
function timeline(list, now) {
  const W = 720, left = 150, lane = 20, top = 6, axis = 18;
  const end = hourOf(now) + 1, start = end - TIMELINE_DAYS * 24, scale = (W - left - 8) / (end - start);
  const x = h => left + (Math.min(Math.max(h, start), end) - start) * scale;
  list = list.filter(s => s.to === null || hourOf(s.to) + 1 > start);
  const lanes = [];
  list.forEach(s => { const k = s.kind_text || s.kind; if (!lanes.includes(k)) lanes.push(k); });
  const H = top + lanes.length * lane + axis;
  const svg = document.createElementNS(SVG, "svg");
  svg.setAttribute("class", "timeline"); svg.setAttribute("width", W); svg.setAttribute("height", H);
  const add = (tag, attrs, text) => {
    const e = document.createElementNS(SVG, tag);
    Object.entries(attrs).forEach(([k, v]) => e.setAttribute(k, v));
    if (text !== undefined) e.textContent = text;
    svg.appendChild(e); return e;
  };
  lanes.forEach((k, i) => {
    add("rect", { x: left, y: top + i * lane + 2, width: W - left - 8, height: lane - 4, class: "lane" });
    add("text", { x: 4, y: top + i * lane + lane / 2 + 4, class: "kind" }, k.length > 24 ? k.substring(0, 23) + "…" : k);
  });
  for (let d = TIMELINE_DAYS; d >= 0; d -= 7) {
    const h = end - d * 24, day = dayText(h - 1);
    add("line", { x1: x(h), x2: x(h), y1: top, y2: H - axis + 3, class: "tick" });
    add("text", { x: x(h), y: H - 4, "text-anchor": d === 0 ? "end" : "middle" }, d === 0 ? "сейчас" : day.substring(8, 10) + "." + day.substring(5, 7));
  }
  add("line", { x1: x(end), x2: x(end), y1: top, y2: H - axis + 3, class: "now" });
  list.forEach(s => {
    const i = lanes.indexOf(s.kind_text || s.kind);
    const from = hourOf(s.from), to = s.to === null ? end : hourOf(s.to) + 1;
    const r = add("rect", { x: x(from), y: top + i * lane + 4, width: Math.max(3, x(to) - x(from)), height: lane - 8,
      class: "sit" + (s.to === null ? " open" : "") + (s.acked_utc ? " acked" : "") });
    r.dataset.id = s.id;
    const title = document.createElementNS(SVG, "title");
    title.textContent = (s.kind_text || s.kind) + ": " + periodText(s.from) + " — " + (s.to === null ? "продолжается" : periodText(s.to)) + ", " + s.hours + " ч";
    r.appendChild(title);
  });
  return svg;
}
// The meter's open situations and its newest others (at most 200), those of
// the last weeks drawn.
async function meterSituations(serial) {
  const place = document.getElementById("detail-situations");
  const c = await getJson("/api/situations?" + new URLSearchParams({ serial, per: 200 }));
  const head = el("div", "Нештатные ситуации за " + TIMELINE_DAYS / 7 + " недель");
  const svg = timeline(c.rows, c.now);
  place.replaceChildren(head, svg.querySelector("rect.sit") ? svg : el("div", "Нештатных ситуаций не было", "none"));
}
