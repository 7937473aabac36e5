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
let fleet = [], view = "meters", chosen = null;

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
// The states as the data names and ranks them, worst first.
function states(list) {
  const by = new Map();
  list.forEach(i => { const s = by.get(i.health) || { name: i.health, text: i.health_text || i.health, rank: i.health_rank, n: 0 }; s.n++; by.set(i.health, s); });
  return [...by.values()].sort((a, b) => a.rank - b.rank);
}
// A line none of whose instruments answered its last read: one fault, the line's.
function linesOf(list) {
  const by = new Map();
  list.forEach(i => { if (!by.has(i.line)) by.set(i.line, []); by.get(i.line).push(i); });
  return [...by.entries()].map(([name, meters]) => ({ name, meters,
    down: meters.length > 1 && meters.every(i => i.failures_in_row > 0 && i.last_failure) }));
}
function matches(i) {
  const q = document.getElementById("search").value.trim().toLowerCase();
  const st = document.getElementById("state").value, ln = document.getElementById("line").value;
  if (st && i.health !== st) return false;
  if (ln && i.line !== ln) return false;
  return !q || [i.name, i.serial, i.line, i.model, i.health_text].some(t => t && String(t).toLowerCase().includes(q));
}
const BY = new Intl.Collator("ru", { numeric: true }).compare;  // "счётчик-9" before "счётчик-10"
const SORTS = {
  state: (a, b) => a.health_rank - b.health_rank || BY(a.line, b.line) || BY(a.name, b.name),
  name: (a, b) => BY(a.name, b.name),
  line: (a, b) => BY(a.line, b.line) || a.address - b.address,
  read: (a, b) => (a.last_read_utc || "").localeCompare(b.last_read_utc || ""),
};
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
  const tr = el("tr", null, "line-down"); tr.dataset.line = l.name;
  const td = el("td", null); td.colSpan = 10;
  const f = l.meters.map(i => i.last_failure).sort((a, b) => b.utc.localeCompare(a.utc))[0];
  td.append(el("span", "Линия не отвечает", "badge down"), el("b", " " + l.name + ": "),
    el("span", l.meters.length + " приборов без ответа; " + when(f.utc) + ": " + f.reason, "fail"));
  tr.appendChild(td);
  tr.onclick = () => { document.getElementById("line").value = l.name; render(); };
  return tr;
}
function lineRow(l) {
  const tr = el("tr", null, l.down ? "line down" : "line"); tr.dataset.line = l.name;
  tr.appendChild(el("td", lineText({ line: l.name, held_by: l.meters[0].held_by })));
  const st = el("td");
  st.appendChild(l.down ? el("span", "Линия не отвечает", "badge down") : el("span", "отвечает", "badge ok"));
  tr.appendChild(st);
  tr.appendChild(el("td", l.meters.length, "num"));
  const by = el("td"); states(l.meters).forEach(s => by.appendChild(el("span", s.text + ": " + s.n, "badge " + s.name)));
  tr.appendChild(by);
  const f = l.meters.map(i => i.last_failure).filter(Boolean).sort((a, b) => b.utc.localeCompare(a.utc))[0];
  tr.appendChild(el("td", f ? when(f.utc) + ": " + f.reason : "—", f ? "fail" : ""));
  tr.onclick = () => { document.getElementById("line").value = l.name; show("meters"); };
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
  const i = fleet.find(x => x.name === chosen.name && (chosen.serial === undefined || x.serial === chosen.serial));
  if (!i) { chosen = null; box.hidden = true; return; }
  box.hidden = false;
  document.getElementById("detail-title").textContent = i.name + (i.serial ? " — № " + i.serial + " (" + i.model + ")" : "") + ", линия " + lineText(i);
  const reads = await getJson("/api/reads?name=" + encodeURIComponent(i.name) + "&limit=20");
  document.querySelector("#history tbody").replaceChildren(...reads.map(readRow));
  const place = document.getElementById("detail-chart");
  if (!i.serial) { place.replaceChildren(el("div", "Прибор ещё не отвечал", "none")); return; }
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
}
function choose(i) { chosen = { name: i.name, serial: i.serial }; detail().catch(failed); }
function options(select, items) {
  const keep = select.value;
  select.replaceChildren(select.options[0], ...items.map(([v, t]) => { const o = el("option", t); o.value = v; return o; }));
  select.value = items.some(([v]) => v === keep) ? keep : "";
}
function render() {
  const all = states(fleet);
  options(document.getElementById("state"), all.map(s => [s.name, s.text + " (" + s.n + ")"]));
  options(document.getElementById("line"), [...new Set(fleet.map(i => i.line))].sort(BY).map(l => [l, l]));
  const summary = document.getElementById("summary");
  summary.replaceChildren(el("span", "Приборов: " + fleet.length + " "), ...all.map(s => el("span", s.text + ": " + s.n, "badge " + s.name)));
  const shown = fleet.filter(matches).sort(SORTS[document.getElementById("sort").value] || SORTS.state);
  const lines = linesOf(fleet);
  const downLines = new Set(lines.filter(l => l.down).map(l => l.name));
  const oneLine = document.getElementById("line").value;
  // The meters of a line that is down are one row, unless that line is chosen.
  const rows = [], said = new Set();
  shown.forEach(i => {
    if (!downLines.has(i.line) || i.line === oneLine) { rows.push(fleetRow(i)); return; }
    if (!said.has(i.line)) { said.add(i.line); rows.push(lineDownRow(lines.find(l => l.name === i.line))); }
  });
  document.querySelector("#fleet tbody").replaceChildren(...(rows.length ? rows : [emptyRow(10, "Нет приборов под такой отбор")]));
  document.querySelector("#linetable tbody").replaceChildren(...lines.sort((a, b) => b.down - a.down || BY(a.name, b.name)).map(lineRow));
  document.getElementById("shown").textContent = "показано " + shown.length + " из " + fleet.length;
  const findings = [];
  shown.forEach(i => (i.findings || []).forEach(f => findings.push(f)));
  findings.sort((a, b) => (b.found_utc || "").localeCompare(a.found_utc || ""));
  document.querySelector("#findings tbody").replaceChildren(...(findings.length ? findings.slice(0, MAX_FINDINGS).map(findingRow) : [emptyRow(6, "Находок нет")]));
}
function show(v) {
  view = v;
  document.getElementById("meters").hidden = v !== "meters";
  document.getElementById("lines").hidden = v !== "lines";
  document.getElementById("view-meters").className = v === "meters" ? "on" : "";
  document.getElementById("view-lines").className = v === "lines" ? "on" : "";
  render();
}
function failed(e) {
  document.getElementById("error").textContent = e.status === 503 ? "Сборщик работает, база данных недоступна: " + e.message
    : e.status ? "Ошибка сборщика: " + e.message : "Нет связи со сборщиком: " + e.message;
}
// One request for the whole fleet per refresh; a chosen meter adds its own two.
async function load() {
  try {
    fleet = await getJson("/api/instruments");
    render();
    await detail();
    document.getElementById("updated").textContent = "Обновлено " + new Date().toLocaleTimeString("ru-RU");
    document.getElementById("error").textContent = "";
    await loadSection("modems", "/api/modems", modemRow);
    await loadSection("collectors", "/api/collectors", collectorRow);
    document.body.dataset.loaded = "1";
  } catch (e) { failed(e); }
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
  tr.appendChild(el("td", [...new Set(fleet.filter(i => i.held_by === c.origin).map(i => i.line))].sort(BY).join(", ") || "—"));
  return tr;
}
function emptyRow(n, text) { const tr = el("tr"); const td = el("td", text, "none"); td.colSpan = n; tr.appendChild(td); return tr; }
["search", "state", "line", "sort"].forEach(id => document.getElementById(id).addEventListener("input", render));
document.getElementById("view-meters").onclick = () => show("meters");
document.getElementById("view-lines").onclick = () => show("lines");
document.getElementById("detail-close").onclick = () => { chosen = null; detail(); };
const asked = new URLSearchParams(location.search);
if (asked.get("view") === "lines") show("lines");
if (asked.get("meter")) chosen = { name: asked.get("meter") };
load();
setInterval(load, 60000);
