#include "collect/http_page.hpp"

namespace statvtk::collect {

namespace {

constexpr std::string_view kPage = R"page(<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>StatVTK — сбор данных</title>
<style>
body { font-family: "DejaVu Sans", Arial, sans-serif; margin: 0; background: #f3f4f6; color: #1f2937; font-size: 14px; }
header { background: #1e3a5f; color: #fff; padding: 10px 18px; display: flex; align-items: baseline; gap: 18px; }
header h1 { font-size: 18px; margin: 0; font-weight: 600; }
#updated, #summary { font-size: 13px; opacity: .9; }
main { padding: 12px 18px; }
h2 { font-size: 15px; margin: 18px 0 8px; }
table { border-collapse: collapse; width: 100%; background: #fff; box-shadow: 0 1px 2px rgba(0,0,0,.08); }
th, td { padding: 5px 8px; border-bottom: 1px solid #e5e7eb; text-align: left; vertical-align: top; }
th { background: #e8edf3; font-weight: 600; font-size: 13px; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
tr.health-ok td:first-child { border-left: 6px solid #16a34a; }
tr.health-late td:first-child, tr.health-clock td:first-child { border-left: 6px solid #f59e0b; }
tr.health-down td:first-child, tr.health-never td:first-child { border-left: 6px solid #dc2626; }
.badge { display: inline-block; padding: 1px 7px; border-radius: 9px; font-size: 12px; color: #fff; white-space: nowrap; }
.badge.ok { background: #16a34a; } .badge.late, .badge.clock { background: #d97706; } .badge.down, .badge.never { background: #dc2626; }
.fail { color: #b91c1c; }
.cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(360px, 1fr)); gap: 12px; }
.card { background: #fff; padding: 8px 12px; box-shadow: 0 1px 2px rgba(0,0,0,.08); }
.card h3 { font-size: 14px; margin: 2px 0 6px; }
.chart .bar { fill: #3b82f6; } .chart .bar.partial { fill: #93c5fd; } .chart .empty { fill: #e5e7eb; }
.chart text { font-size: 10px; fill: #374151; }
.gaps { margin: 4px 0 0; padding-left: 18px; font-size: 12px; }
.none { color: #6b7280; font-size: 12px; }
#error { color: #b91c1c; font-weight: 600; }
</style>
</head>
<body>
<header><h1>StatVTK — сбор данных с приборов</h1><span id="summary"></span><span id="updated"></span></header>
<main>
<div id="error"></div>
<h2>Приборы</h2>
<table id="fleet">
<thead><tr><th>Состояние</th><th>Заводской номер</th><th>Модель</th><th>Прибор</th><th>Линия</th><th>Адрес</th>
<th>Последнее чтение</th><th>Следующее</th><th>Полнота за 7 сут, % (ч / сут / мес)</th><th>Последняя ошибка</th></tr></thead>
<tbody></tbody>
</table>
<h2>Находки</h2>
<table id="findings">
<thead><tr><th>Заводской номер</th><th>Что найдено</th><th>Архив</th><th>Период</th><th>Подробности</th><th>Когда</th></tr></thead>
<tbody></tbody>
</table>
<section id="modems" hidden>
<h2>Модемы</h2>
<table>
<thead><tr><th>Пул</th><th>Модем</th><th>Звонков сегодня</th><th>С соединением, %</th><th>Минут на связи</th><th>Состояние</th></tr></thead>
<tbody></tbody>
</table>
</section>
<h2>Суточные объёмы за 7 суток и пропуски</h2>
<div id="cards" class="cards"></div>
</main>
<script>
"use strict";
const HEALTH = { ok: "В норме", late: "Запаздывает", down: "Нет связи", never: "Не читался", clock: "часы прибора" };
const KINDS = { total_down: "Итог уменьшился", increment_mismatch: "Приращение не равно разности итогов",
  clock_off: "Часы прибора расходятся с ПК", conflict: "Запись изменилась (конфликт)", modem_set_aside: "Модем отложен" };
const ARCHIVES = { hourly: "часовой", daily: "суточный", monthly: "месячный" };
const SVG = "http://www.w3.org/2000/svg";

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
  if (!r.ok) throw new Error(url + ": " + r.status);
  return r.json();
}
function fleetRow(i) {
  const tr = el("tr"); tr.className = "health-" + i.health; tr.dataset.serial = i.serial;
  const state = el("td"); state.appendChild(el("span", HEALTH[i.health] || i.health, "badge " + i.health)); tr.appendChild(state);
  tr.appendChild(el("td", i.serial || "—"));
  tr.appendChild(el("td", i.model || "—"));
  tr.appendChild(el("td", i.name));
  tr.appendChild(el("td", i.connection ? i.line + " — " + i.connection : i.line));
  tr.appendChild(el("td", i.address, "num"));
  tr.appendChild(el("td", when(i.last_read_utc)));
  tr.appendChild(el("td", when(i.next_due_utc)));
  const c = i.completeness_pct || {};
  tr.appendChild(el("td", pct(c.hourly) + " / " + pct(c.daily) + " / " + pct(c.monthly), "num"));
  const f = i.last_failure;
  tr.appendChild(el("td", f ? when(f.utc) + ": " + f.reason : "—", f ? "fail" : ""));
  return tr;
}
function findingRow(f) {
  const tr = el("tr");
  tr.appendChild(el("td", f.serial));
  tr.appendChild(el("td", KINDS[f.kind] || f.kind));
  tr.appendChild(el("td", f.archive ? ARCHIVES[f.archive] || f.archive : "—"));
  tr.appendChild(el("td", f.period));
  tr.appendChild(el("td", f.detail));
  tr.appendChild(el("td", when(f.found_utc)));
  return tr;
}
function chart(days) {
  const W = 340, H = 130, top = 14, bottom = 18, gap = 6;
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
function card(i, o) {
  const c = el("div", null, "card"); c.dataset.serial = i.serial;
  c.appendChild(el("h3", (i.name || "") + " — № " + i.serial + " (" + i.model + "), м³ в сутки"));
  c.appendChild(chart(o.days));
  if (!o.gaps.length) { c.appendChild(el("div", "Пропусков нет", "none")); return c; }
  c.appendChild(el("div", "Пропуски:"));
  const ul = el("ul", null, "gaps");
  o.gaps.forEach(g => {
    const span = g.from === g.to ? g.from : g.from + " — " + g.to;
    ul.appendChild(el("li", (ARCHIVES[g.archive] || g.archive) + ": " + span + " (" + g.missing + ")"));
  });
  c.appendChild(ul);
  return c;
}
async function load() {
  try {
    const [fleet, findings] = await Promise.all([getJson("/api/instruments"), getJson("/api/findings")]);
    const body = document.querySelector("#fleet tbody");
    body.replaceChildren(...fleet.map(fleetRow));
    const fbody = document.querySelector("#findings tbody");
    fbody.replaceChildren(...(findings.length ? findings.map(findingRow) : [emptyRow(6, "Находок нет")]));
    const read = fleet.filter(i => i.serial);
    const overviews = await Promise.all(read.map(i => getJson("/api/instruments/" + encodeURIComponent(i.serial) + "/overview")));
    document.getElementById("cards").replaceChildren(...read.map((i, k) => card(i, overviews[k])));
    const n = s => fleet.filter(i => i.health === s).length;
    document.getElementById("summary").textContent = "Приборов: " + fleet.length + ", в норме: " + n("ok") +
      ", запаздывают: " + n("late") + ", без связи: " + (n("down") + n("never"));
    document.getElementById("updated").textContent = "Обновлено " + new Date().toLocaleTimeString("ru-RU");
    document.getElementById("error").textContent = "";
    await loadModems();
    document.body.dataset.loaded = "1";
  } catch (e) {
    document.getElementById("error").textContent = "Нет связи со сборщиком: " + e.message;
  }
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
async function loadModems() {
  const modems = await getJson("/api/modems");
  const s = document.getElementById("modems");
  s.hidden = modems.length === 0;
  s.querySelector("tbody").replaceChildren(...modems.map(modemRow));
}
function emptyRow(n, text) { const tr = el("tr"); const td = el("td", text, "none"); td.colSpan = n; tr.appendChild(td); return tr; }
load();
setInterval(load, 60000);
</script>
</body>
</html>
)page";

}  // namespace

std::string_view StatusPage() { return kPage; }

}  // namespace statvtk::collect
