// Plain stand-ins for the child windows until their real classes land: they
// keep what they are given and show a line of text about it.
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "app/app_services.hpp"
#include "app/child_windows.hpp"
#include "reports/tech_info.hpp"

namespace statvtk::app {
namespace {

class PlainStatWindow : public QWidget, public StatChild {
 public:
  PlainStatWindow(DeviceType type, AppServices& app) : app_(app), data_(StatData::Blank(type)) {
    auto* box = new QVBoxLayout(this);
    label_ = new QLabel(QStringLiteral("Нет данных"), this);
    box->addWidget(label_);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(520, 380);
  }
  QWidget* Widget() override { return this; }
  DeviceType Model() const override { return data_.type; }
  bool Loaded() const override { return loaded_; }
  void Load(const StatData& data) override {
    data_ = data;
    loaded_ = true;
    label_->setText(QString::fromStdString(std::string(FileExtension(data.type))));
  }
  const StatData& Data() const override { return data_; }
  void MakeReport() override { app_.Log(QStringLiteral("Отчет: ") + windowTitle()); }
  bool Busy() const override { return false; }

 private:
  AppServices& app_;
  StatData data_;
  bool loaded_ = false;
  QLabel* label_ = nullptr;
};

class PlainCurrentWindow : public QWidget, public CurrentChild {
 public:
  explicit PlainCurrentWindow() {
    auto* box = new QVBoxLayout(this);
    label_ = new QLabel(QStringLiteral("Нет данных"), this);
    box->addWidget(label_);
    setAttribute(Qt::WA_DeleteOnClose);
  }
  QWidget* Widget() override { return this; }
  void ShowCurrent(std::span<const std::uint8_t, 1024>, DeviceType, const std::string& serial) override {
    setWindowTitle(QStringLiteral("Текущие показания - прибор № ") + QString::fromStdString(serial));
    label_->setText(QString::fromStdString(serial));
  }
  void RefreshFailed(const QString& reason) override { label_->setText(reason); }

 private:
  QLabel* label_ = nullptr;
};

}  // namespace

StatChild* MakeStatChild(DeviceType type, AppServices& app) {
  const DeviceType model = type == DeviceType::dtVTK0814CM ? DeviceType::dtVTK0814C : type;
  return new PlainStatWindow(model, app);
}

CurrentChild* MakeCurrentChild(AppServices&) { return new PlainCurrentWindow(); }

QWidget* MakeEventsWindow(const StatChild&, AppServices&) {
  auto* w = new QLabel(QStringLiteral("Просмотр событий"));
  w->setAttribute(Qt::WA_DeleteOnClose);
  return w;
}

QWidget* MakeTechInfoWindow(std::span<const std::uint8_t> header, DeviceType type, AppServices&) {
  const TechInfo info = BuildTechInfo(header, type);
  auto* w = new QLabel(QString::fromStdString(info.caption));
  w->setWindowTitle(QString::fromStdString(info.caption));
  w->setAttribute(Qt::WA_DeleteOnClose);
  return w;
}

}  // namespace statvtk::app
