// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/configuration.h"
#include "engine/makedownloadreplacelisttaskspecification.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const kClientType = "client_test";

QString md5Of(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}

// Installed files must lie below the updater's own directory, so each test
// gets a fresh directory there and names its files through that prefix.
struct Fixture
{
    Fixture()
        : install(QCoreApplication::applicationDirPath() + "/inst-XXXXXX")
    {
        prefix = QFileInfo(install.path()).fileName();
        configuration.m_tempDir = temp.path();
        configuration.m_clientType = kClientType;
    }

    bool valid() const { return install.isValid() && temp.isValid(); }
    QString installed(const QString& key) const { return Configuration::getAppRootPath() + "/" + key; }
    QString tempCopy(const QString& key) const { return temp.path() + "/" + key; }
    QString key(const QString& name) const { return prefix + "/" + name; }
    bool writeIni(const QByteArray& text) const { return writeFile(temp.path() + "/" + kClientType + ".ini", text); }

    QTemporaryDir install;
    QTemporaryDir temp;
    QString prefix;
    Configuration configuration;
};

// Runs the task to its end, recording its signals in order.
struct Run
{
    QStringList log;
    QList<qreal> progress;
    TaskState state = Idle;
};

class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(Run* run)
        : m_run(run)
    {
    }

public slots:
    void onMessage(QString text) { m_run->log.append("message: " + text); }
    void onError(QString text) { m_run->log.append("error: " + text); }
    void onFinished(TaskSpecification*) { m_run->log.append("finished"); }
    void onCanceled(TaskSpecification*) { m_run->log.append("canceled"); }
    void onProgress(qreal value) { m_run->progress.append(value); }

private:
    Run* m_run;
};

Run runTask(MakeDownloadReplaceListTaskSpecification& task)
{
    Run run;
    Recorder recorder(&run);
    QObject::connect(&task, SIGNAL(message(QString)), &recorder, SLOT(onMessage(QString)));
    QObject::connect(&task, SIGNAL(error(QString)), &recorder, SLOT(onError(QString)));
    QObject::connect(&task, SIGNAL(finished(TaskSpecification*)), &recorder, SLOT(onFinished(TaskSpecification*)));
    QObject::connect(&task, SIGNAL(canceled(TaskSpecification*)), &recorder, SLOT(onCanceled(TaskSpecification*)));
    QObject::connect(&task, SIGNAL(updateProgress(qreal)), &recorder, SLOT(onProgress(qreal)));
    task.execute();
    if (!QTest::qWaitFor([&] { return task.state != Running; }, 10000))
        run.log.append("timed out");
    run.state = task.state;
    return run;
}

Run build(Fixture& fixture, FileSpecifications& specs, double weight = 1.0)
{
    MakeDownloadReplaceListTaskSpecification task(&fixture.configuration, specs, nullptr, weight);
    return runTask(task);
}

QStringList replaceNames(const FileSpecifications& specs)
{
    QStringList names;
    for (const FileReplaceSpecification& r : specs.replaceList)
        names.append(r.fileName);
    return names;
}

QStringList downloadNames(const FileSpecifications& specs)
{
    QStringList names;
    for (const FileDownloadSpecification& d : specs.downloadList)
        names.append(d.fileName);
    return names;
}

FileSpecifications sentinelSpecs()
{
    FileSpecifications specs;
    specs.downloadList.append(FileDownloadSpecification{"old", "old/d.bin", "00", 1});
    specs.replaceList.append(FileReplaceSpecification{"old", "old/r.bin", "", 0, ""});
    specs.deleteList.append("old/x.bin");
    return specs;
}

void verifySentinel(const FileSpecifications& specs)
{
    QCOMPARE(downloadNames(specs), QStringList{"old/d.bin"});
    QCOMPARE(replaceNames(specs), QStringList{"old/r.bin"});
    QCOMPARE(specs.deleteList, QStringList{"old/x.bin"});
}

} // namespace

class TestMakeDownloadReplaceList : public QObject
{
    Q_OBJECT
private slots:
    void comparison_data();
    void comparison();
    void recordFields();
    void sectionsInReaderOrder();
    void deleteSection_data();
    void deleteSection();
    void onlyDeleteSectionSucceeds();
    void invalidLineStops_data();
    void invalidLineStops();
    void emptyProductIni_data();
    void emptyProductIni();
    void progressReachesOneExactly();
    void rerunReplacesLists();
};

