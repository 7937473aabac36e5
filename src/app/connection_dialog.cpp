// The connection parameters dialog.
#include "app/connection_dialog.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/ui_seam.hpp"

namespace statvtk::app {

namespace {

QSpinBox* Spin(QWidget* parent, int min, int max, int step) {
  auto* s = new QSpinBox(parent);
  s->setRange(min, max);
  s->setSingleStep(step);
  return s;
}

QString PortLabel(const SerialPortInfo& p) {
  QString text = QString::fromStdString(p.path);
  if (!p.description.empty()) text += QStringLiteral(" — ") + QString::fromStdString(p.description);
  return text;
}

}  // namespace

std::optional<int> ComNumberOfPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  for (int n = 1; n <= 256; ++n)
    if (SerialPortPathOf(n) == path) return n;
  return std::nullopt;
}

ConnectionDialog::ConnectionDialog(const ConnectionSettings& settings, UiSeam& ui, std::vector<SerialPortInfo> ports,
                                   QWidget* parent)
    : QDialog(parent), settings_(settings), ui_(ui), ports_(std::move(ports)) {
  setWindowTitle(QStringLiteral("Параметры соединения"));

  // Transport and its own values.
  auto* transport = new QGroupBox(QStringLiteral("Соединение"), this);
  auto* tg = new QGridLayout(transport);
  serial_ = new QRadioButton(QStringLiteral("RS-232/485"), transport);
  mbus_ = new QCheckBox(QStringLiteral("M-Bus"), transport);
  modem_ = new QRadioButton(QStringLiteral("     Модем"), transport);
  tcp_ = new QRadioButton(QStringLiteral("Ethernet (TCP/IP)"), transport);
  port_ = new QComboBox(transport);
  modemPort_ = new QComboBox(transport);
  for (QComboBox* box : {port_, modemPort_}) {
    box->setEditable(true);
    box->setMinimumWidth(240);
    for (const auto& p : ports_) box->addItem(PortLabel(p), QString::fromStdString(p.path));
  }
  baud_ = new QComboBox(transport);
  for (auto rate : kBaudRates) baud_->addItem(QString::number(rate));
  phone_ = new QLineEdit(transport);
  tone_ = new QRadioButton(QStringLiteral("Тоновый"), transport);
  pulse_ = new QRadioButton(QStringLiteral("Импульсный"), transport);
  auto* dialGroup = new QWidget(transport);
  auto* dg = new QHBoxLayout(dialGroup);
  dg->setContentsMargins(0, 0, 0, 0);
  dg->addWidget(tone_);
  dg->addWidget(pulse_);
  init_ = new QLineEdit(transport);
  sockIp_ = new QLineEdit(transport);
  // Wider than a port can be, so that a wrong number is refused with the
  // reason rather than cut to fit while typed.
  sockPort_ = Spin(transport, 0, 999999, 1);
  gate_ = new QCheckBox(QStringLiteral("318M в качестве шлюза"), transport);
  dynDns_ = new QCheckBox(QStringLiteral("DynDNS"), transport);
  dynDnsName_ = new QLineEdit(transport);

  // The transport's choice, then one page of fields per transport (only one
  // transport is ever in use), so that the dialog fits a 600-pixel screen.
  auto* choice = new QHBoxLayout();
  for (QRadioButton* r : {serial_, modem_, tcp_}) choice->addWidget(r);
  choice->addStretch(1);
  mbus_->setToolTip(QStringLiteral(
      "Кадры M-Bus с длинным адресом (заводской номер прибора): по линии RS-485 или через преобразователь "
      "Ethernet–RS-485"));
  pages_ = new QStackedWidget(transport);
  const auto page = [this](std::initializer_list<std::pair<QString, QWidget*>> rows, int timingRow) {
    auto* p = new QWidget(pages_);
    auto* form = new QFormLayout(p);
    form->setContentsMargins(0, 4, 0, 0);
    for (const auto& [label, widget] : rows) {
      if (label.isEmpty()) form->addRow(widget);
      else form->addRow(label, widget);
    }
    auto* timing = new QWidget(p);
    auto* tl = new QHBoxLayout(timing);
    tl->setContentsMargins(0, 0, 0, 0);
    const QString names[3] = {QStringLiteral("байт, мс"), QStringLiteral("ответ, мс"), QStringLiteral("повторы")};
    for (std::size_t w = 0; w < 3; ++w) {
      QSpinBox* box = timing_[static_cast<std::size_t>(timingRow) * 3 + w];
      box->setParent(timing);
      tl->addWidget(new QLabel(names[w], timing));
      tl->addWidget(box);
    }
    tl->addStretch(1);
    form->addRow(QStringLiteral("Время ожидания:"), timing);
    pages_->addWidget(p);
  };
  for (int t = 0; t < 3; ++t) {
    timing_[static_cast<std::size_t>(t * 3 + 0)] = Spin(this, 10, 10000, 10);
    timing_[static_cast<std::size_t>(t * 3 + 1)] = Spin(this, 10, 60000, 10);
    timing_[static_cast<std::size_t>(t * 3 + 2)] = Spin(this, 1, 255, 1);
  }
  auto* dynRow = new QWidget(transport);
  auto* dr = new QHBoxLayout(dynRow);
  dr->setContentsMargins(0, 0, 0, 0);
  dr->addWidget(dynDns_);
  dr->addWidget(dynDnsName_, 1);
  page({{QStringLiteral("Порт:"), port_}, {QStringLiteral("Скорость, бит/с:"), baud_}}, 0);
  page({{QStringLiteral("Порт модема:"), modemPort_},
        {QStringLiteral("Телефон:"), phone_},
        {QStringLiteral("Набор:"), dialGroup},
        {QStringLiteral("Строка инициализации:"), init_}},
       1);
  page({{QStringLiteral("Адрес:"), sockIp_},
        {QStringLiteral("Порт TCP:"), sockPort_},
        {QString(), gate_},
        {QString(), dynRow}},
       2);
  tg->addLayout(choice, 0, 0);
  tg->addWidget(mbus_, 1, 0);
  tg->addWidget(pages_, 2, 0);

  // Attempts.
  auto* timing = new QGroupBox(this);
  auto* mg = new QHBoxLayout(timing);
  attempts_ = Spin(timing, 0, 255, 1);
  mg->addWidget(new QLabel(QStringLiteral("Попыток соединения:"), timing));
  mg->addWidget(attempts_);
  mg->addStretch(1);

  auto* buttons = new QDialogButtonBox(this);
  auto* defaults = buttons->addButton(QStringLiteral("Стандартные значения"), QDialogButtonBox::ResetRole);
  auto* ok = buttons->addButton(QStringLiteral("O&K"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(defaults, &QPushButton::clicked, this, [this] {
    if (ui_.Ask(this, QStringLiteral("Stat61x"), QStringLiteral("Сбросить значения на стандартные?")))
      RestoreDefaults();
  });

  auto* box = new QVBoxLayout(this);
  box->addWidget(transport);
  box->addWidget(timing);
  box->addWidget(buttons);
  box->setSizeConstraint(QLayout::SetFixedSize);
  for (QRadioButton* r : {serial_, modem_, tcp_})
    connect(r, &QRadioButton::toggled, this, [this] { EnableTransportFields(); });
  connect(dynDns_, &QCheckBox::toggled, this, [this] { EnableTransportFields(); });
  Show(settings_);
  EnableTransportFields();
}

void ConnectionDialog::EnableTransportFields() {
  const bool serial = serial_->isChecked(), modem = modem_->isChecked(), tcp = tcp_->isChecked();
  // M-Bus frames go over an RS-485 line or a TCP converter to one.
  mbus_->setEnabled(serial || tcp);
  for (QWidget* w : std::initializer_list<QWidget*>{port_, baud_}) w->setEnabled(serial);
  for (QWidget* w : std::initializer_list<QWidget*>{modemPort_, phone_, tone_, pulse_, init_}) w->setEnabled(modem);
  for (QWidget* w : std::initializer_list<QWidget*>{sockPort_, gate_, dynDns_}) w->setEnabled(tcp);
  sockIp_->setEnabled(tcp && !dynDns_->isChecked());
  dynDnsName_->setEnabled(tcp && dynDns_->isChecked());
  pages_->setCurrentIndex(modem ? 1 : tcp ? 2 : 0);
  const bool chosen[3] = {serial, modem, tcp};
  for (std::size_t t = 0; t < 3; ++t)
    for (std::size_t w = 0; w < 3; ++w) timing_[t * 3 + w]->setEnabled(chosen[t]);
}

void ConnectionDialog::Show(const ConnectionSettings& s) {
  (s.connectMode == ConnectMode::Modem ? modem_ : s.connectMode == ConnectMode::Tcp ? tcp_ : serial_)->setChecked(true);
  mbus_->setChecked(s.useMBus);
  const QString path = QString::fromStdString(s.SerialPath());
  for (QComboBox* box : {port_, modemPort_}) {
    const int found = box->findData(path);
    if (found >= 0) box->setCurrentIndex(found);
    else box->setEditText(path);
  }
  baud_->setCurrentIndex(std::clamp(s.baudIndex, 1, 5) - 1);
  phone_->setText(QString::fromStdString(s.phoneNo));
  (s.tone ? tone_ : pulse_)->setChecked(true);
  init_->setText(QString::fromStdString(s.initString));
  sockIp_->setText(QString::fromStdString(s.sockIp));
  sockPort_->setValue(s.sockPort);
  gate_->setChecked(s.useGate);
  dynDns_->setChecked(s.useDynDns);
  dynDnsName_->setText(QString::fromStdString(s.dynDnsName));
  attempts_->setValue(std::clamp(s.reconnects, 0, 255));
  const TimingTriple* triples[3] = {&s.serial, &s.modem, &s.ethernet};
  for (std::size_t t = 0; t < 3; ++t) {
    timing_[t * 3 + 0]->setValue(static_cast<int>(triples[t]->byteTimeout));
    timing_[t * 3 + 1]->setValue(static_cast<int>(triples[t]->replyTimeout));
    timing_[t * 3 + 2]->setValue(static_cast<int>(triples[t]->retries));
  }
}

ConnectionSettings ConnectionDialog::Values() const {
  ConnectionSettings s = settings_;
  s.connectMode = modem_->isChecked() ? ConnectMode::Modem : tcp_->isChecked() ? ConnectMode::Tcp : ConnectMode::Serial;
  s.useMBus = mbus_->isChecked();
  // A port picked from the list carries its path; a typed one is the text.
  // The modem's own field names the port when the modem is chosen.
  const QComboBox* box = s.connectMode == ConnectMode::Modem ? modemPort_ : port_;
  QString path = box->currentText().trimmed();
  const int picked = box->findText(path);
  if (picked >= 0) path = box->itemData(picked).toString();
  s.portName = path.toStdString();
  // ComPort is the n of "COMn"; a port without such a number leaves it as it was.
  if (const auto n = ComNumberOfPath(s.portName)) s.comPort = *n;
  s.baudIndex = baud_->currentIndex() + 1;
  s.phoneNo = phone_->text().toStdString();
  s.tone = tone_->isChecked();
  s.initString = init_->text().toStdString();
  s.sockIp = sockIp_->text().trimmed().toStdString();
  s.sockPort = sockPort_->value();
  s.useGate = gate_->isChecked();
  s.useDynDns = dynDns_->isChecked();
  s.dynDnsName = dynDnsName_->text().trimmed().toStdString();
  s.reconnects = attempts_->value();
  TimingTriple* triples[3] = {&s.serial, &s.modem, &s.ethernet};
  for (std::size_t t = 0; t < 3; ++t) {
    triples[t]->byteTimeout = static_cast<std::uint32_t>(timing_[t * 3 + 0]->value());
    triples[t]->replyTimeout = static_cast<std::uint32_t>(timing_[t * 3 + 1]->value());
    triples[t]->retries = static_cast<std::uint32_t>(timing_[t * 3 + 2]->value());
  }
  return s;
}

QString ConnectionDialog::Check() const { return CheckConnectionValues(Values()); }

bool IsIpv4Text(const std::string& text) {
  int parts = 0;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t j = i;
    int value = 0;
    while (j < text.size() && j - i < 4 && text[j] >= '0' && text[j] <= '9') value = value * 10 + (text[j++] - '0');
    if (j == i || j - i > 3 || value > 255) return false;
    ++parts;
    if (j == text.size()) return parts == 4;
    if (text[j] != '.' || parts == 4) return false;
    i = j + 1;
  }
  return false;
}

QString CheckConnectionValues(const ConnectionSettings& s) {
  if (s.connectMode == ConnectMode::Tcp) {
    if (s.useDynDns ? s.dynDnsName.empty() : s.sockIp.empty())
      return s.useDynDns ? QStringLiteral("Укажите имя DynDNS.") : QStringLiteral("Укажите адрес TCP/IP.");
    if (!s.useDynDns && !IsIpv4Text(s.sockIp))
      return QStringLiteral("Адрес TCP/IP \"") + QString::fromStdString(s.sockIp) +
             QStringLiteral("\" - не адрес IPv4: четыре числа от 0 до 255 через точку.");
    if (s.sockPort < 1 || s.sockPort > 65535)
      return QStringLiteral("Порт TCP %1 вне диапазона: укажите порт TCP от 1 до 65535.").arg(s.sockPort);
  }
  if (s.reconnects < 1 || s.reconnects > 255)
    return QStringLiteral("Попыток соединения: %1. Укажите от 1 до 255.").arg(s.reconnects);
  if (s.connectMode == ConnectMode::Serial && s.portName.empty())
    return QStringLiteral("Укажите последовательный порт.");
  if (s.connectMode == ConnectMode::Modem && s.phoneNo.empty()) return QStringLiteral("Укажите номер телефона.");
  return {};
}

void ConnectionDialog::RestoreDefaults() {
  ConnectionSettings s = Values();
  RestoreRecommended(s);
  Show(s);
}

void ConnectionDialog::accept() {
  const QString problem = Check();
  if (!problem.isEmpty()) {
    ui_.Warn(this, windowTitle(), problem);
    return;
  }
  if (acceptance_) {
    const QString refused = acceptance_(Values());
    if (!refused.isEmpty()) {
      ui_.Warn(this, windowTitle(), refused);
      return;
    }
  }
  QDialog::accept();
}

}  // namespace statvtk::app
