// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QVariant>

#include <memory>

namespace {

const char DefaultUpdateServerHost[] = "update.corvane.example";

QString& appRootOverride()
{
    static QString path;
    return path;
}

QString settingsFile()
{
    return Configuration::getAppRootPath() + "/update.ini";
}

} // namespace

Configuration::Configuration()
    : QObject(nullptr)
    , m_unattended(0)
    , m_updateChannel(StableChannel)
    , m_clientVersion(0)
    , m_downloadStreams(0)
{
}

QString Configuration::getAppRootPath()
{
    if (!appRootOverride().isEmpty())
        return appRootOverride();
    return QCoreApplication::applicationDirPath();
}

void Configuration::overrideAppRootPathForTesting(const QString& path)
{
    appRootOverride() = path;
}

QString Configuration::getUpdateType()
{
    return QStringLiteral("client_linux_x86");
}

QString Configuration::getClientBinaryName()
{
    return QStringLiteral("cvxclient_runscript.sh");
}

QStringList Configuration::getSpecialFileNames()
{
    return QStringList()
        << QStringLiteral("update")
        << QStringLiteral("libQtCore.so.4")
        << QStringLiteral("libQtGui.so.4")
        << QStringLiteral("libQtNetwork.so.4")
        << QStringLiteral("libqgif.so")
        << QStringLiteral("libqjpeg.so")
        << QStringLiteral("libqtaccessiblewidgets.so");
}

const QString& Configuration::getSpecialFileRenamePrefix()
{
    static const QString prefix = QStringLiteral("_old_");
    return prefix;
}

QString Configuration::settingText(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    // Values written in this process come back with their own type, not as text.
    return value.toString();
}

QString Configuration::getDefaultUpdateServerHost()
{
    return QString::fromLatin1(DefaultUpdateServerHost);
}

QString Configuration::getUpdateServerHost()
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.beginGroup("update");
    const QString host = settingText(settings, "server").trimmed();
    settings.endGroup();
    return host.isEmpty() ? getDefaultUpdateServerHost() : host;
}

bool Configuration::parseCommandLineOptions()
{
    return parseCommandLineOptions(QCoreApplication::arguments());
}

bool Configuration::parseCommandLineOptions(const QStringList& args)
{
    const int n = args.size();
    getUpdateChannel();
    m_unattended = 0;

    if (n >= 2 && args.at(1) == QLatin1String("--nouser")) {
        if (n >= 4 && !getClientTypeVersion(args, 2))
            return false;
        if (n >= 5 && args.at(4) != QLatin1String("#"))
            m_versionText = args.at(4);
        if (n >= 6)
            m_newsText = args.at(5);
        if (!getDefaultParameters())
            return false;
        m_unattended = 1;
        return true;
    }
    if (n == 3)
        return getClientTypeVersion(args, 1);
    return getDefaultParameters();
}

bool Configuration::getClientTypeVersion(const QStringList& args, int index)
{
    m_clientType = args.at(index);
    return getClientVersionFromString(args.at(index + 1),
                                      QObject::tr("Invalid version nr (%1)"));
}

bool Configuration::getClientVersionFromString(const QString& text, const QString& errorFormat)
{
    if (m_clientVersion != 0)
        return true;
    bool ok = false;
    m_clientVersion = text.toInt(&ok, 10);
    if (ok)
        return true;
    m_clientVersion = 0;
    emit fatalError(errorFormat.arg(text));
    return false;
}

bool Configuration::getDefaultParameters()
{
    if (m_clientType.isEmpty())
        m_clientType = getUpdateType();
    if (m_clientVersion != 0)
        return true;

    const QPair<QString, QString> latest = getLatestClientVersion(m_updateChannel, m_newsText);
    if (latest.first.isEmpty())
        return false;
    if (!getClientVersionFromString(latest.first,
                                    QObject::tr("Update server returned invalid version nr (%1)")))
        return false;
    m_versionText = latest.second;
    return true;
}

bool Configuration::isSpecialFileName(const QString& name) const
{
    return getSpecialFileNames().contains(name, Qt::CaseSensitive);
}

void Configuration::getProxyAndDownloadConcurrency()
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.beginGroup("update");
    m_proxy = settingText(settings, "proxy");
    bool ok = false;
    const int streams = settingText(settings, "streams").trimmed().toInt(&ok);
    m_downloadStreams = (ok && streams >= 1) ? streams : 6;
    settings.endGroup();
}

bool Configuration::createTempDir()
{
    QString base = QDir::tempPath();
    if (base.isEmpty()) {
        emit fatalError("Unable to get temp directory.");
        return false;
    }
    if (!base.endsWith('/'))
        base += '/';
    base += QLatin1String("corvane_temp_");

    for (int i = 0; i < 1000; ++i) {
        const QString candidate = base + QString::number(i);
        const QFileInfo info(candidate);
        // A dangling symlink does not "exist" but must not be taken either.
        if (info.exists() || info.isSymLink())
            continue;
        // mkdir (not mkpath) on the last step, so that a directory created by
        // someone else in between is never adopted.
        if (!QDir().mkpath(info.absolutePath()) || !QDir().mkdir(candidate))
            continue;
        m_tempDir = candidate;
        return true;
    }
    emit fatalError("Unable to create temp directory.");
    return false;
}

bool Configuration::initalizeStart(const QString& previousDir)
{
    if (previousDir.isEmpty())
        return createTempDir();
    m_tempDir = previousDir;
    return true;
}

void Configuration::getUpdateChannel()
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.beginGroup("Channel");
    const QString alpha = settingText(settings, "alpha");
    const QString betaText = settingText(settings, "beta");
    const bool beta = !(betaText.isEmpty() || betaText == QLatin1String("0")
                        || betaText.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
    if (!alpha.isEmpty()) {
        m_updateChannel = AlphaChannel;
        m_clientVersion = settingText(settings, "alphaRevno").toInt();
    } else {
        m_updateChannel = beta ? BetaChannel : StableChannel;
        m_clientVersion = 0;
    }
    settings.endGroup();
}

QPair<QString, QString> Configuration::getLatestClientVersion(UpdateChannel channel, QString& news)
{
    std::unique_ptr<UpdateChecker> checker(new UpdateChecker(getUpdateServerHost()));
    while (!checker->checkUpdate()) {
        if (!askRetryQuery())
            return QPair<QString, QString>();
    }
    news = checker->m_news;
    return checker->getClientVersionByChannel(channel);
}

bool Configuration::askRetryQuery()
{
    const QMessageBox::StandardButton answer = QMessageBox::critical(
        nullptr, QObject::tr("Error"),
        QObject::tr("Failed to query latest client\nversion from update server."),
        QMessageBox::Retry | QMessageBox::Abort, QMessageBox::NoButton);
    return answer != QMessageBox::Abort;
}
