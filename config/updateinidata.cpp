// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/updateinidata.h"

#include "config/configuration.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

QString UpdateIniData::filename()
{
    return Configuration::getAppRootPath() + "/update.ini";
}

bool UpdateIniData::get(int* version, QString* type, QString* dir)
{
    QSettings settings(filename(), QSettings::IniFormat);
    settings.beginGroup("current");
    bool ok = false;
    const int storedVersion = Configuration::settingText(settings, "version").toInt(&ok);
    const QString storedDir = Configuration::settingText(settings, "dir");
    const QString storedType = Configuration::settingText(settings, "type");
    settings.endGroup();

    if (!ok || storedType.isEmpty() || storedDir.isEmpty())
        return false;
    if (!QFileInfo::exists(storedDir))
        return false;

    if (version)
        *version = storedVersion;
    if (type)
        *type = storedType;
    if (dir)
        *dir = storedDir;
    return true;
}

void UpdateIniData::modify(int version, const QString& dir, const QString& type)
{
    QSettings settings(filename(), QSettings::IniFormat);
    settings.beginGroup("current");
    settings.setValue("version", version);
    settings.setValue("dir", dir);
    settings.setValue("type", type);
    settings.endGroup();
    settings.sync();
}

void UpdateIniData::cleanup()
{
    QSettings settings(filename(), QSettings::IniFormat);
    settings.remove("current");
    settings.sync();
}
