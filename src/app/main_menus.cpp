#include "app/main_menus.hpp"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSpinBox>
#include <QStyle>
#include <QToolBar>

namespace statvtk::app {

MainActions MakeMainActions(QWidget* owner) {
  QStyle* style = owner->style();
  auto make = [&](const QString& text, const QString& hint, QStyle::StandardPixmap icon, QKeySequence key = {}) {
    auto* a = new QAction(style->standardIcon(icon), text, owner);
    a->setToolTip(hint.isEmpty() ? text : hint);
    a->setStatusTip(hint.isEmpty() ? text : hint);
    if (!key.isEmpty()) a->setShortcut(key);
    return a;
  };
  MainActions a;
  a.newFile = make(QStringLiteral("Создать..."), QStringLiteral("Новый файл"), QStyle::SP_FileIcon,
                   QKeySequence(Qt::CTRL | Qt::Key_N));
  a.open = make(QStringLiteral("Открыть..."), QStringLiteral("Открыть файл"), QStyle::SP_DialogOpenButton,
                QKeySequence(Qt::CTRL | Qt::Key_O));
  a.save = make(QStringLiteral("Сохранить..."), QStringLiteral("Сохранить файл"), QStyle::SP_DialogSaveButton,
                QKeySequence(Qt::CTRL | Qt::Key_S));
  a.exit = make(QStringLiteral("Выход"), {}, QStyle::SP_DialogCloseButton, QKeySequence(Qt::CTRL | Qt::Key_X));
  a.read = make(QStringLiteral("Прочитать статистику из прибора"), QStringLiteral("Считать статистику"),
                QStyle::SP_ArrowDown, QKeySequence(Qt::CTRL | Qt::Key_R));
  a.readTek = make(QStringLiteral("Прочитать текущие из прибора"), QStringLiteral("Текущие (цикл)."),
                   QStyle::SP_BrowserReload, QKeySequence(Qt::CTRL | Qt::Key_T));
  a.check = make(QStringLiteral("Проверить связь"),
                 QStringLiteral("Проверить связь: какой прибор отвечает по сетевому адресу"),
                 QStyle::SP_DialogApplyButton, QKeySequence(Qt::CTRL | Qt::Key_I));
  a.stop = make(QStringLiteral("Остановить чтение"), QStringLiteral("Остановить чтение"), QStyle::SP_BrowserStop);
  a.exportReport = make(QStringLiteral("Экспорт в Microsoft Excel"), QStringLiteral("Экспорт в Microsoft Excel"),
                        QStyle::SP_FileDialogDetailedView, QKeySequence(Qt::CTRL | Qt::Key_P));
  a.techInfo = make(QStringLiteral("Техническая информация"), {}, QStyle::SP_MessageBoxInformation);
  a.situations = make(QStringLiteral("Нештатные ситуации"),
                      QStringLiteral("Нештатные ситуации и итоги месяцев открытого файла статистики"),
                      QStyle::SP_MessageBoxWarning);
  a.connection =
      make(QStringLiteral("Соединение..."), QStringLiteral("Параметры соединения с прибором"), QStyle::SP_DriveNetIcon);
  a.scan = make(QStringLiteral("Поиск приборов..."), QStringLiteral("Найти приборы на линии"),
                QStyle::SP_FileDialogContentsView);
  a.scan->setIcon({});
  a.reportParams = make(QStringLiteral("Параметры отчета..."), {}, QStyle::SP_FileDialogContentsView);
  a.topMost = make(QStringLiteral("Режим \"Поверх всех окон\""), {}, QStyle::SP_TitleBarShadeButton);
  a.topMost->setCheckable(true);
  a.topMost->setIcon({});
  a.cascade = make(QStringLiteral("Разложить каскадом"), {}, QStyle::SP_TitleBarNormalButton);
  a.cascade->setIcon({});
  a.closeAll = make(QStringLiteral("Закрыть все"), QStringLiteral("Закрыть все окна"), QStyle::SP_DialogCloseButton);
  a.closeAll->setIcon({});
  a.traffic =
      make(QStringLiteral("Монитор обмена"), QStringLiteral("Кадры обмена с прибором"), QStyle::SP_ComputerIcon);
  a.messages = make(QStringLiteral("Сообщения"), {}, QStyle::SP_FileDialogListView);
  a.help = make(QStringLiteral("Справка..."), {}, QStyle::SP_DialogHelpButton, QKeySequence(Qt::Key_F1));
  a.about = make(QStringLiteral("О программе..."), {}, QStyle::SP_MessageBoxQuestion);
  a.about->setIcon({});
  return a;
}

MainMenus AddMainMenus(QMainWindow& frame, const MainActions& a) {
  MainMenus m;
  QMenuBar* bar = frame.menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("&Файл"));
  file->addAction(a.newFile);
  file->addAction(a.open);
  file->addAction(a.save);
  m.recent = file->addMenu(QStringLiteral("Последние файлы"));
  file->addSeparator();
  file->addAction(a.exit);

