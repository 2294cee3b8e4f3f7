#include "sync/TaskMerge.h"
#include "sync/VTodoText.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(SyncTaskFields)

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

// A phone's task: a zone, a rule, an alarm with texts of its own and another program's folded line.
const QByteArray kServerText = R"(BEGIN:VCALENDAR
VERSION:2.0
BEGIN:VTIMEZONE
TZID:America/Phoenix
BEGIN:STANDARD
TZOFFSETFROM:-0700
TZOFFSETTO:-0700
DTSTART:19700101T000000
END:STANDARD
END:VTIMEZONE
BEGIN:VTODO
UID:8c1f-phone@example.com
DTSTAMP:20240301T120000Z
LAST-MODIFIED:20240301T120000Z
SUMMARY:Call Acme
DESCRIPTION;LANGUAGE=en:Ask about the invoice\, then the contract
DUE;TZID=America/Phoenix:20240304T090000
RRULE:FREQ=WEEKLY;BYDAY=MO
STATUS:NEEDS-ACTION
SEQUENCE:3
CATEGORIES:Work,Calls
RELATED-TO;RELTYPE=PARENT:parent-77@example.com
X-OTHER-APP-SYNC-STATE:0123456789abcdef0123456789abcdef0123456789abcdef0123
 456789abcdef0123456789abcdef
BEGIN:VALARM
ACTION:EMAIL
SUMMARY:Reminder
DESCRIPTION:Do not forget Acme
TRIGGER;RELATED=END:-PT15M
END:VALARM
END:VTODO
END:VCALENDAR
)";

// A task that differs from the merge base ("Call Acme", open, no expiry or notes) in one property.
SyncTaskFields withValue(const QString &property, const QString &value)
{
    SyncTaskFields fields;
    fields.name = QStringLiteral("Call Acme");
    if (property == u"name")
        fields.name = value;
    else if (property == u"notes")
        fields.notes = value;
    else if (property == u"expiry" && !value.isEmpty())
        fields.expireAt = QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd HH:mm")).toUTC();
    return fields;
}

} // namespace

