// The GUI tests' entry: the application object first (the tests need the display Xvfb gives),
// the German translations as the program loads them, then GoogleTest.

#include <gtest/gtest.h>

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "gui/RRApplication.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  rr::TRRApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  QTranslator translations;
  if (translations.load(QLocale(QLocale::German), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&translations);
  return RUN_ALL_TESTS();
}
