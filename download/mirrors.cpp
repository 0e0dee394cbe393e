// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/mirrors.h"

#include <algorithm>

#include "config/configuration.h"
#include "config/randomgenerator.h"

namespace {
QString versionedUrl(QString base, int version)
{
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QString::number(version);
}
}

Mirrors::Mirrors(QObject* parent)
    : QObject(parent)
    , noMirrorsReported(false)
{
}

bool Mirrors::initDefault(const QString& iniPath, int version)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    const int size = settings.beginReadArray(QStringLiteral("mirrors"));
    // Only the entries present are visited (absent ones have no name and would
    // be skipped): a huge "size" in an edited file must not hang the updater.
    QList<int> present;
    for (const QString& group : settings.childGroups()) {
        bool ok = false;
        const int number = group.toInt(&ok);
        if (ok && number >= 1 && number <= size && group == QString::number(number))
            present.append(number);
    }
    std::sort(present.begin(), present.end());
    for (const int number : present) {
        settings.setArrayIndex(number - 1);
        FTPSiteAccessData record;
        record.name = settings.value(QStringLiteral("mirror")).toString().trimmed();
        if (!record.name.isEmpty())
            mirrors.append(record);
    }
    settings.endArray();
    setDefaults(settings, version);
    return true;
}

bool Mirrors::initAlpha(const QString& updateIniPath, int version)
{
    QSettings settings(updateIniPath, QSettings::IniFormat);
    const QString alpha = Configuration::settingText(settings, QStringLiteral("Channel/alpha"));
    if (alpha.isEmpty()) {
        emit fatalError(QStringLiteral("Alpha parameter in channel section in update ini file not found"));
        return false;
    }
    FTPSiteAccessData record;
    record.name = QStringLiteral("Alpha Channel");
    record.url = versionedUrl(alpha, version);
    record.retries = 4;
    mirrors.append(record);
    return true;
}

void Mirrors::setDefaults(QSettings& settings, int version)
{
    for (FTPSiteAccessData& record : mirrors) {
        settings.beginGroup(record.name);
        const QString url = Configuration::settingText(settings, QStringLiteral("url"));
        record.url = versionedUrl(url, version);
        bool ok = false;
        const uint retries = settings.value(QStringLiteral("retries"), 2u).toUInt(&ok);
        record.retries = ok ? qint32(retries) : 0;
        if (record.retries <= 0)
            record.retries = 2;
        settings.endGroup();
    }
}

int Mirrors::getRandomMirror(FTPSiteAccessData& out)
{
    if (mirrors.isEmpty()) {
        if (!noMirrorsReported) {
            emit message(tr("There are no (more) known working mirrors available"));
            noMirrorsReported = true;
        }
        return 1;
    }
    int slotCount = 0;
    int inUse = 0;
    calcUseStats(slotCount, inUse);
    if (inUse >= slotCount)
        return 2;
    int r = RandomGenerator::next() % (slotCount - inUse);
    for (FTPSiteAccessData& record : mirrors) {
        r -= record.maxConnections - record.activeConnections;
        if (r < 0) {
            ++record.activeConnections;
            out = record;
            return 0;
        }
    }
    return 1;
}

void Mirrors::releaseMirror(const QString& name)
{
    const int index = getMirrorIndex(name);
    if (index >= 0)
        --mirrors[index].activeConnections;
}

void Mirrors::addMirrorError(const QString& name)
{
    const int index = getMirrorIndex(name);
    if (index < 0)
        return;
    FTPSiteAccessData& record = mirrors[index];
    ++record.errorCount;
    if (record.errorCount <= record.retries)
        return;
    emit message(tr("Mirror %1 failed too many times, removing").arg(record.name));
    mirrors.remove(index);
}

void Mirrors::removeMirror(const QString& name)
{
    const int index = getMirrorIndex(name);
    if (index >= 0)
        mirrors.remove(index);
}

int Mirrors::getMirrorIndex(const QString& name) const
{
    for (int i = 0; i < mirrors.size(); ++i) {
        if (mirrors.at(i).name == name)
            return i;
    }
    return -1;
}

void Mirrors::calcUseStats(int& slotCount, int& inUse) const
{
    slotCount = 0;
    inUse = 0;
    for (const FTPSiteAccessData& record : mirrors) {
        slotCount += record.maxConnections;
        inUse += record.activeConnections;
    }
}
