#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Starts the real executable headless with a home of its own: the window is up once the database
// exists in the data folder and the log names it.
class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void createsDatabaseInDataFolder()
    {
        QTemporaryDir home;
        const QString expectedPath = home.filePath(u"data/appQuilloQml3/duevia2.db"_s);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
        env.insert(u"QT_LOGGING_RULES"_s, u"default.debug=true"_s);
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(QStringLiteral(DUEVIA_APP_PATH), QStringList());
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += app.readAll(), output.contains("DBPATH:")), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(expectedPath), 20000);
        QTest::qWait(500);
        QCOMPARE(app.state(), QProcess::Running);
        app.kill();
        app.waitForFinished();
        output += app.readAll();
        QVERIFY2(output.contains(u"DBPATH: %1"_s.arg(expectedPath).toUtf8()), output.constData());
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
