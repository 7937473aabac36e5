/* Generates the report templates of StatVTK: for each model an hourly
 * ("<name>_h.xlsx") and a daily ("<name>_d.xlsx") workbook. Sheet 1 is the
 * printable report, whose formulas read sheet 2 ("Данные"), the data sheet the
 * program fills in its block A1:CB80. Usage: make_templates OUTPUT_FOLDER */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <xlsxwriter.h>

#define DATA "'Данные'!"

enum kind { K_VOLUME, K_HOURS, K_TEMP, K_TEXT, K_INT };

struct column {
  const char *head;
  const char *data; /* column letters on the data sheet */
  enum kind kind;
  int total; /* summed in the totals row */
};

struct info {
  const char *label;
  const char *cell;   /* header cell on the data sheet */
  const char *digits; /* number format: the instrument's own precision */
};

struct model {
  const char *name;
  const struct column *cols;
  int ncols;
  const struct info *infos;
  int ninfos;
};

static const struct column cols0812[] = {
    {"V+, м3", "C", K_VOLUME, 0},  {"V-, м3", "D", K_VOLUME, 0},  {"ΔV+, м3", "G", K_VOLUME, 1},
    {"ΔV-, м3", "H", K_VOLUME, 1}, {"Tраб, ч", "AF", K_HOURS, 0}, {"ΔTраб, ч", "AL", K_HOURS, 1},
    {"Tош, ч", "AG", K_HOURS, 0},  {"ΔTош, ч", "AM", K_HOURS, 1}, {"Статус", "AQ", K_INT, 0},
};
static const struct column cols0814[] = {
    {"V+, м3", "C", K_VOLUME, 0}, {"ΔV+, м3", "G", K_VOLUME, 1},  {"M+, т", "K", K_VOLUME, 0},
    {"ΔM+, т", "O", K_VOLUME, 1}, {"V-, м3", "D", K_VOLUME, 0},   {"ΔV-, м3", "H", K_VOLUME, 1},
    {"T, °C", "S", K_TEMP, 0},    {"ΔTраб, ч", "AL", K_HOURS, 1}, {"Статус", "AQ", K_TEXT, 0},
};
static const struct column cols0814noT[] = {
    {"V+, м3", "C", K_VOLUME, 0},   {"ΔV+, м3", "G", K_VOLUME, 1},  {"M+, т", "K", K_VOLUME, 0},
    {"ΔM+, т", "O", K_VOLUME, 1},   {"V-, м3", "D", K_VOLUME, 0},   {"ΔV-, м3", "H", K_VOLUME, 1},
    {"Gср, м3/ч", "AA", K_TEMP, 0}, {"ΔTраб, ч", "AL", K_HOURS, 1}, {"Статус", "AQ", K_TEXT, 0},
};
static const struct column colsLdn[] = {
    {"V+, м3", "C", K_VOLUME, 0},  {"V-, м3", "D", K_VOLUME, 0},  {"ΔV+, м3", "G", K_VOLUME, 1},
    {"ΔV-, м3", "H", K_VOLUME, 1}, {"Tраб, ч", "AF", K_HOURS, 0}, {"ΔTраб, ч", "AL", K_HOURS, 1},
    {"ΔTош, ч", "AM", K_HOURS, 1}, {"Статус", "AQ", K_TEXT, 0},
};
static const struct info info0812[] = {
    {"Ду, мм", "F2", "0"},      {"Кал. 1/2000·У1", "G2", "0.0000"}, {"Кал. 1/100·У2", "H2", "0.0000"},
    {"Кал. 3", "I2", "0.0000"}, {"Кал. 2/1000", "V2", "0.0000"},
};
static const struct info info0814[] = {
    {"Ду, мм", "F2", "0"},     {"Gmin, м3/ч", "G2", "0.0000"}, {"Gmax, м3/ч", "H2", "0.0"},
    {"Fmax, Гц", "I2", "0.0"}, {"Kv, л/имп", "V2", "0.0000"},
};
static const struct info infoLdn[] = {
    {"Ду, мм", "F2", "0"},
    {"Gmin, м3/ч", "G2", "0.0000"},
    {"Gmax, м3/ч", "H2", "0.0"},
    {"Kv, л/имп", "I2", "0.0000"},
};