// Installed and temporary contents: a null array means "no such file".
void TestMakeDownloadReplaceList::comparison_data()
{
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<QByteArray>("installedContent");
    QTest::addColumn<bool>("installedAtKey");
    QTest::addColumn<QByteArray>("tempContent");
    QTest::addColumn<bool>("upperCaseSums");
    QTest::addColumn<bool>("inReplace");
    QTest::addColumn<bool>("inDownload");

    const QByteArray none;
    const QByteArray stored("stored bytes of the release file");
    const QByteArray unpacked("unpacked bytes of the release file");
    const QByteArray other("something else");

    QTest::newRow("up to date") << false << stored << false << none << false << false << false;
    QTest::newRow("up to date, upper-case sum") << false << stored << false << none << true << false << false;
    QTest::newRow("missing") << false << none << false << none << false << true << true;
    QTest::newRow("differing") << false << other << false << none << false << true << true;
    QTest::newRow("empty installed file") << false << QByteArray("") << false << none << false << true << true;
    QTest::newRow("temporary copy reused") << false << other << false << stored << false << true << false;
    QTest::newRow("temporary copy reused, missing") << false << none << false << stored << false << true << false;
    QTest::newRow("temporary copy stale") << false << other << false << other << false << true << true;
    QTest::newRow("compressed up to date") << true << unpacked << false << none << false << false << false;
    QTest::newRow("compressed up to date, upper-case") << true << unpacked << false << none << true << false << false;
    QTest::newRow("compressed installed holds stored bytes") << true << stored << false << none << false << true << true;
    QTest::newRow("compressed looked up under unpacked name") << true << unpacked << true << none << false << true << true;
    QTest::newRow("compressed temporary copy reused") << true << other << false << stored << false << true << false;
    QTest::newRow("compressed temporary copy unpacked") << true << none << false << unpacked << false << true << true;
}

void TestMakeDownloadReplaceList::comparison()
{
    QFETCH(bool, compressed);
    QFETCH(QByteArray, installedContent);
    QFETCH(bool, installedAtKey);
    QFETCH(QByteArray, tempContent);
    QFETCH(bool, upperCaseSums);
    QFETCH(bool, inReplace);
    QFETCH(bool, inDownload);

    Fixture fx;
    QVERIFY(fx.valid());
    const QByteArray stored("stored bytes of the release file");
    const QByteArray unpacked("unpacked bytes of the release file");
    const QString key = fx.key(compressed ? "gz/plugins/libx.so.gz" : "plugins/libx.so");
    const QString unpackedName = fx.key("plugins/libx.so");
    auto sum = [&](const QByteArray& data) { return upperCaseSums ? md5Of(data).toUpper() : md5Of(data); };

    QString line = sum(stored) + "::" + QString::number(stored.size());
    if (compressed)
        line += "::" + sum(unpacked) + "::" + QString::number(unpacked.size()) + "::" + unpackedName;
    QVERIFY(fx.writeIni("[bin]\n" + key.toUtf8() + "=" + line.toUtf8() + "\n"));

    if (!installedContent.isNull()) {
        const QString path = fx.installed(installedAtKey ? key : unpackedName);
        QVERIFY2(writeFile(path, installedContent), qPrintable(path));
    }
    if (!tempContent.isNull())
        QVERIFY2(writeFile(fx.tempCopy(key), tempContent), qPrintable(fx.tempCopy(key)));

    FileSpecifications specs;
    const Run run = build(fx, specs);
    QCOMPARE(run.state, Finished);
    QCOMPARE(run.log, QStringList({"message: Compiling download and replace list", "finished"}));
    QCOMPARE(replaceNames(specs), inReplace ? QStringList{key} : QStringList());
    QCOMPARE(downloadNames(specs), inDownload ? QStringList{key} : QStringList());
    QVERIFY(specs.deleteList.isEmpty());
    // The builder only reads: nothing was created or removed on disk.
    QCOMPARE(QFileInfo::exists(fx.tempCopy(key)), !tempContent.isNull());
}

