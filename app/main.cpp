// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "app/singleinstancechecker.h"
#include "config/configuration.h"
#include "engine/updateengine.h"

#include <QApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    // Backups of files that were in use during the last update.
    const QString root = Configuration::getAppRootPath();
    UpdateEngine::removeOldFiles(root);
    UpdateEngine::removeOldFiles(root + "/imageformats");
    UpdateEngine::removeOldFiles(root + "/accessible");

    if (SingleInstanceChecker::checkExistingInstance("#"))
        return 0;

    const QString locale = QLocale::system().name();
    QTranslator updateTranslator;
    (void)updateTranslator.load(root + "/translations/update_" + locale);
    app.installTranslator(&updateTranslator);
    QTranslator qtTranslator;
    (void)qtTranslator.load(root + "/translations/qt_" + locale);
    app.installTranslator(&qtTranslator);

    Configuration configuration;
    // Holds the installation's name while the command line (and with it the
    // version query) is handled, so a second start hands over to this one.
    SingleInstanceChecker instanceGuard(nullptr);

    if (!configuration.parseCommandLineOptions())
        return 1;
    return 0;
}