#define N(a) ((int)(sizeof(a) / sizeof((a)[0])))
static const struct model models[] = {
    {"VTK0812", cols0812, N(cols0812), info0812, N(info0812)},
    {"VTK0814", cols0814, N(cols0814), info0814, N(info0814)},
    {"VTK0814_no_T", cols0814noT, N(cols0814noT), info0814, N(info0814)},
    {"LDN", colsLdn, N(colsLdn), infoLdn, N(infoLdn)},
};

struct formats {
  lxw_format *title, *label, *head, *volume, *hours, *temp, *text, *integer, *total;
};

static void make_formats(lxw_workbook *wb, struct formats *f) {
  f->title = workbook_add_format(wb);
  format_set_bold(f->title);
  format_set_font_size(f->title, 14);
  f->label = workbook_add_format(wb);
  format_set_bold(f->label);
  f->head = workbook_add_format(wb);
  format_set_bold(f->head);
  format_set_border(f->head, LXW_BORDER_THIN);
  format_set_text_wrap(f->head);
  format_set_align(f->head, LXW_ALIGN_CENTER);
  format_set_bg_color(f->head, 0xDDDDDD);
  f->volume = workbook_add_format(wb);
  format_set_num_format(f->volume, "0.000");
  format_set_border(f->volume, LXW_BORDER_THIN);
  f->hours = workbook_add_format(wb);
  format_set_num_format(f->hours, "0.00");
  format_set_border(f->hours, LXW_BORDER_THIN);
  f->temp = workbook_add_format(wb);
  format_set_num_format(f->temp, "0.0");
  format_set_border(f->temp, LXW_BORDER_THIN);
  f->text = workbook_add_format(wb);
  format_set_border(f->text, LXW_BORDER_THIN);
  format_set_shrink(f->text);
  f->integer = workbook_add_format(wb);
  format_set_num_format(f->integer, "0");
  format_set_border(f->integer, LXW_BORDER_THIN);
  f->total = workbook_add_format(wb);
  format_set_bold(f->total);
  format_set_num_format(f->total, "0.000");
  format_set_border(f->total, LXW_BORDER_THIN);
}

static lxw_format *format_of(const struct formats *f, enum kind k) {
  switch (k) {
    case K_VOLUME: return f->volume;
    case K_HOURS: return f->hours;
    case K_TEMP: return f->temp;
    case K_INT: return f->integer;
    default: return f->text;
  }
}

/* Notes beside the block (column CD on) that say what the program writes. */
static void describe_data_sheet(lxw_worksheet *ws, int daily) {
  static const char *hourly_notes[] = {"B1 модель",
                                       "B2 заводской номер",
                                       "A8 день (ДД.ММ.ГГ)",
                                       "A10 версия программы",
                                       "F2..I2, V2 параметры прибора",
                                       "B8 первый час, B9 последний час",
                                       "A11 число часов без данных",
                                       "A12 записи без приращения (не вошли в итог)",
                                       "Строки 15..38: часы 0..23; A=1 запись есть, B=1 час прошёл",
                                       "C,D,G,H (08.14: C,G,K,O,D,H,L,P,S) значения; AA доп. значение",
                                       "AF..AJ счётчики, AL..AP их приращения, AQ статус, AR..AY биты статуса"};
  static const char *daily_notes[] = {"B1 модель",
                                      "B2 заводской номер",
                                      "A8 период (ДД.ММ.ГГ - ДД.ММ.ГГ)",
                                      "A10 версия программы",
                                      "F2..I2, V2 параметры прибора",
                                      "B8 первая дата, B9 последняя дата (ДД.ММ.20ГГ)",
                                      "A11 число суток",
                                      "A12 записи без приращения (не вошли в итог)",
                                      "Строки 15..46: сутки; A=1 запись есть, B дата, E метка ДД.ММ, F время ЧЧ:ММ",
                                      "C,D,G,H (08.14: C,G,K,O,D,H,L,P,S) значения; AA доп. значение",
                                      "AF..AJ счётчики, AL..AP их приращения, AQ статус, AR..AY биты статуса"};
  const char **notes = daily ? daily_notes : hourly_notes;
  worksheet_write_string(ws, 0, 81, "Данные отчёта (заполняет программа, блок A1:CB80)", NULL);
  for (int i = 0; i < 11; ++i) worksheet_write_string(ws, (lxw_row_t)(i + 1), 81, notes[i], NULL);
}

