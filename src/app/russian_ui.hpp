// The program speaks Russian under any system locale: the default locale
// (dates, numbers, calendar) and Qt's own texts (file dialogs, context menus,
// standard buttons) from Qt's translations.
#pragma once

#include <QObject>

namespace statvtk::app {

// Sets the Russian locale and installs Qt's Russian translations into the
// application, parented to `owner`; false when the translations are not
// installed (the texts of Qt's own dialogs then stay as the system has them).
bool UseRussian(QObject* owner);

}  // namespace statvtk::app
