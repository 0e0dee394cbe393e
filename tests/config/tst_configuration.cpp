// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/configuration.h"
#include "testlib/versionserviceprocess.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QtTest>

#include <functional>

namespace {

const char ServiceAddress[] = "127.0.2.21";
const QString ThreeChannels = "100#3.0.1,101#3.0.2-beta,102";

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

// Stands in for the user at the Retry/Abort box.
class ScriptedConfiguration : public Configuration
{
public:
    std::function<bool()> answer;
    int asked = 0;
    bool realBox() { return Configuration::askRetryQuery(); }

protected:
    bool askRetryQuery() override
    {
        ++asked;
        return answer ? answer() : false;
    }
};

} // namespace

class TestConfiguration : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void staticFacts();
    void specialFileName_data();
    void specialFileName();
    void channel_data();
    void channel();
    void proxyAndStreams_data();
    void proxyAndStreams();
    void serverHost_data();
    void serverHost();
    void commandLine_data();
    void commandLine();
    void queryRetryAndAbort_data();
    void queryRetryAndAbort();
    void retryBox_data();
    void retryBox();
    void createTempDir_data();
    void createTempDir();
    void tempDirFailures_data();
    void tempDirFailures();
    void initalizeStartAdoptsPreviousDir();

private:
    QString iniPath() const { return m_root->path() + "/update.ini"; }

    QTemporaryDir* m_root = nullptr;
};

void TestConfiguration::init()
{
    m_root = new QTemporaryDir;
    QVERIFY(m_root->isValid());
    Configuration::overrideAppRootPathForTesting(m_root->path());
}

void TestConfiguration::cleanup()
{
    Configuration::overrideAppRootPathForTesting(QString());
    delete m_root;
    m_root = nullptr;
}

void TestConfiguration::staticFacts()
{
    QCOMPARE(Configuration::getAppRootPath(), m_root->path());
    Configuration::overrideAppRootPathForTesting(QString());
    QCOMPARE(Configuration::getAppRootPath(), QCoreApplication::applicationDirPath());

    QCOMPARE(Configuration::getUpdateType(), QString("client_linux_x86"));
    QCOMPARE(Configuration::getClientBinaryName(), QString("cvxclient_runscript.sh"));
    QCOMPARE(Configuration::getSpecialFileNames(),
             QStringList() << "update" << "libQtCore.so.4" << "libQtGui.so.4" << "libQtNetwork.so.4"
                           << "libqgif.so" << "libqjpeg.so" << "libqtaccessiblewidgets.so");
    QCOMPARE(Configuration::getSpecialFileRenamePrefix(), QString("_old_"));
    QCOMPARE(&Configuration::getSpecialFileRenamePrefix(), &Configuration::getSpecialFileRenamePrefix());

    // A caller changing its copy does not change the next one.
    QStringList names = Configuration::getSpecialFileNames();
    names.clear();
    QCOMPARE(Configuration::getSpecialFileNames().size(), 7);

    Configuration fresh;
    QCOMPARE(fresh.m_unattended, 0);
    QCOMPARE(int(fresh.m_updateChannel), int(StableChannel));
    QCOMPARE(fresh.m_clientVersion, 0);
    QCOMPARE(fresh.m_downloadStreams, 0);
    QVERIFY(fresh.m_clientType.isEmpty() && fresh.m_tempDir.isEmpty() && fresh.m_proxy.isEmpty());
    QVERIFY(fresh.parent() == nullptr);
}

void TestConfiguration::specialFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("special");
    for (const QString& name : Configuration::getSpecialFileNames())
        QTest::newRow(qPrintable(name)) << name << true;
    QTest::newRow("other case") << "Update" << false;
    QTest::newRow("further version suffix") << "libQtCore.so.4.8" << false;
    QTest::newRow("backup name") << "_old_update" << false;
    QTest::newRow("in a directory") << "imageformats/libqjpeg.so" << false;
    QTest::newRow("empty") << "" << false;
}

void TestConfiguration::specialFileName()
{
    QFETCH(QString, name);
    QFETCH(bool, special);
    Configuration configuration;
    QCOMPARE(configuration.isSpecialFileName(name), special);
}

