// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/checksignaturetaskspecification.h"
#include "download/tomcryptutil.h"
#include "testlib/signalrecorder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

namespace {
const QString DemoKey = QStringLiteral(UPDATER_SOURCE_DIR "/demo/keys/release-private.pem");

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool runOpenssl(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), args);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning("openssl %s: %s", qPrintable(args.join(' ')), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

// Signs with the openssl command line, an independent implementation.
bool sign(const QString& key, const QString& file, const QString& sig, const QStringList& options)
{
    return runOpenssl(QStringList({"dgst", "-sha1", "-sign", key}) + options + QStringList({"-out", sig, file}));
}

const QStringList Pss8 = {"-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:8"};
}

class TestCheckSignature : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void signature_data();
    void signature();
    void md5_data();
    void md5();
    void lateResultIsIgnored();
    void checkErrorText();

private:
    // Runs a check task to its end and returns its log, checkDone included.
    QStringList runCheck(const QString& path, const QString& md5, bool cancelOnFailure, TaskState& endState);
};

void TestCheckSignature::initTestCase()
{
    crypt_init();
    QVERIFY(hash_idx >= 0);
    QVERIFY(prng_idx >= 0);
    // A second registration must not break the first.
    crypt_init();
    QCOMPARE(hash_idx, find_hash("sha1"));
}

QStringList TestCheckSignature::runCheck(const QString& path, const QString& md5, bool cancelOnFailure,
                                         TaskState& endState)
{
    QObject owner;
    SignalRecorder recorder;
    auto* task = new CheckSignatureTaskSpecification(path, md5, cancelOnFailure, &owner, 0.2);
    recorder.watch(task, "c");
    connect(task, &CheckSignatureTaskSpecification::checkDone, &recorder,
            [&recorder, task](bool pass, CheckSignatureTaskSpecification* which) {
                recorder.log << QStringLiteral("c checkDone %1%2").arg(pass ? "true" : "false",
                                                                        which == task ? "" : " (other task)");
            });
    task->execute();
    if (!QTest::qWaitFor([task]() { return task->state != Running; }, 20000))
        return {"still running"};
    endState = task->state;
    return recorder.withoutProgress();
}

void TestCheckSignature::signature_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("pass");
    QTest::newRow("pss, salt 8") << Pss8 << "" << true;
    QTest::newRow("pss, salt 8, empty file") << Pss8 << "empty file" << true;
    QTest::newRow("pkcs1 v1.5") << QStringList() << "" << false;
    QTest::newRow("pss, salt 20")
        << QStringList({"-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:20"}) << "" << false;
    QTest::newRow("pss, salt 0")
        << QStringList({"-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:0"}) << "" << false;
    QTest::newRow("byte flipped in file") << Pss8 << "flip file" << false;
    QTest::newRow("byte appended to file") << Pss8 << "append file" << false;
    QTest::newRow("byte flipped in signature") << Pss8 << "flip sig" << false;
    QTest::newRow("truncated signature") << Pss8 << "truncate sig" << false;
    QTest::newRow("empty signature") << Pss8 << "empty sig" << false;
    QTest::newRow("missing signature") << Pss8 << "missing sig" << false;
    QTest::newRow("missing file") << Pss8 << "missing file" << false;
    QTest::newRow("another key") << Pss8 << "other key" << false;
}

