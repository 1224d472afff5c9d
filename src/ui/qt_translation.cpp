#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace ph {

using namespace Qt::StringLiterals;

bool LoadQtChineseTranslation() {
  static bool installed = false;
  if (installed) return true;
  const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  // The application owns the translator: it is asked for texts as long as dialogs can open.
  auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
  if (!translator->load(u"qtbase_zh_CN"_s, directory)) {
    qWarning("qtbase_zh_CN.qm is missing from %s: dialog buttons stay in English",
             qPrintable(directory));
    return false;
  }
  installed = QCoreApplication::installTranslator(translator.release());
  return installed;
}

}  // namespace ph
