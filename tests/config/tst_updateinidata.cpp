// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/configuration.h"
#include "config/updateinidata.h"

#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

class TestUpdateIniData : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void filename();
    void get_data();
    void get();
    void nullOutputs();
    void modifyReplacesAndKeepsOtherSections();
    void cleanupRemovesOnlyTheRecord();

private:
    QString ini() const { return m_root->path() + "/update.ini"; }
    QTemporaryDir* m_root = nullptr;
};

void TestUpdateIniData::init()
{
    m_root = new QTemporaryDir;
    QVERIFY(m_root->isValid());
    Configuration::overrideAppRootPathForTesting(m_root->path());
}

void TestUpdateIniData::cleanup()
{
    Configuration::overrideAppRootPathForTesting(QString());
    delete m_root;
    m_root = nullptr;
}

void TestUpdateIniData::filename()
{
    QCOMPARE(UpdateIniData::filename(), m_root->path() + "/update.ini");
    QVERIFY(QFileInfo(UpdateIniData::filename()).isAbsolute());
}

// "@DIR" in the record stands for an existing directory, "@FILE" for an
// existing plain file.
void TestUpdateIniData::get_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("type");

    QTest::newRow("no file") << QByteArray() << false << 0 << "";
    QTest::newRow("valid") << QByteArray("[current]\nversion=1234\ndir=@DIR\ntype=client_linux_x86\n")
                           << true << 1234 << "client_linux_x86";
    QTest::newRow("dir is a plain file") << QByteArray("[current]\nversion=5\ndir=@FILE\ntype=t\n")
                                         << true << 5 << "t";
    QTest::newRow("negative version") << QByteArray("[current]\nversion=-4\ndir=@DIR\ntype=t\n")
                                      << true << -4 << "t";
    QTest::newRow("dir gone") << QByteArray("[current]\nversion=1234\ndir=@DIR/gone\ntype=t\n")
                              << false << 0 << "";
    QTest::newRow("version abc") << QByteArray("[current]\nversion=abc\ndir=@DIR\ntype=t\n")
                                 << false << 0 << "";
    QTest::newRow("version missing") << QByteArray("[current]\ndir=@DIR\ntype=t\n") << false << 0 << "";
    QTest::newRow("version empty") << QByteArray("[current]\nversion=\ndir=@DIR\ntype=t\n") << false << 0 << "";
    QTest::newRow("type empty") << QByteArray("[current]\nversion=1\ndir=@DIR\ntype=\n") << false << 0 << "";
    QTest::newRow("type missing") << QByteArray("[current]\nversion=1\ndir=@DIR\n") << false << 0 << "";
    QTest::newRow("dir empty") << QByteArray("[current]\nversion=1\ndir=\ntype=t\n") << false << 0 << "";
    QTest::newRow("other section") << QByteArray("[update]\nversion=1\ndir=@DIR\ntype=t\n") << false << 0 << "";
    QTest::newRow("section case matters") << QByteArray("[Current]\nversion=1\ndir=@DIR\ntype=t\n")
                                          << false << 0 << "";
}

void TestUpdateIniData::get()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, valid);
    QFETCH(int, version);
    QFETCH(QString, type);

    QTemporaryDir session;
    writeFile(session.path() + "/plain", "x");
    content.replace("@DIR", session.path().toUtf8());
    content.replace("@FILE", (session.path() + "/plain").toUtf8());
    if (!content.isNull())
        writeFile(ini(), content);

    int gotVersion = -99;
    QString gotType = "untouched";
    QString gotDir = "untouched";
    QCOMPARE(UpdateIniData::get(&gotVersion, &gotType, &gotDir), valid);
    if (valid) {
        QCOMPARE(gotVersion, version);
        QCOMPARE(gotType, type);
        QVERIFY2(QFileInfo::exists(gotDir), qPrintable(gotDir));
        QVERIFY(gotDir.startsWith(session.path()));
    } else {
        QCOMPARE(gotVersion, -99);
        QCOMPARE(gotType, QString("untouched"));
        QCOMPARE(gotDir, QString("untouched"));
    }
    // Reading never creates or changes the file.
    QCOMPARE(readFile(ini()), content.isNull() ? QByteArray() : content);
    QCOMPARE(QFileInfo::exists(ini()), !content.isNull());
}

void TestUpdateIniData::nullOutputs()
{
    QTemporaryDir session;
    writeFile(ini(), "[current]\nversion=8\ndir=" + session.path().toUtf8() + "\ntype=\n");
    int version = 0;
    QString dir;
    // The type is required even when the caller does not want it.
    QVERIFY(!UpdateIniData::get(&version, nullptr, &dir));

    writeFile(ini(), "[current]\nversion=8\ndir=" + session.path().toUtf8() + "\ntype=t\n");
    QVERIFY(UpdateIniData::get(&version, nullptr, &dir));
    QCOMPARE(version, 8);
    QCOMPARE(dir, session.path());
    QVERIFY(UpdateIniData::get(nullptr, nullptr, nullptr));
}

void TestUpdateIniData::modifyReplacesAndKeepsOtherSections()
{
    QTemporaryDir first, second;
    writeFile(ini(), "[update]\nproxy=http://proxy.example:3128\nstreams=3\n\n"
                     "[Channel]\nalpha=http://alpha.example/tree\nalphaRevno=12\n");
    UpdateIniData::modify(100, first.path(), "client_a");
    UpdateIniData::modify(200, second.path(), "client_b");

    int version = 0;
    QString type, dir;
    QVERIFY2(UpdateIniData::get(&version, &type, &dir), qPrintable(readFile(ini())));
    QCOMPARE(version, 200);
    QCOMPARE(dir, second.path());
    QCOMPARE(type, QString("client_b"));

    QSettings settings(ini(), QSettings::IniFormat);
    QCOMPARE(settings.value("update/proxy").toString(), QString("http://proxy.example:3128"));
    QCOMPARE(settings.value("update/streams").toString(), QString("3"));
    QCOMPARE(settings.value("Channel/alpha").toString(), QString("http://alpha.example/tree"));
    QCOMPARE(settings.value("Channel/alphaRevno").toString(), QString("12"));
    settings.beginGroup("current");
    QCOMPARE(settings.childKeys().size(), 3);
}

void TestUpdateIniData::cleanupRemovesOnlyTheRecord()
{
    QTemporaryDir session;
    writeFile(ini(), "[update]\nstreams=3\n\n[Channel]\nbeta=true\n");
    UpdateIniData::modify(7, session.path(), "client_linux_x86");
    QVERIFY(readFile(ini()).contains("[current]"));
    UpdateIniData::cleanup();

    QVERIFY(!UpdateIniData::get(nullptr, nullptr, nullptr));
    const QByteArray text = readFile(ini());
    QVERIFY2(!text.contains("current") && !text.contains("version"), text.constData());
    QSettings settings(ini(), QSettings::IniFormat);
    QCOMPARE(settings.childGroups(), QStringList() << "Channel" << "update");
    QCOMPARE(settings.value("update/streams").toString(), QString("3"));
    QCOMPARE(settings.value("Channel/beta").toString(), QString("true"));
    // The session directory itself is the engine's to remove.
    QVERIFY2(QFileInfo(session.path()).isDir(), qPrintable(session.path()));
    // Removing a record that is not there leaves the file as it is.
    UpdateIniData::cleanup();
    QCOMPARE(readFile(ini()), text);
}

QTEST_GUILESS_MAIN(TestUpdateIniData)
#include "tst_updateinidata.moc"