void TestConfiguration::channel_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("version");

    QTest::newRow("no file") << QByteArray() << int(StableChannel) << 0;
    QTest::newRow("empty section") << QByteArray("[Channel]\n") << int(StableChannel) << 0;
    QTest::newRow("beta 1") << QByteArray("[Channel]\nbeta=1\n") << int(BetaChannel) << 0;
    QTest::newRow("beta yes") << QByteArray("[Channel]\nbeta=yes\n") << int(BetaChannel) << 0;
    QTest::newRow("beta true") << QByteArray("[Channel]\nbeta=true\n") << int(BetaChannel) << 0;
    QTest::newRow("beta FALSE") << QByteArray("[Channel]\nbeta=FALSE\n") << int(StableChannel) << 0;
    QTest::newRow("beta 0") << QByteArray("[Channel]\nbeta=0\n") << int(StableChannel) << 0;
    QTest::newRow("beta empty") << QByteArray("[Channel]\nbeta=\n") << int(StableChannel) << 0;
    QTest::newRow("beta with comma") << QByteArray("[Channel]\nbeta=0,0\n") << int(BetaChannel) << 0;
    QTest::newRow("beta in another section") << QByteArray("[update]\nbeta=1\n") << int(StableChannel) << 0;
    QTest::newRow("key case matters") << QByteArray("[Channel]\nBeta=1\n") << int(StableChannel) << 0;
    QTest::newRow("alpha wins over beta")
        << QByteArray("[Channel]\nalpha=http://alpha.example/tree\nbeta=true\n") << int(AlphaChannel) << 0;
    QTest::newRow("alpha pinned")
        << QByteArray("[Channel]\nalpha=http://alpha.example/tree\nalphaRevno=4711\n") << int(AlphaChannel) << 4711;
    QTest::newRow("alpha revno not a number")
        << QByteArray("[Channel]\nalpha=http://alpha.example/tree\nalphaRevno=abc\n") << int(AlphaChannel) << 0;
    QTest::newRow("alpha url with comma")
        << QByteArray("[Channel]\nalpha=\"http://a.example/x,y\"\nalphaRevno=9\n") << int(AlphaChannel) << 9;
    QTest::newRow("revno without alpha ignored")
        << QByteArray("[Channel]\nalphaRevno=4711\nbeta=1\n") << int(BetaChannel) << 0;
    QTest::newRow("alpha empty") << QByteArray("[Channel]\nalpha=\nalphaRevno=5\n") << int(StableChannel) << 0;
}

void TestConfiguration::channel()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, channel);
    QFETCH(int, version);
    if (!ini.isNull())
        writeFile(iniPath(), ini);
    Configuration configuration;
    configuration.m_clientVersion = 99; // a stale value must be replaced
    configuration.getUpdateChannel();
    QCOMPARE(int(configuration.m_updateChannel), channel);
    QCOMPARE(configuration.m_clientVersion, version);
}

void TestConfiguration::proxyAndStreams_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("proxy");
    QTest::addColumn<int>("streams");

    QTest::newRow("no file") << QByteArray() << "" << 6;
    QTest::newRow("streams 0") << QByteArray("[update]\nstreams=0\n") << "" << 6;
    QTest::newRow("streams -3") << QByteArray("[update]\nstreams=-3\n") << "" << 6;
    QTest::newRow("streams word") << QByteArray("[update]\nstreams=many\n") << "" << 6;
    QTest::newRow("streams 1") << QByteArray("[update]\nstreams=1\n") << "" << 1;
    QTest::newRow("streams 20") << QByteArray("[update]\nstreams=20\n") << "" << 20;
    QTest::newRow("proxy") << QByteArray("[update]\nproxy=http://proxy.example:8080\n")
                           << "http://proxy.example:8080" << 6;
    QTest::newRow("proxy with comma") << QByteArray("[update]\nproxy=a,b\n") << "a,b" << 6;
    QTest::newRow("other section") << QByteArray("[Channel]\nproxy=x\nstreams=3\n") << "" << 6;
}

void TestConfiguration::proxyAndStreams()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, proxy);
    QFETCH(int, streams);
    if (!ini.isNull())
        writeFile(iniPath(), ini);
    Configuration configuration;
    configuration.getProxyAndDownloadConcurrency();
    QCOMPARE(configuration.m_proxy, proxy);
    QCOMPARE(configuration.m_downloadStreams, streams);
}

