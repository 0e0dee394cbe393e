// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers

// update.ini, as a user may have edited it, read by everything that reads it:
// the channel rules, the network settings, the alpha mirror pool and the
// session record. Writing and
// removing the session record must leave the user's settings as they were.
// The installation directory is the target's own build directory.

#include "fuzzsupport.h"

#include "config/configuration.h"
#include "config/updateinidata.h"
#include "download/mirrors.h"

#include <QDir>
#include <QFileInfo>

namespace {

struct Settings
{
    UpdateChannel channel;
    int clientVersion;
    QString proxy;
    int streams;

    bool operator==(const Settings& other) const
    {
        return channel == other.channel && clientVersion == other.clientVersion
            && proxy == other.proxy && streams == other.streams;
    }
};

Settings readSettings()
{
    Configuration configuration;
    configuration.getUpdateChannel();
    configuration.getProxyAndDownloadConcurrency();
    const Settings settings { configuration.m_updateChannel, configuration.m_clientVersion,
                              configuration.m_proxy, configuration.m_downloadStreams };
    fuzzCheck(settings.channel == StableChannel || settings.channel == BetaChannel
                  || settings.channel == AlphaChannel,
              "channel is one of the three");
    fuzzCheck(settings.channel == AlphaChannel || settings.clientVersion == 0,
              "only the alpha channel pins a version");
    fuzzCheck(settings.streams >= 1, "at least one download stream");
    return settings;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzInitApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzWriteFile(UpdateIniData::filename(), fuzzBytes(data, size));

    const Settings before = readSettings();

    // The alpha channel's one-mirror pool comes from the same file.
    Mirrors pool(nullptr);
    const bool alpha = pool.initAlpha(UpdateIniData::filename(), 77);
    fuzzCheck(alpha == (before.channel == AlphaChannel), "an alpha pool exactly on the alpha channel");
    fuzzCheck(pool.mirrorList().size() == (alpha ? 1 : 0), "at most the one alpha mirror");
    if (alpha)
        fuzzCheck(pool.mirrorList().first().url.endsWith(QLatin1String("/77"))
                      && pool.mirrorList().first().retries == 4,
                  "alpha mirror record");

    int version = -12345;
    QString type = QStringLiteral("untouched");
    QString dir = QStringLiteral("untouched");
    if (UpdateIniData::get(&version, &type, &dir)) {
        fuzzCheck(!type.isEmpty() && !dir.isEmpty() && QFileInfo::exists(dir), "valid record");
    } else {
        fuzzCheck(version == -12345 && type == QLatin1String("untouched")
                      && dir == QLatin1String("untouched"),
                  "an invalid record touches no output");
    }
    fuzzCheck(UpdateIniData::get(nullptr, nullptr, nullptr) == (dir != QLatin1String("untouched")),
              "null outputs give the same verdict");

    const QString sessionDir = Configuration::getAppRootPath();
    UpdateIniData::modify(4711, sessionDir, Configuration::getUpdateType());
    version = 0;
    type.clear();
    dir.clear();
    fuzzCheck(UpdateIniData::get(&version, &type, &dir), "a written record reads back");
    fuzzCheck(version == 4711 && dir == sessionDir && type == Configuration::getUpdateType(),
              "the record reads back unchanged");
    fuzzCheck(readSettings() == before, "writing the record keeps the settings");

    UpdateIniData::cleanup();
    fuzzCheck(!UpdateIniData::get(nullptr, nullptr, nullptr), "no record after clean-up");
    fuzzCheck(readSettings() == before, "removing the record keeps the settings");
    return 0;
}