  QMenu* stat = bar->addMenu(QStringLiteral("&Статистика"));
  stat->addAction(a.read);
  stat->addAction(a.readTek);
  stat->addAction(a.check);
  stat->addAction(a.stop);
  stat->addSeparator();
  stat->addAction(a.exportReport);
  stat->addAction(a.techInfo);
  stat->addAction(a.situations);

  QMenu* settings = bar->addMenu(QStringLiteral("&Настройки"));
  settings->addAction(a.connection);
  settings->addAction(a.scan);
  QMenu* report = settings->addMenu(QStringLiteral("Отчет"));
  report->addAction(a.reportParams);

  m.window = bar->addMenu(QStringLiteral("&Окно"));

  QMenu* help = bar->addMenu(QStringLiteral("Спр&авка"));
  help->addAction(a.help);
  help->addAction(a.about);
  return m;
}

QSpinBox* AddMainToolBar(QMainWindow& frame, const MainActions& a) {
  QToolBar* bar = frame.addToolBar(QStringLiteral("Панель инструментов"));
  bar->setObjectName(QStringLiteral("MainToolBar"));
  bar->setMovable(false);
  bar->addAction(a.newFile);
  bar->addAction(a.open);
  bar->addAction(a.save);
  bar->addSeparator();
  bar->addAction(a.read);
  bar->addAction(a.readTek);
  bar->addAction(a.check);
  bar->addAction(a.stop);
  bar->addAction(a.exportReport);
  bar->addSeparator();
  bar->addWidget(new QLabel(QStringLiteral(" Сет. адрес  "), bar));
  auto* address = new QSpinBox(bar);
  address->setRange(0, 100000000);
  address->setSingleStep(1);
  address->setFrame(false);
  address->setMinimumWidth(90);
  address->setToolTip(QStringLiteral("Сетевой адрес прибора"));
  bar->addWidget(address);
  bar->addSeparator();
  // The way in for a first start: the connection is set here.
  bar->addAction(a.connection);
  return address;
}

void FillWindowMenu(QMenu& menu, const MainActions& a, QMdiArea& mdi) {
  menu.clear();
  menu.addAction(a.topMost);
  menu.addAction(a.cascade);
  menu.addAction(a.closeAll);
  menu.addAction(a.messages);
  menu.addAction(a.traffic);
  const auto windows = mdi.subWindowList();
  if (!windows.isEmpty()) menu.addSeparator();
  int n = 0;
  for (QMdiSubWindow* sub : windows) {
    ++n;
    const QString text = (n < 10 ? QStringLiteral("&%1 ").arg(n) : QStringLiteral("%1 ").arg(n)) + sub->windowTitle();
    QAction* item = menu.addAction(text);
    item->setCheckable(true);
    item->setChecked(sub == mdi.activeSubWindow());
    QObject::connect(item, &QAction::triggered, &mdi, [mdi = &mdi, sub = QPointer<QMdiSubWindow>(sub)] {
      if (!sub) return;
      if (sub->isMinimized()) sub->showNormal();
      mdi->setActiveSubWindow(sub);
    });
  }
}

}  // namespace statvtk::app