void TestConfiguration::serverHost_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("host");
    const QString fallback = Configuration::getDefaultUpdateServerHost();
    QTest::newRow("no file") << QByteArray() << fallback;
    QTest::newRow("empty") << QByteArray("[update]\nserver=\n") << fallback;
    QTest::newRow("address") << QByteArray("[update]\nserver=127.0.0.5\n") << "127.0.0.5";
    QTest::newRow("name") << QByteArray("[update]\nserver=updates.corvane.example\n") << "updates.corvane.example";
    QTest::newRow("other section") << QByteArray("[Channel]\nserver=127.0.0.5\n") << fallback;
}

void TestConfiguration::serverHost()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, host);
    QVERIFY(Configuration::getDefaultUpdateServerHost().endsWith(".example"));
    if (!ini.isNull())
        writeFile(iniPath(), ini);
    QCOMPARE(Configuration::getUpdateServerHost(), host);
}

void TestConfiguration::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("channelIni");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("versionText");
    QTest::addColumn<QString>("news");
    QTest::addColumn<int>("unattended");
    QTest::addColumn<bool>("queried");
    QTest::addColumn<QString>("fatal");

    const QString p = "update";
    const QString t = "client_linux_x86";
    const QString news = "Fresh <b>news</b>";
    const QByteArray stable;
    QTest::newRow("no arguments") << QStringList{p} << stable << ThreeChannels
        << true << t << 100 << "3.0.1" << news << 0 << true << "";
    QTest::newRow("type and version") << QStringList{p, "client_linux_x86", "1234"} << stable << ThreeChannels
        << true << t << 1234 << "" << "" << 0 << false << "";
    QTest::newRow("own type") << QStringList{p, "client_other", "77"} << stable << ThreeChannels
        << true << "client_other" << 77 << "" << "" << 0 << false << "";
    QTest::newRow("nouser full with placeholder") << QStringList{p, "--nouser", t, "1234", "#", "Some news"}
        << stable << ThreeChannels << true << t << 1234 << "" << "Some news" << 1 << false << "";
    QTest::newRow("nouser with version text") << QStringList{p, "--nouser", t, "1234", "3.5"}
        << stable << ThreeChannels << true << t << 1234 << "3.5" << "" << 1 << false << "";
    QTest::newRow("nouser alone") << QStringList{p, "--nouser"} << stable << ThreeChannels
        << true << t << 100 << "3.0.1" << news << 1 << true << "";
    QTest::newRow("nouser and one ignored") << QStringList{p, "--nouser", "client_other"} << stable << ThreeChannels
        << true << t << 100 << "3.0.1" << news << 1 << true << "";
    QTest::newRow("arguments after the sixth ignored")
        << QStringList{p, "--nouser", t, "55", "v", "n", "extra", "more"} << stable << ThreeChannels
        << true << t << 55 << "v" << "n" << 1 << false << "";
    QTest::newRow("one argument") << QStringList{p, "client_other"} << stable << ThreeChannels
        << true << t << 100 << "3.0.1" << news << 0 << true << "";
    QTest::newRow("three arguments") << QStringList{p, "client_other", "5", "x"} << stable << ThreeChannels
        << true << t << 100 << "3.0.1" << news << 0 << true << "";
    QTest::newRow("nouser not first") << QStringList{p, "client_other", "--nouser"} << stable << ThreeChannels
        << false << "client_other" << 0 << "" << "" << 0 << false << "Invalid version nr (--nouser)";
    QTest::newRow("invalid version") << QStringList{p, t, "12a"} << stable << ThreeChannels
        << false << t << 0 << "" << "" << 0 << false << "Invalid version nr (12a)";
    QTest::newRow("nouser invalid version") << QStringList{p, "--nouser", t, "x1", "#", "n"} << stable << ThreeChannels
        << false << t << 0 << "" << "" << 0 << false << "Invalid version nr (x1)";
    QTest::newRow("beta channel") << QStringList{p} << QByteArray("[Channel]\nbeta=yes\n") << ThreeChannels
        << true << t << 101 << "3.0.2-beta" << news << 0 << true << "";
    QTest::newRow("alpha channel queried") << QStringList{p} << QByteArray("[Channel]\nalpha=http://a.example\n")
        << ThreeChannels << true << t << 102 << "" << news << 0 << true << "";
    QTest::newRow("alpha pinned ignores version argument") << QStringList{p, t, "abc"}
        << QByteArray("[Channel]\nalpha=http://a.example\nalphaRevno=4711\n") << ThreeChannels
        << true << t << 4711 << "" << "" << 0 << false << "";
    QTest::newRow("alpha pinned no query") << QStringList{p, "--nouser"}
        << QByteArray("[Channel]\nalpha=http://a.example\nalphaRevno=4711\n") << ThreeChannels
        << true << t << 4711 << "" << "" << 1 << false << "";
    QTest::newRow("server version invalid") << QStringList{p} << stable << "1x2#a,101"
        << false << t << 0 << "" << news << 0 << true << "Update server returned invalid version nr (1x2)";
    QTest::newRow("no entry for channel") << QStringList{p, "--nouser"} << QByteArray("[Channel]\nbeta=1\n")
        << "100#3.0.1" << false << t << 0 << "" << news << 0 << true << "";
    QTest::newRow("empty entry for channel") << QStringList{p} << stable << ",,102#x"
        << false << t << 0 << "" << news << 0 << true << "";
}

