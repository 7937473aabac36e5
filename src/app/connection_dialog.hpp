// "Параметры соединения": transport (serial with M-Bus, modem, TCP), port and
// baud rate, modem dialling, TCP address, gateway and DynDNS, connection
// attempts and the nine timing values. OK checks the values and hands them
// to the caller's acceptance (the frame validates and stores them); the
// dialog stays open with the reason when that refuses. "Стандартные
// значения" restores the recommended timing.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "link/serial_channel.hpp"
#include "link/settings.hpp"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace statvtk::app {

class UiSeam;

// The n of the port whose system name is "COMn" (/dev/ttyS(n-1) here); none
// for a port without such a number (a USB adapter, a pseudo-terminal).
std::optional<int> ComNumberOfPath(const std::string& path);

// True for a dotted IPv4 address ("192.168.0.10": four numbers 0..255).
bool IsIpv4Text(const std::string& text);

// Empty when the settings can be used, else the message for the user.
QString CheckConnectionValues(const ConnectionSettings& s);

class ConnectionDialog : public QDialog {
  Q_OBJECT
 public:
  // `ports`: the serial ports to offer (the system's, or a test's).
  ConnectionDialog(const ConnectionSettings& settings, UiSeam& ui, std::vector<SerialPortInfo> ports,
                   QWidget* parent = nullptr);

  // What OK does with checked values: empty text accepts, else the reason
  // the dialog stays open (a settings file that cannot be written).
  void SetAcceptance(std::function<QString(const ConnectionSettings&)> accept) { acceptance_ = std::move(accept); }

  // The dialog's values as settings (the ones it does not show kept from the original).
  ConnectionSettings Values() const;
  // Sets the controls from settings.
  void Show(const ConnectionSettings& s);
  // Empty when the values can be stored, else the message for the user.
  QString Check() const;
  // "Стандартные значения".
  void RestoreDefaults();

  void accept() override;

  // Controls, for the tests.
  QRadioButton* Serial() const { return serial_; }
  QRadioButton* Modem() const { return modem_; }
  QRadioButton* Tcp() const { return tcp_; }
  QLineEdit* Address() const { return sockIp_; }
  QSpinBox* Port() const { return sockPort_; }
  QSpinBox* Attempts() const { return attempts_; }
  QSpinBox* Timing(int transport, int which) const { return timing_[static_cast<std::size_t>(transport * 3 + which)]; }
  QComboBox* SerialPort() const { return port_; }
  QComboBox* ModemPort() const { return modemPort_; }
  QLineEdit* Phone() const { return phone_; }
  QCheckBox* MBus() const { return mbus_; }
  QComboBox* Baud() const { return baud_; }

 private:
  // Only the chosen transport's fields (and its timing row) can be edited.
  void EnableTransportFields();

  ConnectionSettings settings_;
  UiSeam& ui_;
  std::function<QString(const ConnectionSettings&)> acceptance_;
  std::vector<SerialPortInfo> ports_;
  QStackedWidget* pages_ = nullptr;  // the fields of each transport
  QRadioButton* serial_ = nullptr;
  QCheckBox* mbus_ = nullptr;
  QRadioButton* modem_ = nullptr;
  QRadioButton* tcp_ = nullptr;
  QComboBox* port_ = nullptr;
  QComboBox* modemPort_ = nullptr;
  QComboBox* baud_ = nullptr;
  QLineEdit* phone_ = nullptr;
  QRadioButton* tone_ = nullptr;
  QRadioButton* pulse_ = nullptr;
  QLineEdit* init_ = nullptr;
  QLineEdit* sockIp_ = nullptr;
  QSpinBox* sockPort_ = nullptr;
  QCheckBox* gate_ = nullptr;
  QCheckBox* dynDns_ = nullptr;
  QLineEdit* dynDnsName_ = nullptr;
  QSpinBox* attempts_ = nullptr;
  std::array<QSpinBox*, 9> timing_{};  // serial, modem, TCP × byte, reply, retries
};

}  // namespace statvtk::app
