#include "app/russian_ui.hpp"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace statvtk::app {

bool UseRussian(QObject* owner) {
  const QLocale russian(QLocale::Russian, QLocale::Russia);
  QLocale::setDefault(russian);
  auto qt = std::make_unique<QTranslator>();
  if (!qt->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  qt->setParent(owner);
  QCoreApplication::installTranslator(qt.release());
  return true;
}

}  // namespace statvtk::app