void TestConfiguration::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, channelIni);
    QFETCH(QString, reply);
    QFETCH(bool, ok);
    QFETCH(QString, type);
    QFETCH(int, version);
    QFETCH(QString, versionText);
    QFETCH(QString, news);
    QFETCH(int, unattended);
    QFETCH(bool, queried);
    QFETCH(QString, fatal);

    VersionServiceProcess service(ServiceAddress);
    QVERIFY2(service.start(QStringList() << "--versions" << reply << "--news" << "Fresh <b>news</b>"),
             "versionservice did not start");
    writeFile(iniPath(), "[update]\nserver=" + QByteArray(ServiceAddress) + "\n" + channelIni);

    ScriptedConfiguration configuration;
    QSignalSpy fatalSpy(&configuration, SIGNAL(fatalError(QString)));
    QCOMPARE(configuration.parseCommandLineOptions(args), ok);
    QCOMPARE(configuration.m_clientType, type);
    QCOMPARE(configuration.m_clientVersion, version);
    QCOMPARE(configuration.m_versionText, versionText);
    QCOMPARE(configuration.m_newsText, news);
    QCOMPARE(configuration.m_unattended, unattended);
    QCOMPARE(configuration.asked, 0);
    if (fatal.isEmpty()) {
        QCOMPARE(fatalSpy.count(), 0);
    } else {
        QCOMPARE(fatalSpy.count(), 1);
        QCOMPARE(fatalSpy.at(0).at(0).toString(), fatal);
    }
    const QStringList requests = queried ? QStringList{"17384 3300", "17384 2a00"} : QStringList();
    QCOMPARE(service.settledDatagrams(), requests);
}

// A failed attempt asks the user; Retry repeats the query, Abort gives up.
void TestConfiguration::queryRetryAndAbort_data()
{
    QTest::addColumn<bool>("retry");
    QTest::newRow("abort") << false;
    QTest::newRow("retry") << true;
}

void TestConfiguration::queryRetryAndAbort()
{
    QFETCH(bool, retry);
    VersionServiceProcess service("127.0.2.22");
    QVERIFY(service.start(QStringList() << "--no-versions"));
    writeFile(iniPath(), "[update]\nserver=127.0.2.22\n");

    ScriptedConfiguration configuration;
    configuration.answer = [&]() {
        if (!retry)
            return false;
        // The service comes back before the user presses Retry.
        return service.start(QStringList() << "--versions" << ThreeChannels << "--news" << "later");
    };
    QString news = "unchanged";
    const QPair<QString, QString> result = configuration.getLatestClientVersion(BetaChannel, news);
    QCOMPARE(configuration.asked, 1);
    if (retry) {
        QCOMPARE(result, qMakePair(QString("101"), QString("3.0.2-beta")));
        QCOMPARE(news, QString("later"));
    } else {
        QVERIFY(result.first.isNull() && result.second.isNull());
        QCOMPARE(news, QString("unchanged"));
    }
}

void TestConfiguration::retryBox_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("retry");
    QTest::newRow("Retry") << int(QMessageBox::Retry) << true;
    QTest::newRow("Abort") << int(QMessageBox::Abort) << false;
}

void TestConfiguration::retryBox()
{
    QFETCH(int, button);
    QFETCH(bool, retry);
    QString title, text;
    QMessageBox::StandardButtons buttons;
    bool hadParent = true;
    QTimer::singleShot(0, [&]() {
        QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        hadParent = box->parentWidget() != nullptr;
        box->button(QMessageBox::StandardButton(button))->click();
    });
    ScriptedConfiguration configuration;
    QCOMPARE(configuration.realBox(), retry);
    QCOMPARE(title, QString("Error"));
    QCOMPARE(text, QString("Failed to query latest client\nversion from update server."));
    QCOMPARE(buttons, QMessageBox::Retry | QMessageBox::Abort);
    QVERIFY(!hadParent);
}