void TestMakeDownloadReplaceList::recordFields()
{
    Fixture fx;
    QVERIFY(fx.valid());
    const QString plain = fx.key("readme.txt");
    const QString packed = fx.key("data/big.pak.gz");
    const QString unpackedName = fx.key("unpacked/big,pak");
    const QString separatorOnly = fx.key("empty.bin");
    const QString notNumbers = fx.key("odd.bin");
    QVERIFY(fx.writeIni("[files_linux]\n"
                        + plain.toUtf8() + "=aaaabbbbccccddddeeeeffff00001111::5000000000\n"
                        + packed.toUtf8() + "=0123456789abcdef0123456789abcdef::12::fedcba9876543210fedcba9876543210::34::"
                        + unpackedName.toUtf8() + "\n"
                        + separatorOnly.toUtf8() + "=::\n"
                        + notNumbers.toUtf8() + "=abc::12x::::nope::\n"));

    FileSpecifications specs;
    const Run run = build(fx, specs);
    QCOMPARE(run.state, Finished);

    // QSettings sorts the keys of a section.
    QCOMPARE(replaceNames(specs), QStringList({packed, separatorOnly, notNumbers, plain}));
    QCOMPARE(downloadNames(specs), QStringList({packed, separatorOnly, notNumbers, plain}));
    for (const FileReplaceSpecification& r : specs.replaceList)
        QCOMPARE(r.dir, QString("files_linux"));

    const FileReplaceSpecification& rPacked = specs.replaceList.at(0);
    QCOMPARE(rPacked.md5, QString("fedcba9876543210fedcba9876543210"));
    QCOMPARE(rPacked.size, qint64(34));
    QCOMPARE(rPacked.unzipFileName, unpackedName);
    QVERIFY(rPacked.hasUnzip());
    const FileDownloadSpecification& dPacked = specs.downloadList.at(0);
    QCOMPARE(dPacked.dir, QString("files_linux"));
    QCOMPARE(dPacked.md5, QString("0123456789abcdef0123456789abcdef"));
    QCOMPARE(dPacked.size, qint64(12));

    const FileReplaceSpecification& rEmpty = specs.replaceList.at(1);
    QVERIFY(rEmpty.md5.isEmpty());
    QVERIFY(!rEmpty.hasUnzip());
    QVERIFY(specs.downloadList.at(1).md5.isEmpty());
    QCOMPARE(specs.downloadList.at(1).size, qint64(0));

    // A 5-field line with an empty unpacked name is an uncompressed entry.
    const FileReplaceSpecification& rOdd = specs.replaceList.at(2);
    QVERIFY(!rOdd.hasUnzip());
    QCOMPARE(rOdd.size, qint64(0));
    QCOMPARE(specs.downloadList.at(2).size, qint64(0));
    QCOMPARE(specs.downloadList.at(2).md5, QString("abc"));

    QCOMPARE(specs.downloadList.at(3).size, qint64(5000000000LL));
    QCOMPARE(specs.replaceList.at(3).size, qint64(0));
    QVERIFY(specs.replaceList.at(3).unzipFileName.isEmpty());
}

void TestMakeDownloadReplaceList::sectionsInReaderOrder()
{
    Fixture fx;
    QVERIFY(fx.valid());
    const QString a = fx.key("a.bin");
    const QString b = fx.key("sub/dir/b.bin");
    const QString c = fx.key("c.bin");
    QVERIFY(fx.writeIni("topLevel=ignored::1\n"
                        "[zeta]\n" + a.toUtf8() + "=::\n"
                        "[alpha]\n" + b.toUtf8() + "=::\n" + c.toUtf8() + "=::\n"));
    FileSpecifications specs;
    const Run run = build(fx, specs);
    QCOMPARE(run.state, Finished);
    QStringList dirs;
    for (const FileDownloadSpecification& d : specs.downloadList)
        dirs.append(d.dir + ":" + d.fileName);
    QCOMPARE(dirs, QStringList({"alpha:" + c, "alpha:" + b, "zeta:" + a}));
}

void TestMakeDownloadReplaceList::deleteSection_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("listed");
    QTest::newRow("installed file") << "file" << true;
    QTest::newRow("installed directory") << "dir" << true;
    QTest::newRow("dangling symlink") << "symlink" << true;
    QTest::newRow("not installed") << "none" << false;
}

void TestMakeDownloadReplaceList::deleteSection()
{
    QFETCH(QString, kind);
    QFETCH(bool, listed);
    Fixture fx;
    QVERIFY(fx.valid());
    const QString key = fx.key("old/plugin.so");
    const QString path = fx.installed(key);
    if (kind == "file")
        QVERIFY2(writeFile(path, "x"), qPrintable(path));
    else if (kind == "dir")
        QVERIFY2(QDir().mkpath(path), qPrintable(path));
    else if (kind == "symlink")
        QVERIFY2(QDir().mkpath(QFileInfo(path).path()) && QFile::link(path + ".missing", path), qPrintable(path));

    // "Delete" is an ordinary section: only the exact name lists deletions.
    const QString other = fx.key("x.bin");
    QVERIFY(fx.writeIni("[delete]\n" + key.toUtf8() + "=\n[Delete]\n" + other.toUtf8() + "=::\n"));
    FileSpecifications specs;
    QCOMPARE(build(fx, specs).state, Finished);
    QCOMPARE(specs.deleteList, listed ? QStringList{key} : QStringList());
    QCOMPARE(downloadNames(specs), QStringList{other});
}

void TestMakeDownloadReplaceList::onlyDeleteSectionSucceeds()
{
    Fixture fx;
    QVERIFY(fx.valid());
    const QString gone = fx.key("gone.txt");
    QVERIFY(fx.writeIni("[delete]\n" + gone.toUtf8() + "=1\n"));
    FileSpecifications specs = sentinelSpecs();
    const Run run = build(fx, specs);
    QCOMPARE(run.log, QStringList({"message: Compiling download and replace list", "finished"}));
    QVERIFY(specs.deleteList.isEmpty());
    QVERIFY(specs.replaceList.isEmpty());
    QVERIFY(specs.downloadList.isEmpty());
}

