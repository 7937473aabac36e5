#include "app/scan_dialog.hpp"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "front/part_sink.hpp"
#include "front/part_texts.hpp"
#include "reading/number_list.hpp"
#include "reading/reads.hpp"

namespace statvtk::app {

namespace {
// The line a search ran on: its port (the speed is the search's own choice).
QString LineOf(const ConnectionSettings& s) {
  return QString::fromStdString(s.connectMode == ConnectMode::Serial ? s.SerialPath() : s.ConnectionText());
}

// The search's events on their way to its texts, with what the note needs:
// why the line did not open.
class ScanEvents final : public ReadEvents {
 public:
  ScanEvents(ReadEvents& texts, const LineSpec& line) : texts_(texts), line_(line) {}
  void On(const ReadEvent& e) override {
    if (const auto* f = std::get_if<event::LineFailed>(&e); f && f->at == FailedAt::Open && lineFailure_.empty())
      lineFailure_ =
          FailureMessage(FailedAt::Open, line_, LinkWording::System) + " — " + CauseText(f->cause, LinkWording::System);
    texts_.On(e);
  }
  // Why nothing was found; empty when something was, or after a stop.
  std::string Note(const LineResult& r) const {
    if (r.whole.outcome == ReadOutcome::Stopped || !r.found.empty()) return {};
    return lineFailure_.empty() ? FailureMessage(FailedAt::NotFound, line_, LinkWording::System) : lineFailure_;
  }

 private:
  ReadEvents& texts_;
  const LineSpec& line_;
  std::string lineFailure_;
};

}  // namespace

// Runs on the worker thread: each probe and each instrument found becomes a
// queued call into the dialog, so the search never waits for the GUI.
class ScanDialog::Bridge : public ReadObserver {
 public:
  explicit Bridge(ScanDialog* dialog) : dialog_(dialog) {}

  void LogLine(const std::string&) override {}
  void Probing(std::uint32_t address, std::uint32_t baud, std::size_t index, std::size_t total) override {
    Post([=](ScanDialog* d) { d->ShowProbe(address, baud, static_cast<int>(index), static_cast<int>(total)); });
  }
  void Found(const ScanFound& f) override {
    const ScanEntry e{f.address, f.baud, f.type, QString::fromStdString(f.ident)};
    Post([e](ScanDialog* d) { d->AddFound(e); });
  }
  void Finished(const QString& note) {
    Post([note](ScanDialog* d) { d->Finish(note); });
  }

 private:
  template <class Fn>
  void Post(Fn fn) {
    QPointer<ScanDialog> target(dialog_);
    QMetaObject::invokeMethod(
        dialog_,
        [target, fn] {
          if (target) fn(target.data());
        },
        Qt::QueuedConnection);
  }
  ScanDialog* dialog_;
};

ScanDialog::ScanDialog(const ConnectionSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), bridge_(std::make_unique<Bridge>(this)) {
  qRegisterMetaType<ScanEntry>();
  setWindowTitle("Поиск приборов");

  line_ = new QLabel(QStringLiteral("Линия: ") + QString::fromStdString(settings_.ConnectionText()));
  auto* range = new QHBoxLayout;
  range->addWidget(new QLabel("Адреса с"));
  first_ = new QSpinBox;
  first_->setRange(0, 255);
  first_->setValue(1);
  range->addWidget(first_);
  range->addWidget(new QLabel("по"));
  last_ = new QSpinBox;
  last_->setRange(0, 255);
  last_->setValue(32);
  range->addWidget(last_);
  range->addStretch();

  auto* speeds = new QHBoxLayout;
  speeds->addWidget(new QLabel("Скорости:"));
  for (std::size_t i = 0; i < speeds_.size(); ++i) {
    speeds_[i] = new QCheckBox(QString::number(kScanSpeeds[i]));
    speeds_[i]->setChecked(kScanSpeeds[i] == settings_.BaudRate());
    speeds->addWidget(speeds_[i]);
  }
  speeds->addStretch();

  auto* run = new QHBoxLayout;
  start_ = new QPushButton("Начать");
  stop_ = new QPushButton("Остановить");
  progress_ = new QProgressBar;
  progress_->setRange(0, 1);
  progress_->setValue(0);
  probe_ = new QLabel;
  note_ = new QLabel;
  note_->setWordWrap(true);
  note_->setStyleSheet(QStringLiteral("color: #b00000"));
  note_->hide();
  run->addWidget(start_);
  run->addWidget(stop_);
  run->addWidget(progress_, 1);
  run->addWidget(probe_);

  table_ = new QTableWidget(0, 4);
  table_->setHorizontalHeaderLabels({"Адрес", "Скорость", "Прибор", "Идентификация"});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();

  auto* choose = new QHBoxLayout;
  use_ = new QPushButton("Использовать");
  read_ = new QPushButton("Прочитать выбранные");
  auto* close = new QPushButton("Закрыть");
  monitor_ = new QPushButton("Монитор обмена");
  monitor_->setToolTip("Кадры обмена с приборами во время поиска");
  choose->addWidget(use_);
  choose->addWidget(read_);
  choose->addStretch();
  choose->addWidget(monitor_);
  choose->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(line_);
  layout->addLayout(range);
  layout->addLayout(speeds);
  layout->addLayout(run);
  layout->addWidget(note_);
  layout->addWidget(table_, 1);
  layout->addLayout(choose);
  resize(620, 380);

  connect(start_, &QPushButton::clicked, this, &ScanDialog::StartSearch);
  connect(stop_, &QPushButton::clicked, this, &ScanDialog::StopSearch);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(monitor_, &QPushButton::clicked, this, &ScanDialog::MonitorAsked);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &ScanDialog::UpdateButtons);
  connect(use_, &QPushButton::clicked, this, [this] {
    const auto chosen = Chosen();
    if (!chosen.isEmpty()) emit UseChosen(chosen.front());
  });
  connect(read_, &QPushButton::clicked, this, [this] {
    const auto chosen = Chosen();
    if (!chosen.isEmpty()) emit ReadChosen(chosen);
  });
  UpdateButtons();
}

