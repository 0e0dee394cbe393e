// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QObject>

class QSettings;
#include <QPair>
#include <QString>
#include <QStringList>

#include "config/updatechecker.h"

// The facts of one updater run. One per process, created by main() before the
// window and outliving everything that refers to it. Main thread only; other
// code reads the public members directly.
class Configuration : public QObject
{
    Q_OBJECT
public:
    Configuration();

    // The installation directory (the updater executable's directory).
    static QString getAppRootPath();
    // In-process tests point the installation elsewhere so that parallel test
    // executables never share one update.ini; an empty path restores the default.
    // The updater itself never calls it.
    static void overrideAppRootPathForTesting(const QString& path);
    // "client_linux_x86".
    static QString getUpdateType();
    // "cvxclient_runscript.sh", the client's start script in the installation.
    static QString getClientBinaryName();
    // A new list of the files the running updater holds open, in fixed order.
    static QStringList getSpecialFileNames();
    // "_old_", one process-wide string.
    static const QString& getSpecialFileRenamePrefix();
    // The update server host (version and banner services): key "server" of
    // group "update" in update.ini, else the compiled-in default.
    static QString getUpdateServerHost();
    static QString getDefaultUpdateServerHost();
    // A settings value as the text the file holds: QSettings hands a value
    // containing a comma back as a string list.
    static QString settingText(const QSettings& settings, const QString& key);

    // True when the run's type and version are known. Emits fatalError on an
    // invalid version; may block on the version query and its retry box.
    bool parseCommandLineOptions();
    // Same, on an explicit argument list (argument 0 is the program).
    bool parseCommandLineOptions(const QStringList& args);
    bool getClientTypeVersion(const QStringList& args, int index);
    bool getClientVersionFromString(const QString& text, const QString& errorFormat);
    bool getDefaultParameters();
    bool isSpecialFileName(const QString& name) const;
    void getProxyAndDownloadConcurrency();
    // Creates a fresh "corvane_temp_<n>" in the system temporary directory.
    bool createTempDir();
    // Adopts previousDir, or creates a fresh directory when it is empty.
    bool initalizeStart(const QString& previousDir);

    // Sets m_updateChannel and m_clientVersion (pinned alpha revision or 0).
    void getUpdateChannel();
    // (version number text, version text); empty when the user aborted or the
    // reply has no entry for channel. On a successful query news gets the news text.
    QPair<QString, QString> getLatestClientVersion(UpdateChannel channel, QString& news);

    int m_unattended;
    UpdateChannel m_updateChannel;
    QString m_clientType;
    int m_clientVersion;
    QString m_versionText;
    QString m_newsText;
    QString m_tempDir;
    QString m_proxy;
    int m_downloadStreams;

signals:
    void fatalError(QString errorMessage);
    void message(QString message);

protected:
    // Shows the Retry/Abort box after a failed query; true means retry.
    // Tests override it so that no box waits for a user.
    virtual bool askRetryQuery();
};