void TestConfiguration::createTempDir_data()
{
    QTest::addColumn<QStringList>("existingDirs");
    QTest::addColumn<QStringList>("existingFiles");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QStringList() << QStringList() << "corvane_temp_0";
    QTest::newRow("0 and 1 taken") << QStringList{"corvane_temp_0", "corvane_temp_1"} << QStringList()
                                   << "corvane_temp_2";
    QTest::newRow("file is never reused") << QStringList() << QStringList{"corvane_temp_0"} << "corvane_temp_1";
    QTest::newRow("gap is filled") << QStringList{"corvane_temp_0", "corvane_temp_2"} << QStringList()
                                   << "corvane_temp_1";
}

void TestConfiguration::createTempDir()
{
    QFETCH(QStringList, existingDirs);
    QFETCH(QStringList, existingFiles);
    QFETCH(QString, expected);

    QTemporaryDir tmp;
    for (const QString& dir : existingDirs)
        QVERIFY(QDir(tmp.path()).mkdir(dir));
    for (const QString& file : existingFiles)
        writeFile(tmp.path() + "/" + file, "x");
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    Configuration configuration;
    QSignalSpy fatalSpy(&configuration, SIGNAL(fatalError(QString)));
    const bool ok = configuration.createTempDir();
    qputenv("TMPDIR", oldTmp);

    QVERIFY(ok);
    QCOMPARE(fatalSpy.count(), 0);
    QCOMPARE(configuration.m_tempDir, QDir(tmp.path()).absolutePath() + "/" + expected);
    QVERIFY2(QFileInfo(configuration.m_tempDir).isDir(), qPrintable(configuration.m_tempDir));
    QVERIFY(QDir(configuration.m_tempDir).isEmpty());
    for (const QString& file : existingFiles)
        QVERIFY2(QFileInfo(tmp.path() + "/" + file).isFile(), qPrintable(file));
}

void TestConfiguration::tempDirFailures_data()
{
    QTest::addColumn<bool>("tmpIsFile");
    QTest::addColumn<QString>("fatal");
    // Every candidate below a plain file fails to be created.
    QTest::newRow("temporary path is a file") << true << "Unable to create temp directory.";
    // The class library reports a temporary path that does not exist as empty.
    QTest::newRow("temporary path missing") << false << "Unable to get temp directory.";
}

void TestConfiguration::tempDirFailures()
{
    QFETCH(bool, tmpIsFile);
    QFETCH(QString, fatal);
    QTemporaryDir tmp;
    QString tmpPath = tmp.path() + "/missing/dir";
    if (tmpIsFile) {
        tmpPath = tmp.path() + "/plainfile";
        writeFile(tmpPath, "x");
    }
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmpPath.toLocal8Bit());
    Configuration configuration;
    configuration.m_tempDir = "before";
    QSignalSpy fatalSpy(&configuration, SIGNAL(fatalError(QString)));
    const bool ok = configuration.createTempDir();
    qputenv("TMPDIR", oldTmp);

    QVERIFY(!ok);
    QCOMPARE(configuration.m_tempDir, QString("before"));
    QCOMPARE(fatalSpy.count(), 1);
    QCOMPARE(fatalSpy.at(0).at(0).toString(), fatal);
    QCOMPARE(QFileInfo(tmpPath).isFile(), tmpIsFile);
    QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             tmpIsFile ? QStringList{"plainfile"} : QStringList());
}

void TestConfiguration::initalizeStartAdoptsPreviousDir()
{
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    Configuration configuration;
    const bool adopted = configuration.initalizeStart("/some/earlier/corvane_temp_7");
    const QString adoptedDir = configuration.m_tempDir;
    const bool created = configuration.initalizeStart(QString());
    qputenv("TMPDIR", oldTmp);

    QVERIFY(adopted);
    QCOMPARE(adoptedDir, QString("/some/earlier/corvane_temp_7"));
    QVERIFY(created);
    QCOMPARE(configuration.m_tempDir, QDir(tmp.path()).absolutePath() + "/corvane_temp_0");
    QVERIFY2(QFileInfo(configuration.m_tempDir).isDir(), qPrintable(configuration.m_tempDir));
}

QTEST_MAIN(TestConfiguration)
#include "tst_configuration.moc"
