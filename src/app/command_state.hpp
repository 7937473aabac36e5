// Which of the frame's commands are enabled, decided in one place from the
// kind of the active child window, what is running, whether an instrument is
// known and whether the read parameters are being asked.
#pragma once

namespace statvtk::app {

enum class ActiveChild { None, Statistics, LoadedStatistics, Current, Other };

enum class Activity {
  Idle,        // nothing runs
  Statistics,  // a statistics read (or identification) runs
  Polling      // current readings are being polled (a window's timer or its read)
};

struct CommandState {
  bool read = false;     // "Прочитать статистику из прибора"
  bool readTek = false;  // "Прочитать текущие из прибора"
  bool check = false;    // "Проверить связь"
  bool stop = false;     // "Остановить чтение"
  bool scan = false;     // "Поиск приборов..." (the search takes the line)
  bool save = false;     // "Сохранить..."
  bool exportReport = false;
  bool techInfo = false;    // "Техническая информация"
  bool situations = false;  // "Нештатные ситуации": of a loaded statistics window
};

// `deviceKnown`: a reading has left an instrument's header block behind.
// `asking`: the read parameters dialog is up (the reads wait for its answer).
CommandState DecideCommands(ActiveChild child, Activity activity, bool deviceKnown, bool asking = false);

}  // namespace statvtk::app
