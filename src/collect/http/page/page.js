"use strict";
const KINDS = { total_down: "Итог уменьшился", increment_mismatch: "Приращение не равно разности итогов",
  clock_off: "Часы прибора расходятся с ПК", conflict: "Запись изменилась (конфликт)",
  repeated_hour: "Час повторился (часы прибора переведены назад)", store_down: "База данных не отвечала",
  outbox_overflow: "Сообщения MQTT отброшены", modem_set_aside: "Модем отложен",
  implausible_slot: "Слоты не периоды прибора" };
const ARCHIVES = { hourly: "часовой", daily: "суточный", monthly: "месячный" };
const OUTCOMES = { done: "прочитан", failed: "ошибка", stopped: "остановлен" };
const SVG = "http://www.w3.org/2000/svg";
const MAX_FINDINGS = 200;
const VIEWS = ["meters", "lines", "complete", "situations"];
let view = "meters", chosen = null;

function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = String(text);
  if (cls) e.className = cls;
  return e;
}
function when(utc) {
  if (!utc) return "—";
  const d = new Date(utc);
  return isNaN(d) ? utc : d.toLocaleString("ru-RU");
}
function pct(v) { return v === undefined || v === null ? "—" : (Math.floor(v * 10) / 10).toFixed(1); }
async function getJson(url) {
  const r = await fetch(url, { cache: "no-store" });
  if (!r.ok) {
    let why = "";
    try { why = (await r.json()).error || ""; } catch (_) {}
    const e = new Error(why || url + ": " + r.status); e.status = r.status; throw e;
  }
  return r.json();
}
function badge(i) { return el("span", i.health_text || i.health, "badge " + i.health); }
const PER = 50;
const BY = new Intl.Collator("ru", { numeric: true }).compare;  // "счётчик-9" before "счётчик-10"
// The paged fleet as the server sends it: one page of rows, the states and
// the lines of the whole fleet counted.
let page = { rows: [], states: [], lines: [], fleet: 0, total: 0, pages: 0, page: 1 };
let meterPage = 1, completePage = 1, stateChosen = "", searchTimer = null;
function lineOf(name) { return page.lines.find(l => l.line === name); }
function fleetRow(i) {
  const tr = el("tr"); tr.className = "health-" + i.health; tr.dataset.serial = i.serial; tr.dataset.name = i.name;
  const state = el("td"); state.appendChild(badge(i)); tr.appendChild(state);
  tr.appendChild(el("td", i.serial || "—"));
  tr.appendChild(el("td", i.model || "—"));
  tr.appendChild(el("td", i.name));
  tr.appendChild(el("td", lineText(i) + (i.connection ? " — " + i.connection : "")));
  tr.appendChild(el("td", i.address, "num"));
  tr.appendChild(el("td", when(i.last_read_utc)));
  tr.appendChild(el("td", when(i.next_due_utc)));
  const c = i.completeness_pct || {};
  tr.appendChild(el("td", pct(c.hourly) + " / " + pct(c.daily) + " / " + pct(c.monthly), "num"));
  const f = i.last_failure;
  tr.appendChild(el("td", f ? when(f.utc) + ": " + f.reason : "—", f ? "fail" : ""));
  tr.onclick = () => choose(i);
  return tr;
}
// A shared line names the collector reading it.
function lineText(i) { return i.held_by ? i.line + " (читает " + i.held_by + ")" : i.line; }
function lineDownRow(l) {
  const tr = el("tr", null, "line-down"); tr.dataset.line = l.line;
  const td = el("td", null); td.colSpan = 10;
  const f = l.last_failure;
  td.append(el("span", "Линия не отвечает", "badge down"), el("b", " " + l.line + ": "),
    el("span", l.instruments + " приборов без ответа" + (f ? "; " + when(f.utc) + ": " + f.reason : ""), "fail"));
  tr.appendChild(td);
  tr.onclick = () => { document.getElementById("line").value = l.line; refilter(); };
  return tr;
}
function lineRow(l) {
  const tr = el("tr", null, l.down ? "line down" : "line"); tr.dataset.line = l.line;
  tr.appendChild(el("td", lineText({ line: l.line, held_by: l.held_by })));
  const st = el("td");
  st.appendChild(l.down ? el("span", "Линия не отвечает", "badge down") : el("span", "отвечает", "badge ok"));
  tr.appendChild(st);
  tr.appendChild(el("td", l.instruments, "num"));
  const by = el("td"); l.states.forEach(s => by.appendChild(el("span", s.text + ": " + s.count, "badge " + s.health)));
  tr.appendChild(by);
  const f = l.last_failure;
  tr.appendChild(el("td", f ? when(f.utc) + ": " + f.reason : "—", f ? "fail" : ""));
  tr.onclick = () => { document.getElementById("line").value = l.line; meterPage = 1; show("meters"); };
  return tr;
}
function findingRow(f) {
  const tr = el("tr");
  tr.appendChild(el("td", f.serial));
  tr.appendChild(el("td", (KINDS[f.kind] || f.kind) + (f.acked_utc ? " (принята " + when(f.acked_utc) + ")" : "")));
  if (f.acked_utc) tr.className = "acked";
  tr.appendChild(el("td", f.archive ? ARCHIVES[f.archive] || f.archive : "—"));
  tr.appendChild(el("td", f.period));
  tr.appendChild(el("td", f.detail));
  tr.appendChild(el("td", when(f.found_utc)));
  return tr;
}
function chart(days) {
  const W = 420, H = 140, top = 14, bottom = 18, gap = 6;
  const svg = document.createElementNS(SVG, "svg");
  svg.setAttribute("class", "chart"); svg.setAttribute("width", W); svg.setAttribute("height", H);
  const max = Math.max(0, ...days.map(d => d.volume || 0)) || 1;
  const bw = (W - gap * (days.length + 1)) / days.length;
  days.forEach((d, k) => {
    const x = gap + k * (bw + gap);
    const h = d.volume === null ? 0 : Math.max(1, (H - top - bottom) * (d.volume / max));
    const r = document.createElementNS(SVG, "rect");
    r.setAttribute("x", x); r.setAttribute("width", bw);
    r.setAttribute("y", d.volume === null ? top : H - bottom - h);
    r.setAttribute("height", d.volume === null ? H - top - bottom : h);
    r.setAttribute("class", d.volume === null ? "empty" : d.hours > 0 && d.hours < 24 ? "bar partial" : "bar");
    r.dataset.day = d.day;
    const title = document.createElementNS(SVG, "title");
    title.textContent = d.day + ": " + (d.volume === null ? "нет записей" : d.volume.toFixed(3) + " м³, часов " + d.hours);
    r.appendChild(title);
    svg.appendChild(r);
    const label = document.createElementNS(SVG, "text");
    label.setAttribute("x", x + bw / 2); label.setAttribute("y", H - 5); label.setAttribute("text-anchor", "middle");
    label.textContent = d.day.substring(8, 10) + "." + d.day.substring(5, 7);
    svg.appendChild(label);
    if (d.volume !== null) {
      const v = document.createElementNS(SVG, "text");
      v.setAttribute("x", x + bw / 2); v.setAttribute("y", H - bottom - h - 3); v.setAttribute("text-anchor", "middle");
      v.textContent = d.volume >= 100 ? d.volume.toFixed(0) : d.volume.toFixed(1);
      svg.appendChild(v);
    }
  });
  return svg;
}
function readRow(r) {
  const tr = el("tr", null, r.outcome === "done" ? "" : "fail");
  [when(r.started_utc), when(r.ended_utc), r.mode, OUTCOMES[r.outcome] || r.outcome || "идёт", r.requests, r.added, r.error || ""]
    .forEach((t, k) => tr.appendChild(el("td", t, k === 4 || k === 5 ? "num" : "")));
  return tr;
}
// One meter: its days and gaps, and its reads.
async function detail() {
  const box = document.getElementById("detail");
  if (!chosen) { box.hidden = true; return; }
  const same = x => x.name === chosen.name && (chosen.serial === undefined || x.serial === chosen.serial);
  let i = page.rows.find(same);
  if (!i) i = (await getJson("/api/instruments?per=200&q=" + encodeURIComponent(chosen.name))).rows.find(same);
  if (!i) { chosen = null; box.hidden = true; return; }
  box.hidden = false;
  document.getElementById("detail-title").textContent = i.name + (i.serial ? " — № " + i.serial + " (" + i.model + ")" : "") + ", линия " + lineText(i);
  const reads = await getJson("/api/reads?name=" + encodeURIComponent(i.name) + "&limit=20");
  document.querySelector("#history tbody").replaceChildren(...reads.map(readRow));
  const place = document.getElementById("detail-chart");
  if (!i.serial) {
    place.replaceChildren(el("div", "Прибор ещё не отвечал", "none"));
    document.getElementById("detail-situations").replaceChildren();
    return;
  }
  const o = await getJson("/api/instruments/" + encodeURIComponent(i.serial) + "/overview");
  const parts = [el("div", "Суточные объёмы за 7 суток, м³"), chart(o.days)];
  if (!o.gaps.length) parts.push(el("div", "Пропусков нет", "none"));
  else {
    const ul = el("ul", null, "gaps");
    o.gaps.forEach(g => ul.appendChild(el("li", (ARCHIVES[g.archive] || g.archive) + ": " +
      (g.from === g.to ? g.from : g.from + " — " + g.to) + " (" + g.missing + ")")));
    parts.push(el("div", "Пропуски:"), ul);
  }
  place.replaceChildren(...parts);
  await meterSituations(i.serial);
}
function choose(i) { chosen = { name: i.name, serial: i.serial }; detail().catch(failed); }
function options(select, items) {
  const keep = select.value;
  select.replaceChildren(select.options[0], ...items.map(([v, t]) => { const o = el("option", t); o.value = v; return o; }));
  select.value = items.some(([v]) => v === keep) ? keep : "";
}
// The state buttons: the whole fleet's states, worst first; one chosen at a time.
function stateButtons() {
  const box = document.getElementById("states");
  const all = el("button", "Все (" + page.fleet + ")", stateChosen ? "" : "on"); all.dataset.state = "";
  const buttons = [all, ...page.states.map(s => {
    const b = el("button", s.text + " (" + s.count + ")", "state " + s.health + (stateChosen === s.health ? " on" : ""));
    b.dataset.state = s.health; return b;
  })];
  buttons.forEach(b => b.onclick = () => { stateChosen = b.dataset.state; refilter(); });
  box.replaceChildren(...buttons);
}
// The filter and the page as the server is asked for them.
function meterQuery() {
  const p = new URLSearchParams({ page: meterPage, per: PER, sort: document.getElementById("sort").value });
  const q = document.getElementById("search").value.trim(), ln = document.getElementById("line").value;
  if (q) p.set("q", q);
  if (ln) p.set("line", ln);
  if (stateChosen) p.set("state", stateChosen);
  return "/api/instruments?" + p;
}
function pager(id, at, pages, go) {
  const box = document.getElementById(id);
  const prev = el("button", "‹ Назад"), next = el("button", "Вперёд ›");
  prev.disabled = at <= 1; next.disabled = at >= pages;
  prev.onclick = () => go(at - 1); next.onclick = () => go(at + 1);
  box.replaceChildren(prev, el("span", "Страница " + (pages ? at : 0) + " из " + pages, "pageno"), next);
}
function render() {
  stateButtons();
  options(document.getElementById("line"), page.lines.map(l => l.line).sort(BY).map(l => [l, l]));
  const summary = document.getElementById("summary");
  summary.replaceChildren(el("span", "Приборов: " + page.fleet + " "), ...page.states.map(s => el("span", s.text + ": " + s.count, "badge " + s.health)));
  const oneLine = document.getElementById("line").value;
  // The meters of a line that is down are one row, unless that line is chosen.
  const rows = [], said = new Set();
  page.rows.forEach(i => {
    const l = lineOf(i.line);
    if (!l || !l.down || i.line === oneLine) { rows.push(fleetRow(i)); return; }
    if (!said.has(i.line)) { said.add(i.line); rows.push(lineDownRow(l)); }
  });
  document.querySelector("#fleet tbody").replaceChildren(...(rows.length ? rows : [emptyRow(10, "Нет приборов под такой отбор")]));
  document.querySelector("#linetable tbody").replaceChildren(...page.lines.map(lineRow));
  const first = (page.page - 1) * page.per;
  document.getElementById("shown").textContent = "показано " + (page.rows.length ? first + 1 : 0) + "–" + (first + page.rows.length) +
    " из " + page.total + (page.total !== page.fleet ? " (всего " + page.fleet + ")" : "");
  pager("pager", page.page, page.pages, n => { meterPage = n; reload(); });
  const findings = [];
  page.rows.forEach(i => (i.findings || []).forEach(f => findings.push(f)));
  findings.sort((a, b) => (b.found_utc || "").localeCompare(a.found_utc || ""));
  document.querySelector("#findings tbody").replaceChildren(...(findings.length ? findings.slice(0, MAX_FINDINGS).map(findingRow) : [emptyRow(6, "Находок нет")]));
}
function show(v) {
  view = v;
  // The meters' state buttons and count say nothing of the queue.
  document.getElementById("states").hidden = document.getElementById("shown").hidden = v === "situations";
  for (const id of VIEWS) {
    document.getElementById(id).hidden = v !== id;
    document.getElementById("view-" + id).className = v === id ? "on" : "";
  }
  reload();
}
// A changed filter starts from the first page.
function refilter() { meterPage = 1; completePage = 1; queuePage = 1; reload(); }
function reload() { load().catch(failed); }
function failed(e) {
  document.getElementById("error").textContent = e.status === 503 ? "Сборщик работает, база данных недоступна: " + e.message
    : e.status ? "Ошибка сборщика: " + e.message : "Нет связи со сборщиком: " + e.message;
}
// One page of the fleet per refresh (and the completeness page in that
// view); a chosen meter adds its own two.
async function load() {
  try {
    page = await getJson(meterQuery());
    if (page.pages && meterPage > page.pages) { meterPage = page.pages; page = await getJson(meterQuery()); }
    render();
    if (view === "complete") await complete();
    await (view === "situations" ? queue() : openOnly());
    await detail();
    document.getElementById("updated").textContent = "Обновлено " + new Date().toLocaleTimeString("ru-RU");
    document.getElementById("error").textContent = "";
    await loadSection("modems", "/api/modems", modemRow);
    await loadSection("collectors", "/api/collectors", collectorRow);
    document.body.dataset.loaded = "1";
  } catch (e) { failed(e); }
}
// The completeness view: a page of meters by the last 31 days, each day the
// share of its hours held; and the reads per line and modem pool by day.
const DAYS = 31;
function dayHead(days) {
  const tr = el("tr");
  tr.appendChild(el("th", "Прибор"));
  days.forEach(d => { const th = el("th", d.substring(8, 10), "day"); th.title = d; tr.appendChild(th); });
  return tr;
}
function cell(held, due, title) {
  if (held === null) { const td = el("td", null, "cell c-before"); td.title = title + ": записей ещё не было"; return td; }
  const cls = due === 0 ? "c-before" : held >= due ? "c-full" : held > 0 ? "c-part" : "c-none";
  const td = el("td", null, "cell " + cls); td.title = title + ": " + held + " из " + due + " ч"; return td;
}
function completeRow(m, c) {
  const tr = el("tr"); tr.dataset.serial = m.serial;
  tr.appendChild(el("td", m.name + " (" + m.serial + ")", "meter"));
  m.hours.forEach((h, k) => tr.appendChild(cell(h, c.hours_due[k], c.days[k])));
  return tr;
}
function rateRow(name, r, days) {
  const tr = el("tr");
  tr.appendChild(el("td", name, "meter"));
  r.reads.forEach((n, k) => {
    const ok = r.done[k], td = el("td", n ? String(Math.round(100 * ok / n)) : "", "cell rate " + (!n ? "c-before" : ok === n ? "c-full" : ok > 0 ? "c-part" : "c-none"));
    td.title = days[k] + ": " + ok + " из " + n + " чтений";
    tr.appendChild(td);
  });
  return tr;
}
async function complete() {
  const p = new URLSearchParams({ days: DAYS, page: completePage, per: PER });
  const q = document.getElementById("search").value.trim();
  if (q) p.set("q", q);
  const c = await getJson("/api/completeness?" + p);
  document.querySelector("#completeness thead").replaceChildren(dayHead(c.days));
  document.querySelector("#completeness tbody").replaceChildren(...(c.rows.length ? c.rows.map(m => completeRow(m, c)) : [emptyRow(DAYS + 1, "Нет приборов под такой отбор")]));
  pager("complete-pager", c.page, c.pages, n => { completePage = n; reload(); });
  const r = await getJson("/api/read-rates?days=" + DAYS);
  document.querySelector("#rates thead").replaceChildren(dayHead(r.days));
  const rows = [...r.lines.map(l => rateRow(l.line, l, r.days)), ...r.pools.map(p => rateRow("пул " + p.pool, p, r.days))];
  document.querySelector("#rates tbody").replaceChildren(...(rows.length ? rows : [emptyRow(DAYS + 1, "Чтений не было")]));
}
function modemRow(m) {
  const tr = el("tr");
  tr.appendChild(el("td", m.pool));
  tr.appendChild(el("td", m.device));
  tr.appendChild(el("td", m.calls_today, "num"));
  tr.appendChild(el("td", m.calls_today ? pct(100 * m.connected_today / m.calls_today) : "—", "num"));
  tr.appendChild(el("td", m.minutes_today.toFixed(1), "num"));
  tr.appendChild(el("td", m.set_aside ? "отложен: " + m.set_aside_why : "в работе", m.set_aside ? "fail" : ""));
  return tr;
}
// A section of rows from `url`, hidden while there are none (no modem pool;
// no collector registered in the store).
async function loadSection(id, url, row) {
  const list = await getJson(url);
  const s = document.getElementById(id);
  s.hidden = list.length === 0;
  s.querySelector("tbody").replaceChildren(...list.map(row));
}
function collectorRow(c) {
  const tr = el("tr", null, c.alive ? "" : "fail"); tr.dataset.origin = c.origin;
  [c.origin, c.host || "—", when(c.started_utc), when(c.seen_utc)].forEach(t => tr.appendChild(el("td", t)));
  const st = el("td"); st.appendChild(el("span", c.alive ? "работает" : "не отвечает", "badge " + (c.alive ? "ok" : "down")));
  tr.appendChild(st);
  tr.appendChild(el("td", page.lines.filter(l => l.held_by === c.origin).map(l => l.line).sort(BY).join(", ") || "—"));
  return tr;
}
function emptyRow(n, text) { const tr = el("tr"); const td = el("td", text, "none"); td.colSpan = n; tr.appendChild(td); return tr; }
document.getElementById("search").addEventListener("input", () => { clearTimeout(searchTimer); searchTimer = setTimeout(refilter, 300); });
["line", "sort"].forEach(id => document.getElementById(id).addEventListener("input", refilter));
VIEWS.forEach(v => document.getElementById("view-" + v).onclick = () => show(v));
["sit-open", "sit-kind", "sit-since"].forEach(id => document.getElementById(id).addEventListener("input", () => { queuePage = 1; reload(); }));
document.getElementById("detail-close").onclick = () => { chosen = null; detail(); };
const asked = new URLSearchParams(location.search);
if (asked.get("meter")) chosen = { name: asked.get("meter") };
// The page, the text and the state asked in the address, as the buttons would set them.
meterPage = completePage = queuePage = Math.max(1, parseInt(asked.get("page"), 10) || 1);
if (asked.get("q")) document.getElementById("search").value = asked.get("q");
if (asked.get("state")) stateChosen = asked.get("state");
show(VIEWS.includes(asked.get("view")) ? asked.get("view") : "meters");
setInterval(reload, 60000);
