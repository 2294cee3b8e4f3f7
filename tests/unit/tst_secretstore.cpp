#include "sync/SecretStore.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// Against the real Secret Service that scripts/with-keyring.sh starts; without it the test skips.
class TstSecretStore : public QObject
{
    Q_OBJECT

private slots:
    void roundTripLeavesNoPlainCopy()
    {
        if (!qEnvironmentVariableIsSet("DUEVIA_TEST_KEYRING"))
            QSKIP("needs a keyring of its own: run through scripts/with-keyring.sh");
        SecretStore store(u"Duevia test"_s);
        QSignalSpy reads(&store, &SecretStore::readFinished), writes(&store, &SecretStore::writeFinished),
            removes(&store, &SecretStore::removeFinished);
        // The arguments of the signal that ends the call just made.
        const auto answer = [](QSignalSpy &spy) {
            return spy.wait(30000) ? spy.takeFirst() : QVariantList{};
        };
        const QString key = SecretStore::keyOf(u"anna"_s, u" http://127.0.0.1:5232/ "_s);
        QCOMPARE(key, u"anna@http://127.0.0.1:5232"_s);
        const QString password = u"pw-%1-ä"_s.arg(QCoreApplication::applicationPid());
        const QVariantList done{key, QString()};
        store.write(key, u"first"_s);
        QCOMPARE(answer(writes), done);
        store.write(key, password);
        QCOMPARE(answer(writes), done);
        store.read(key);
        QCOMPARE(answer(reads), (QVariantList{key, true, password, QString()}));

        QProcess tool; // the store's own client sees the entry; no file under the home holds it in plain text
        tool.start(u"secret-tool"_s, {u"search"_s, u"--all"_s, u"user"_s, key});
        QVERIFY(tool.waitForFinished() && tool.readAllStandardOutput().contains(password.toUtf8()));
        tool.start(u"grep"_s, {u"-rlF"_s, password, QDir::homePath()});
        QVERIFY2(tool.waitForFinished() && tool.exitCode() == 1, tool.readAllStandardOutput().constData());
        for (int i = 0; i < 2; ++i) { // a missing entry is no error, nor is removing it again
            store.remove(key);
            QCOMPARE(answer(removes), done);
            store.read(key);
            QCOMPARE(answer(reads), (QVariantList{key, false, QString(), QString()}));
        }
    }
};

QTEST_GUILESS_MAIN(TstSecretStore)
#include "tst_secretstore.moc"
