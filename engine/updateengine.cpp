// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "engine/updateengine.h"

#include "config/configuration.h"

#include <QFile>
#include <QStringList>

void UpdateEngine::removeOldFiles(const QString& directory)
{
    const QString& prefix = Configuration::getSpecialFileRenamePrefix();
    const QStringList names = Configuration::getSpecialFileNames();
    for (const QString& name : names)
        QFile::remove(directory + "/" + prefix + name);
}