ScanDialog::~ScanDialog() {
  stopFlag_ = true;
  Join();
}

void ScanDialog::Join() {
  if (worker_.joinable()) worker_.join();
}

void ScanDialog::StartSearch() {
  if (Searching()) return;
  Join();
  // Settings the line refuses start nothing, as in any read.
  if (const std::string refusal = ConnectionSettingsError(settings_); !refusal.empty()) {
    ShowNote(QString::fromStdString(refusal));
    return;
  }
  ShowNote({});
  std::vector<std::uint32_t> addresses;
  const int lo = std::min(first_->value(), last_->value()), hi = std::max(first_->value(), last_->value());
  for (int a = lo; a <= hi; ++a) addresses.push_back(static_cast<std::uint32_t>(a));
  std::vector<std::uint32_t> bauds;
  for (std::size_t i = 0; i < speeds_.size(); ++i)
    if (speeds_[i]->isChecked()) bauds.push_back(kScanSpeeds[i]);
  if (bauds.empty()) bauds.push_back(settings_.BaudRate());

  entries_.clear();
  table_->setRowCount(0);
  progress_->setRange(0, static_cast<int>(addresses.size() * bauds.size()));
  progress_->setValue(0);
  stopFlag_ = false;
  searching_ = true;
  UpdateButtons();
  // The search owns its job; the dialog hears from it only through the bridge.
  worker_ = std::thread([this, addresses, bauds, trace = trace_] {
    ConnectionSettings s = settings_;
    s.useMBus = false;  // the address range is of short addresses
    const LineSpec line = LineSpecOf(s);
    PartSink sink(*bridge_, {});
    ScanEvents events(sink, line);
    RunHooks hooks;
    hooks.trace = trace;
    const LineResult r = Scan(line, addresses, bauds, events, stopFlag_, hooks);
    bridge_->Finished(QString::fromStdString(events.Note(r)));
  });
}

void ScanDialog::StopSearch() { stopFlag_ = true; }

void ScanDialog::ShowProbe(std::uint32_t address, std::uint32_t baud, int index, int total) {
  progress_->setRange(0, total);
  progress_->setValue(index);
  probe_->setText(QString("адрес %1, %2 бит/с").arg(address).arg(baud));
}

void ScanDialog::AddFound(const ScanEntry& e) {
  entries_.append(e);
  const int row = table_->rowCount();
  table_->insertRow(row);
  table_->setItem(row, 0, new QTableWidgetItem(QString::number(e.address)));
  table_->setItem(row, 1, new QTableWidgetItem(QString::number(e.baud)));
  table_->setItem(row, 2,
                  new QTableWidgetItem(QString::fromUtf8(DeviceTypeName(e.type).data(),
                                                         static_cast<int>(DeviceTypeName(e.type).size()))));
  table_->setItem(row, 3, new QTableWidgetItem(e.ident));
}

void ScanDialog::ShowNote(const QString& text) {
  note_->setText(text);
  note_->setVisible(!text.isEmpty());
}

void ScanDialog::Finish(const QString& note) {
  Join();
  ShowNote(note);
  searching_ = false;
  progress_->setValue(progress_->maximum());
  probe_->clear();
  UpdateButtons();
  emit SearchFinished(static_cast<int>(entries_.size()));
}

void ScanDialog::UpdateButtons() {
  const bool searching = Searching();
  start_->setEnabled(!searching);
  stop_->setEnabled(searching);
  first_->setEnabled(!searching);
  last_->setEnabled(!searching);
  for (auto* b : speeds_) b->setEnabled(!searching);
  const auto rows = table_->selectionModel()->selectedRows().size();
  // One instrument's address and speed become the settings; several are read.
  use_->setEnabled(rows == 1);
  read_->setEnabled(rows != 0);
}

void ScanDialog::Recall(const ScanMemory& memory) {
  if (!memory.set || Searching()) return;
  first_->setValue(memory.first);
  last_->setValue(memory.last);
  for (std::size_t i = 0; i < speeds_.size(); ++i) speeds_[i]->setChecked(memory.speeds[i]);
  if (memory.line != LineOf(settings_)) return;
  for (const ScanEntry& e : memory.entries) AddFound(e);
  UpdateButtons();
}

ScanMemory ScanDialog::Memory() const {
  ScanMemory m;
  m.set = true;
  m.first = first_->value();
  m.last = last_->value();
  for (std::size_t i = 0; i < speeds_.size(); ++i) m.speeds[i] = speeds_[i]->isChecked();
  m.line = LineOf(settings_);
  m.entries = entries_;
  return m;
}

QList<ScanEntry> ScanDialog::Chosen() const {
  QList<int> rows;
  for (const QModelIndex& i : table_->selectionModel()->selectedRows()) rows.append(i.row());
  std::sort(rows.begin(), rows.end());
  QList<ScanEntry> out;
  for (int r : rows)
    if (r >= 0 && r < entries_.size()) out.append(entries_[r]);
  return out;
}

}  // namespace statvtk::app