void TestMakeDownloadReplaceList::invalidLineStops_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("three fields") << QByteArray("aa::1::bb");
    QTest::newRow("one field") << QByteArray("aa");
    QTest::newRow("four fields") << QByteArray("aa::1::bb::2");
    QTest::newRow("six fields") << QByteArray("aa::1::bb::2::c::d");
    QTest::newRow("single colons") << QByteArray("aa:1");
}

void TestMakeDownloadReplaceList::invalidLineStops()
{
    QFETCH(QByteArray, line);
    Fixture fx;
    QVERIFY(fx.valid());
    // The bad key sorts after a valid one in its section, and another section follows.
    QVERIFY(fx.writeIni("[broken]\n" + fx.key("a.bin").toUtf8() + "=::\n" + fx.key("b.bin").toUtf8() + "=" + line
                        + "\n[later]\n" + fx.key("c.bin").toUtf8() + "=::\n"));
    FileSpecifications specs = sentinelSpecs();
    const Run run = build(fx, specs);
    QCOMPARE(run.state, ErrorCanceled);
    QCOMPARE(run.log, QStringList({"message: Compiling download and replace list",
                                   "message: Warning: product ini contains invalid line in section broken",
                                   "canceled"}));
    verifySentinel(specs);
}

void TestMakeDownloadReplaceList::emptyProductIni_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("") << true;
    QTest::newRow("sections without keys") << QByteArray("[bin]\n[delete]\n") << true;
    QTest::newRow("keys outside sections only") << QByteArray("a.bin=::\n") << true;
}

void TestMakeDownloadReplaceList::emptyProductIni()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    Fixture fx;
    QVERIFY(fx.valid());
    if (exists)
        QVERIFY(fx.writeIni(content));
    FileSpecifications specs = sentinelSpecs();
    const Run run = build(fx, specs);
    QCOMPARE(run.state, ErrorCanceled);
    QCOMPARE(run.log, QStringList({"message: Compiling download and replace list",
                                   "message: No files in product ini", "canceled"}));
    verifySentinel(specs);
}

void TestMakeDownloadReplaceList::progressReachesOneExactly()
{
    Fixture fx;
    QVERIFY(fx.valid());
    // Seven keys: 1/7 steps do not add up to 1.0 exactly in floating point.
    QByteArray ini = "[delete]\n";
    for (int i = 0; i < 3; ++i)
        ini += fx.key(QString("d%1").arg(i)).toUtf8() + "=\n";
    ini += "[bin]\n";
    for (int i = 0; i < 4; ++i)
        ini += fx.key(QString("f%1").arg(i)).toUtf8() + "=::\n";
    QVERIFY(fx.writeIni(ini));
    FileSpecifications specs;
    const Run run = build(fx, specs, 0.5);
    QCOMPARE(run.state, Finished);
    QList<qreal> expected;
    for (int k = 1; k <= 7; ++k)
        expected.append(qreal(k) / 7 * 0.5);
    expected.append(0.5); // finish()
    QCOMPARE(run.progress.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(run.progress.at(i), expected.at(i));
    QVERIFY(run.progress.at(6) == 0.5);
}

void TestMakeDownloadReplaceList::rerunReplacesLists()
{
    Fixture fx;
    QVERIFY(fx.valid());
    const QByteArray content("payload");
    const QString key = fx.key("f.bin");
    QVERIFY(fx.writeIni("[bin]\n" + key.toUtf8() + "=" + md5Of(content).toUtf8() + "::7\n"));

    FileSpecifications specs;
    MakeDownloadReplaceListTaskSpecification task(&fx.configuration, specs, nullptr, 1.0);
    QCOMPARE(runTask(task).state, Finished);
    QCOMPARE(replaceNames(specs), QStringList{key});

    // Installed meanwhile: the second run lists nothing instead of appending.
    QVERIFY(writeFile(fx.installed(key), content));
    task.reset();
    QCOMPARE(runTask(task).state, Finished);
    QVERIFY(specs.replaceList.isEmpty());
    QVERIFY(specs.downloadList.isEmpty());

    // A failed run leaves the last published lists alone.
    QVERIFY(QFile::remove(fx.installed(key)));
    QVERIFY(fx.writeIni("[bin]\n" + key.toUtf8() + "=a::b::c\n"));
    task.reset();
    QCOMPARE(runTask(task).state, ErrorCanceled);
    QVERIFY(specs.replaceList.isEmpty());
}

QTEST_GUILESS_MAIN(TestMakeDownloadReplaceList)
#include "tst_makedownloadreplacelist.moc"