void TestCheckSignature::signature()
{
    QFETCH(QStringList, options);
    QFETCH(QString, fault);
    QFETCH(bool, pass);
    QTemporaryDir dir;
    const QString path = dir.filePath("client_linux_x86.ini");
    const QString sig = path + ".sig";
    const QByteArray content = fault == "empty file" ? QByteArray()
                                                     : QByteArray("[client_linux_x86]\nfiles=3\n").repeated(40);
    QVERIFY2(writeFile(path, content), qPrintable(path));
    QString key = DemoKey;
    if (fault == "other key") {
        key = dir.filePath("other.pem");
        QVERIFY(runOpenssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024", "-out", key}));
    }
    QVERIFY(sign(key, path, sig, options));
    QByteArray signature = readFile(sig);
    QCOMPARE(signature.size(), 128);
    if (fault == "flip file")
        QVERIFY(writeFile(path, QByteArray(content).replace(100, 1, "X")));
    if (fault == "append file")
        QVERIFY(writeFile(path, content + "\n"));
    if (fault == "flip sig") {
        signature[60] = char(signature.at(60) ^ 0x01);
        QVERIFY(writeFile(sig, signature));
    }
    if (fault == "truncate sig")
        QVERIFY(writeFile(sig, signature.left(127)));
    if (fault == "empty sig")
        QVERIFY(writeFile(sig, QByteArray()));
    if (fault == "missing sig")
        QVERIFY(QFile::remove(sig));
    if (fault == "missing file")
        QVERIFY(QFile::remove(path));

    for (bool cancelOnFailure : {false, true}) {
        TaskState endState = Idle;
        const QStringList log = runCheck(path, QString(), cancelOnFailure, endState);
        QStringList expected;
        if (fault == "missing sig")
            expected << "c message Could not open file " + sig + " for reading";
        if (fault == "missing file")
            expected << "c message Could not open file " + path + " for reading";
        if (!pass)
            expected << "c message Signature check failed for " + path;
        expected << QString("c checkDone %1").arg(pass ? "true" : "false");
        const bool cancels = !pass && cancelOnFailure;
        expected << (cancels ? "c canceled" : "c finished");
        QCOMPARE(log, expected);
        QCOMPARE(endState, cancels ? ErrorCanceled : Finished);
        // The worker function gives the same verdict when called directly.
        QCOMPARE(CheckSigFunc(path, QString()).run(), pass);
    }
}

void TestCheckSignature::md5_data()
{
    const QByteArray content = QByteArray("release file body\n").repeated(5000);
    const QString sum = QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("md5");
    QTest::addColumn<bool>("pass");
    QTest::newRow("lower case") << content << sum << true;
    QTest::newRow("upper case") << content << sum.toUpper() << true;
    QTest::newRow("mixed case") << content << sum.left(16).toUpper() + sum.mid(16) << true;
    QTest::newRow("empty file") << QByteArray() << "D41D8CD98F00B204E9800998ECF8427E" << true;
    QTest::newRow("other content") << content + "x" << sum << false;
    QTest::newRow("sum prefix only") << content << sum.left(31) << false;
    QTest::newRow("missing file") << QByteArray() << sum << false;
}

void TestCheckSignature::md5()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, md5);
    QFETCH(bool, pass);
    QTemporaryDir dir;
    const QString path = dir.filePath("data/lib.so");
    QVERIFY(QDir(dir.path()).mkpath("data"));
    const bool missing = QByteArray(QTest::currentDataTag()) == "missing file";
    if (!missing)
        QVERIFY2(writeFile(path, content), qPrintable(path));
    TaskState endState = Idle;
    const QStringList log = runCheck(path, md5, true, endState);
    QStringList expected;
    if (missing)
        expected << "c message Could not open file " + path + " for reading";
    if (!pass)
        expected << "c message Signature check failed for " + path;
    expected << QString("c checkDone %1").arg(pass ? "true" : "false") << (pass ? "c finished" : "c canceled");
    QCOMPARE(log, expected);
    QCOMPARE(endState, pass ? Finished : ErrorCanceled);
    // MD5 mode never looks for a signature file.
    QVERIFY(!QFile::exists(path + ".sig"));
}

void TestCheckSignature::lateResultIsIgnored()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing.bin");
    QObject owner;
    SignalRecorder recorder;
    auto* task = new CheckSignatureTaskSpecification(path, "00", false, &owner, 1.0);
    recorder.watch(task, "c");
    int verdicts = 0;
    connect(task, &CheckSignatureTaskSpecification::checkDone, &owner, [&verdicts]() { ++verdicts; });
    task->execute();
    task->errorCancel();
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50);
    QCOMPARE(verdicts, 0);
    // Only the worker's own message and the cancel itself.
    QCOMPARE(recorder.withoutProgress(),
             QStringList({"c canceled", "c message Could not open file " + path + " for reading"}));
    QCOMPARE(task->state, ErrorCanceled);
}

void TestCheckSignature::checkErrorText()
{
    QVERIFY_THROWS_NO_EXCEPTION(check_err("rsa_import", CRYPT_OK));
    try {
        check_err("rsa_import", CRYPT_INVALID_PACKET);
        QFAIL("no exception");
    } catch (const crypt_exception& e) {
        QCOMPARE(QString(e.what()), QString("rsa_import: ") + error_to_string(CRYPT_INVALID_PACKET));
    }
    Rsa_key key;
    const unsigned char garbage[16] = {0x30, 0x03, 0x02, 0x01};
    QVERIFY_THROWS_EXCEPTION(crypt_exception, load_key(&key, garbage, sizeof garbage));
}

QTEST_GUILESS_MAIN(TestCheckSignature)
#include "tst_checksignature.moc"