static void write_header(lxw_workbook *wb, lxw_worksheet *ws, const struct model *m, const struct formats *f,
                         int daily) {
  worksheet_merge_range(ws, 0, 0, 0, 9, daily ? "Суточный отчёт" : "Часовой отчёт", f->title);
  worksheet_write_string(ws, 1, 0, "Прибор:", f->label);
  worksheet_write_formula(ws, 1, 1, "=" DATA "B1", NULL);
  worksheet_write_string(ws, 1, 3, "Заводской №:", f->label);
  worksheet_write_formula(ws, 1, 5, "=" DATA "B2", NULL);
  worksheet_write_string(ws, 2, 0, daily ? "Период:" : "Дата:", f->label);
  worksheet_write_formula(ws, 2, 1, "=" DATA "A8", NULL);
  worksheet_write_string(ws, 2, 3, daily ? "С - по:" : "Часы:", f->label);
  worksheet_write_formula(ws, 2, 5, "=" DATA "B8&\" - \"&" DATA "B9", NULL);
  for (int i = 0; i < m->ninfos; ++i) {
    char formula[64];
    snprintf(formula, sizeof formula, "=" DATA "%s", m->infos[i].cell);
    /* Left-aligned under its label, with the digits the instrument has
       (a float such as Kv 0.0083 would show as 0.0082999999 otherwise). */
    lxw_format *digits = workbook_add_format(wb);
    format_set_num_format(digits, m->infos[i].digits);
    format_set_align(digits, LXW_ALIGN_LEFT);
    worksheet_write_string(ws, 3, (lxw_col_t)(2 * i), m->infos[i].label, f->label);
    worksheet_write_formula(ws, 4, (lxw_col_t)(2 * i), formula, digits);
  }
}

/* The last row the report sheet uses. */
static int write_table(lxw_worksheet *ws, const struct model *m, const struct formats *f, int daily) {
  const int first = 6, nrows = daily ? 32 : 24, data0 = 15;
  worksheet_write_string(ws, first, 0, daily ? "Дата" : "Час", f->head);
  for (int c = 0; c < m->ncols; ++c) worksheet_write_string(ws, first, (lxw_col_t)(c + 1), m->cols[c].head, f->head);
  for (int i = 0; i < nrows; ++i) {
    const lxw_row_t row = (lxw_row_t)(first + 1 + i);
    const int dr = data0 + i;
    char formula[256];
    if (daily) {
      snprintf(formula, sizeof formula, "=IF(" DATA "$A%d=1," DATA "B%d,\"\")", dr, dr);
      worksheet_write_formula(ws, row, 0, formula, f->text);
    } else {
      char label[16];
      snprintf(label, sizeof label, "%02d-%02d", i, i + 1);
      worksheet_write_string(ws, row, 0, label, f->text);
    }
    for (int c = 0; c < m->ncols; ++c) {
      const struct column *col = &m->cols[c];
      if (col->kind == K_TEXT || col->kind == K_INT)
        snprintf(formula, sizeof formula, "=IF(" DATA "$A%d=1," DATA "%s%d,IF(" DATA "$B%d=1,\"нет данных\",\"\"))", dr,
                 col->data, dr, dr);
      else snprintf(formula, sizeof formula, "=IF(" DATA "$A%d=1," DATA "%s%d,\"\")", dr, col->data, dr);
      worksheet_write_formula(ws, row, (lxw_col_t)(c + 1), formula, format_of(f, col->kind));
    }
  }
  const lxw_row_t trow = (lxw_row_t)(first + 1 + nrows);
  worksheet_write_string(ws, trow, 0, "Итого", f->head);
  for (int c = 0; c < m->ncols; ++c) {
    char formula[64];
    if (!m->cols[c].total) {
      worksheet_write_blank(ws, trow, (lxw_col_t)(c + 1), f->total);
      continue;
    }
    lxw_col_t col = (lxw_col_t)(c + 1);
    char letters[4] = {0};
    lxw_col_to_name(letters, col, 0);
    snprintf(formula, sizeof formula, "=SUM(%s%d:%s%d)", letters, first + 2, letters, first + 1 + nrows);
    worksheet_write_formula(ws, trow, col, formula, f->total);
  }
  /* The note on records without increments, under the totals they are missing from. */
  worksheet_write_formula(ws, trow + 1, 0, "=IF(" DATA "A12=\"\",\"\"," DATA "A12)", NULL);
  worksheet_write_string(ws, trow + 2, 0, daily ? "Суток в отчёте:" : "Часов без данных:", f->label);
  worksheet_write_formula(ws, trow + 2, 3, "=" DATA "A11", NULL);
  worksheet_write_string(ws, trow + 3, 0, "Программа:", f->label);
  worksheet_write_formula(ws, trow + 3, 3, "=" DATA "A10", NULL);
  return (int)trow + 3;
}

