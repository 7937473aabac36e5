// The frame's commands as actions, and the menus and toolbar that show them.
// What the commands do, and when they are enabled, is the frame's business.
#pragma once

class QAction;
class QMainWindow;
class QMdiArea;
class QMenu;
class QSpinBox;
class QWidget;

namespace statvtk::app {

// The menu commands, declared once and shared by menus and toolbar.
struct MainActions {
  QAction* newFile = nullptr;
  QAction* open = nullptr;
  QAction* save = nullptr;
  QAction* exit = nullptr;
  QAction* read = nullptr;     // NRead / ToolButtonRead
  QAction* readTek = nullptr;  // NReadTek / ToolButtonReadTek
  QAction* check = nullptr;    // "Проверить связь"
  QAction* stop = nullptr;
  QAction* exportReport = nullptr;
  QAction* techInfo = nullptr;
  QAction* situations = nullptr;  // "Нештатные ситуации"
  QAction* connection = nullptr;
  QAction* scan = nullptr;  // "Поиск приборов..."
  QAction* reportParams = nullptr;
  QAction* topMost = nullptr;
  QAction* cascade = nullptr;
  QAction* closeAll = nullptr;  // "Закрыть все"
  QAction* traffic = nullptr;
  QAction* messages = nullptr;
  QAction* help = nullptr;
  QAction* about = nullptr;
};

// The actions with their texts, hints, icons and short-cuts, owned by `owner`.
MainActions MakeMainActions(QWidget* owner);

struct MainMenus {
  QMenu* recent = nullptr;  // "Последние файлы"
  QMenu* window = nullptr;  // "Окно", refilled before each showing
};
MainMenus AddMainMenus(QMainWindow& frame, const MainActions& a);

// The toolbar; returns the network-address field it carries.
QSpinBox* AddMainToolBar(QMainWindow& frame, const MainActions& a);

// "Окно": the fixed entries, then one checkable entry per child window.
void FillWindowMenu(QMenu& menu, const MainActions& a, QMdiArea& mdi);

}  // namespace statvtk::app