class TstVTodoText : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<SyncTaskFields>("fields");
        const QDateTime due = utc(2024, 5, 1, 16, 30);
        QTest::newRow("full") << SyncTaskFields{u"O, 2; Mü"_s, u"a\nb, c\\"_s, 57, true, due, u"A; B"_s};
        QTest::newRow("bare") << SyncTaskFields{QStringLiteral("Call"), {}, 3, false, {}, {}};
    }
    void roundTrip()
    {
        QFETCH(SyncTaskFields, fields);
        const QDateTime stamp = utc(2024, 4, 2, 8, 0);
        const QByteArray text = VTodoText::create(QStringLiteral("u-1"), fields, stamp);
        const VTodoText::Parsed parsed = VTodoText::parse(text);
        QVERIFY(parsed.ok && !parsed.recurring && parsed.uid == u"u-1");
        QCOMPARE(parsed.lastModified, stamp);
        QCOMPARE(parsed.fields, fields);
    }

    void patchKeepsForeignLines_data()
    {
        QTest::addColumn<QByteArray>("ending");
        QTest::newRow("crlf") << QByteArray("\r\n");
        QTest::newRow("lf") << QByteArray("\n");
    }
    void patchKeepsForeignLines()
    {
        QFETCH(QByteArray, ending);
        const QByteArray server = QByteArray(kServerText).replace("\n", ending);
        const QDateTime now = utc(2024, 3, 12, 0, 0);
        const VTodoText::Parsed before = VTodoText::parse(server, now);
        QCOMPARE(before.fields.expireAt, utc(2024, 3, 18, 16, 0));
        QCOMPARE(VTodoText::patch(server, before.fields, utc(2024, 3, 12, 1, 0), now), server);

        SyncTaskFields changed = before.fields;
        changed.name = QStringLiteral("Call Acme Ltd");
        changed.done = true;
        const QByteArray patched = VTodoText::patch(server, changed, utc(2024, 3, 12, 1, 0), now);
        QCOMPARE(VTodoText::parse(patched, now).fields, changed);
        QCOMPARE(patched.count("\r\n"), ending == "\r\n" ? patched.count('\n') : 0);
        const QList<QByteArray> serverLines = server.split('\n');
        QList<QByteArray> kept;
        QList<QByteArray> added;
        for (const QByteArray &line : patched.split('\n'))
            (serverLines.contains(line) ? kept : added).append(line);
        const QRegularExpression replaced(u"^(SUMMARY:Call|STATUS:|DTSTAMP:|LAST-MODIFIED:)"_s);
        QList<QByteArray> expected = serverLines;
        expected.removeIf(
            [&](const QByteArray &line) { return replaced.match(QString::fromUtf8(line)).hasMatch(); });
        QCOMPARE(kept, expected);
        for (QByteArray &line : added)
            line.truncate(line.indexOf(':'));
        QCOMPARE(added, (QList<QByteArray>{"DTSTAMP", "LAST-MODIFIED", "SUMMARY", "STATUS", "COMPLETED",
                                           "PERCENT-COMPLETE"}));

        const QByteArray reopened = VTodoText::patch(patched, before.fields, utc(2024, 3, 13, 1, 0), now);
        QCOMPARE(VTodoText::parse(reopened, now).fields, before.fields);
        QVERIFY(!reopened.contains("COMPLETED:") && !reopened.contains("PERCENT-COMPLETE"));
    }

    void parseLevelAndRecurrence_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<int>("level");
        QTest::addColumn<QDateTime>("expireAt");
        const QDateTime at = utc(2024, 1, 1, 9, 0);
        const QByteArray due = "DUE:20240101T090000Z\n";
        const QByteArray weekly = due + "RRULE:FREQ=WEEKLY";
        QTest::newRow("level in band") << QByteArray("PRIORITY:4\nX-DUEVIA-LEVEL:57") << 57 << QDateTime();
        QTest::newRow("priority changed") << QByteArray("PRIORITY:1\nX-DUEVIA-LEVEL:57") << 95 << QDateTime();
        QTest::newRow("no priority") << QByteArray("X-DUEVIA-LEVEL:57") << 57 << QDateTime();
        QTest::newRow("bad level") << QByteArray("PRIORITY:5\nX-DUEVIA-LEVEL:high") << 35 << QDateTime();
        QTest::newRow("weekly") << weekly << 1 << at.addDays(14);
        QTest::newRow("ended") << weekly + ";COUNT=2" << 1 << at.addDays(7);
        QTest::newRow("excluded") << weekly + "\nEXDATE:20240115T090000Z" << 1 << at.addDays(21);
        QTest::newRow("from start") << "DTSTART:20240101T080000Z\nDUE:20240102T090000Z\nRRULE:FREQ=WEEKLY"_ba
                                    << 1 << at.addDays(15);
        QTest::newRow("rdate") << due + "RDATE:20240120T090000Z" << 1 << at.addDays(19);
    }
    void parseLevelAndRecurrence()
    {
        QFETCH(QByteArray, properties);
        const QByteArray text =
            "BEGIN:VCALENDAR\nBEGIN:VTODO\n" + properties + "\nEND:VTODO\nEND:VCALENDAR\n";
        const VTodoText::Parsed parsed = VTodoText::parse(text, utc(2024, 1, 10, 0, 0));
        QTEST(parsed.fields.level, "level");
        QTEST(parsed.fields.expireAt, "expireAt");
        QCOMPARE(parsed.recurring, properties.contains("RRULE") || properties.contains("RDATE"));
    }

    void merge_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QDateTime>("remoteChangedAt");
        QTest::addColumn<bool>("keptLocal");
        QTest::addColumn<QString>("notice");
        const QDateTime tie = utc(2024, 5, 1, 10, 0), later = tie.addSecs(3600);
        const QString base = u"Call Acme"_s, inc = u"Call Acme Inc"_s, ltd = u"Call Acme Ltd"_s;
        const QString byServer =
            u"Name: \"Call Acme Inc\" from this computer was replaced by \"Call Acme Ltd\" "
            "from the server."_s;
        const QString byLocal = u"Name: \"Call Acme Ltd\" from the server was replaced by \"Call Acme Inc\" "
                                "from this computer."_s;
        QTest::newRow("remote only") << u"name"_s << base << ltd << tie << false << QString();
        QTest::newRow("local only") << u"name"_s << inc << base << later << true << QString();
        QTest::newRow("same change") << u"name"_s << ltd << ltd << QDateTime() << true << QString();
        QTest::newRow("remote later") << u"name"_s << inc << ltd << later << false << byServer;
        QTest::newRow("tie") << u"name"_s << inc << ltd << tie << false << byServer;
        QTest::newRow("local later") << u"name"_s << inc << ltd << tie.addSecs(-1) << true << byLocal;
        QTest::newRow("remote time unknown") << u"name"_s << inc << ltd << QDateTime() << true << byLocal;
        const QString a = u"2024-05-01 12:00"_s, b = u"2024-05-02 08:30"_s;
        QTest::newRow("expiry")
            << u"expiry"_s << a << b << later << false
            << u"Expiry: \"%1\" from this computer was replaced by \"%2\" from the server."_s.arg(a, b);
        const QString longNotes = QString(70, u'a');
        QTest::newRow("notes")
            << u"notes"_s << longNotes << u"short"_s << tie.addSecs(-1) << true
            << u"Notes: \"short\" from the server was replaced by \"%1\" from this computer."_s.arg(
                   longNotes.left(60) + QChar(0x2026));
    }
    void merge()
    {
        QFETCH(QString, property);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QFETCH(QDateTime, remoteChangedAt);
        QFETCH(bool, keptLocal);
        const TaskMerge::Result result =
            TaskMerge::merge(withValue({}, {}), withValue(property, local), utc(2024, 5, 1, 10, 0),
                             withValue(property, remote), remoteChangedAt);
        QCOMPARE(result.fields, withValue(property, keptLocal ? local : remote));
        QFETCH(QString, notice);
        QCOMPARE(result.notices, notice.isEmpty() ? QStringList() : QStringList{notice});
    }
};

QTEST_GUILESS_MAIN(TstVTodoText)
#include "tst_vtodotext.moc"