static int make_one(const char *folder, const struct model *m, int daily) {
  char path[1024];
  snprintf(path, sizeof path, "%s/%s_%s.xlsx", folder, m->name, daily ? "d" : "h");
  lxw_workbook *wb = workbook_new(path);
  if (!wb) return 1;
  /* A fixed creation time keeps the generated files the same from build to build. */
  lxw_doc_properties props;
  memset(&props, 0, sizeof props);
  props.title = daily ? "Суточный отчёт" : "Часовой отчёт";
  props.author = "StatVTK";
  props.created = (time_t)1704067200; /* 2024-01-01 00:00:00 */
  workbook_set_properties(wb, &props);
  struct formats f;
  make_formats(wb, &f);
  lxw_worksheet *report = workbook_add_worksheet(wb, "Отчёт");
  lxw_worksheet *data = workbook_add_worksheet(wb, "Данные");
  worksheet_set_paper(report, 9); /* A4 */
  worksheet_set_portrait(report);
  /* One page wide, as tall as it needs. */
  worksheet_fit_to_pages(report, 1, 0);
  worksheet_set_margins(report, 0.5, 0.5, 0.6, 0.6);
  worksheet_set_column(report, 0, 0, 9, NULL);
  /* Value columns wide enough for 9-digit totals with their decimals
     ("123456789.000"), so that no spreadsheet program shows ###. */
  for (int c = 0; c < m->ncols; ++c) {
    const enum kind k = m->cols[c].kind;
    const double width = k == K_VOLUME ? 15 : k == K_HOURS ? 12 : 10;
    worksheet_set_column(report, (lxw_col_t)(c + 1), (lxw_col_t)(c + 1), width, NULL);
  }
  write_header(wb, report, m, &f, daily);
  const int last = write_table(report, m, &f, daily);
  /* What prints is the report: its own area. The data sheet (the cells the
     program fills, its notes) prints nothing: its print area is one empty
     cell past the notes, a page that spreadsheet programs leave out. */
  worksheet_print_area(report, 0, 0, (lxw_row_t)last, (lxw_col_t)m->ncols);
  describe_data_sheet(data, daily);
  worksheet_print_area(data, 0, 90, 0, 90);
  return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_templates OUTPUT_FOLDER\n");
    return 2;
  }
  for (int i = 0; i < N(models); ++i)
    for (int daily = 0; daily <= 1; ++daily)
      if (make_one(argv[1], &models[i], daily) != 0) {
        fprintf(stderr, "make_templates: cannot write %s into %s\n", models[i].name, argv[1]);
        return 1;
      }
  return 0;
}
