<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CalDavClient</name>
    <message>
        <source>The server address is not valid.</source>
        <translation>Die Serveradresse ist ungültig.</translation>
    </message>
    <message>
        <source>The address %1 is not encrypted: only https:// is allowed, except to this computer.</source>
        <translation>Die Adresse %1 ist nicht verschlüsselt: Nur https:// ist erlaubt, außer zu diesem Computer.</translation>
    </message>
    <message>
        <source>The address %1 is neither https:// nor http://.</source>
        <translation>Die Adresse %1 ist weder https:// noch http://.</translation>
    </message>
    <message>
        <source>The transfer was cancelled.</source>
        <translation>Die Übertragung wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The server did not answer in time.</source>
        <translation>Der Server hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>The server&apos;s certificate was refused: %1</source>
        <translation>Das Zertifikat des Servers wurde abgelehnt: %1</translation>
    </message>
    <message>
        <source>The server redirected too many times.</source>
        <translation>Der Server hat zu oft umgeleitet.</translation>
    </message>
    <message>
        <source>The server redirected to %1, which is not safe.</source>
        <translation>Der Server hat auf %1 umgeleitet; das ist nicht sicher.</translation>
    </message>
    <message>
        <source>The server refused the user name or password.</source>
        <translation>Der Server hat den Benutzernamen oder das Passwort abgelehnt.</translation>
    </message>
    <message>
        <source>The server refused this account access to its calendars.</source>
        <translation>Der Server verweigert diesem Konto den Zugriff auf seine Kalender.</translation>
    </message>
    <message>
        <source>The server has nothing at %1.</source>
        <translation>Auf dem Server gibt es unter %1 nichts.</translation>
    </message>
    <message>
        <source>It was changed on the server in the meantime.</source>
        <translation>Der Eintrag wurde inzwischen auf dem Server geändert.</translation>
    </message>
    <message>
        <source>HTTP %1: %2</source>
        <translation>HTTP %1: %2</translation>
    </message>
    <message>
        <source>HTTP %1 instead of a multistatus</source>
        <translation>HTTP %1 statt einer Multistatus-Antwort</translation>
    </message>
    <message>
        <source>The server&apos;s answer could not be read: %1</source>
        <translation>Die Antwort des Servers konnte nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>The server names no principal for this account.</source>
        <translation>Der Server nennt keinen Principal für dieses Konto.</translation>
    </message>
    <message>
        <source>This calendar cannot hold tasks.</source>
        <translation>Dieser Kalender kann keine Aufgaben aufnehmen.</translation>
    </message>
    <message>
        <source>The server names no calendar home for this account.</source>
        <translation>Der Server nennt kein Kalenderverzeichnis für dieses Konto.</translation>
    </message>
    <message>
        <source>The server has no calendar that can hold tasks.</source>
        <translation>Der Server hat keinen Kalender, der Aufgaben aufnehmen kann.</translation>
    </message>
    <message>
        <source>The server names no calendar home.</source>
        <translation>Der Server nennt kein Kalenderverzeichnis.</translation>
    </message>
    <message>
        <source>The server no longer accepts the sync token.</source>
        <translation>Der Server akzeptiert das Synchronisierungstoken nicht mehr.</translation>
    </message>
    <message>
        <source>The server does not support WebDAV sync.</source>
        <translation>Der Server unterstützt keine WebDAV-Synchronisierung.</translation>
    </message>
    <message>
        <source>The server&apos;s sync answer does not end.</source>
        <translation>Die Synchronisierungsantwort des Servers endet nicht.</translation>
    </message>
</context>
<context>
    <name>CalendarPage</name>
    <message>
        <source>Could not change the task.</source>
        <translation>Die Aufgabe konnte nicht geändert werden.</translation>
    </message>
    <message>
        <source>Month</source>
        <translation>Monat</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Jahr</translation>
    </message>
    <message>
        <source>%1, no tasks</source>
        <translation>%1, keine Aufgaben</translation>
    </message>
    <message>
        <source>%1, 1 task</source>
        <translation>%1, 1 Aufgabe</translation>
    </message>
    <message numerus="yes">
        <source>%1, %n tasks</source>
        <translation>
            <numerusform>%1, %n Aufgabe</numerusform>
            <numerusform>%1, %n Aufgaben</numerusform>
        </translation>
    </message>
    <message>
        <source>Previous month</source>
        <translation>Vorheriger Monat</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation>Nächster Monat</translation>
    </message>
    <message>
        <source>Calendar</source>
        <translation>Kalender</translation>
    </message>
    <message>
        <source>Show all tasks of this day</source>
        <translation>Alle Aufgaben dieses Tages anzeigen</translation>
    </message>
</context>
<context>
    <name>ChartPage</name>
    <message>
        <source>Could not change the task.</source>
        <translation>Die Aufgabe konnte nicht geändert werden.</translation>
    </message>
    <message>
        <source>Expire from</source>
        <translation>Fällig ab</translation>
    </message>
    <message>
        <source>Expire to</source>
        <translation>Fällig bis</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filtern</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Gesamt</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Erledigt</translation>
    </message>
    <message>
        <source>%1: 1 task, %2 done</source>
        <translation>%1: 1 Aufgabe, %2 erledigt</translation>
    </message>
    <message numerus="yes">
        <source>%1: %n tasks, %2 done</source>
        <translation>
            <numerusform>%1: %n Aufgabe, %2 erledigt</numerusform>
            <numerusform>%1: %n Aufgaben, %2 erledigt</numerusform>
        </translation>
    </message>
    <message>
        <source>Space picks the date</source>
        <translation>Leertaste wählt das Datum</translation>
    </message>
    <message>
        <source>Show as chart</source>
        <translation>Als Diagramm zeigen</translation>
    </message>
    <message>
        <source>Show as table</source>
        <translation>Als Tabelle zeigen</translation>
    </message>
    <message>
        <source>Day</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>Tasks per day</source>
        <translation>Aufgaben pro Tag</translation>
    </message>
</context>
<context>
    <name>ConnectionBanner</name>
    <message>
        <source>Connected again</source>
        <translation>Wieder verbunden</translation>
    </message>
    <message>
        <source>Connection to the server lost — retrying…</source>
        <translation>Verbindung zum Server verloren — neuer Versuch…</translation>
    </message>
    <message>
        <source>The database file cannot be reached — retrying…</source>
        <translation>Die Datenbankdatei ist nicht erreichbar — neuer Versuch…</translation>
    </message>
    <message>
        <source>What is shown may not be current; changes cannot be saved until the connection is back.</source>
        <translation>Die Anzeige ist möglicherweise nicht aktuell; Änderungen können erst gespeichert werden, wenn die Verbindung wieder besteht.</translation>
    </message>
</context>
<context>
    <name>ConnectionKeeper</name>
    <message>
        <source>The connection to the server is lost (%1). What you entered is kept: try again once it is back.</source>
        <translation>Die Verbindung zum Server ist unterbrochen (%1). Ihre Eingaben bleiben erhalten: Versuchen Sie es erneut, sobald sie wieder besteht.</translation>
    </message>
    <message>
        <source>The database file cannot be reached (%1). What you entered is kept: try again once it is back.</source>
        <translation>Die Datenbankdatei ist nicht erreichbar (%1). Ihre Eingaben bleiben erhalten: Versuchen Sie es erneut, sobald sie wieder erreichbar ist.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be found</source>
        <translation>&quot;%1&quot; wurde nicht gefunden</translation>
    </message>
    <message>
        <source>the server closed the connection</source>
        <translation>der Server hat die Verbindung geschlossen</translation>
    </message>
</context>
<context>
    <name>CustomerDialog</name>
    <message>
        <source>Name is required</source>
        <translation>Name ist erforderlich</translation>
    </message>
    <message>
        <source>Could not save the customer.</source>
        <translation>Der Kunde konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Could not delete the customer.</source>
        <translation>Der Kunde konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Edit Customer</source>
        <translation>Kunde bearbeiten</translation>
    </message>
    <message>
        <source>New Customer</source>
        <translation>Neuer Kunde</translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation>Aufgaben</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>Kontakte</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Contact type</source>
        <translation>Kontaktart</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
    <message>
        <source>Label</source>
        <translation>Bezeichnung</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Sections</source>
        <translation>Bereiche</translation>
    </message>
</context>
<context>
    <name>CustomerSelectionDialog</name>
    <message>
        <source>Select Customer</source>
        <translation>Kunde auswählen</translation>
    </message>
    <message>
        <source>Search by name min 3 chars...</source>
        <translation>Nach Namen suchen, mind. 3 Zeichen...</translation>
    </message>
    <message>
        <source>Customers found</source>
        <translation>Gefundene Kunden</translation>
    </message>
</context>
<context>
    <name>CustomerTableModel</name>
    <message>
        <source>phone %1</source>
        <translation>Telefon %1</translation>
    </message>
    <message>
        <source>email %1</source>
        <translation>E-Mail %1</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Phone</source>
        <translation>Telefon</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Created at</source>
        <translation>Erstellt am</translation>
    </message>
</context>
<context>
    <name>CustomersPage</name>
    <message>
        <source>Search by id/name/Contact...</source>
        <translation>Suche nach ID/Name/Kontakt...</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>New</source>
        <translation>Neu</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Prev</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Page </source>
        <translation>Seite </translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Total: </source>
        <translation>Gesamt: </translation>
    </message>
    <message>
        <source>Customers per page</source>
        <translation>Kunden pro Seite</translation>
    </message>
    <message>
        <source>Customers</source>
        <translation>Kunden</translation>
    </message>
</context>
<context>
    <name>DatabaseTarget</name>
    <message>
        <source>the file %1 does not exist</source>
        <translation>die Datei %1 existiert nicht</translation>
    </message>
    <message>
        <source>Write the server as key=value pairs, such as &quot;host=db.example port=5432 dbname=duevia user=anna&quot;, not as a URI.</source>
        <translation>Geben Sie den Server als Schlüssel=Wert-Paare an, etwa &quot;host=db.example port=5432 dbname=duevia user=anna&quot;, nicht als URI.</translation>
    </message>
    <message>
        <source>Write the server as key=value pairs, such as &quot;host=db.example port=5432 dbname=duevia user=anna&quot;, with a value that holds spaces in single quotes.</source>
        <translation>Geben Sie den Server als Schlüssel=Wert-Paare an, etwa &quot;host=db.example port=5432 dbname=duevia user=anna&quot;, und setzen Sie einen Wert mit Leerzeichen in einfache Anführungszeichen.</translation>
    </message>
    <message>
        <source>The server setting must not hold a password: it would be stored in the settings file. Put the password in ~/.pgpass (or PGPASSFILE or a service file) and leave it out here.</source>
        <translation>Die Servereinstellung darf kein Passwort enthalten: Es würde in der Einstellungsdatei gespeichert. Legen Sie das Passwort in ~/.pgpass (oder PGPASSFILE oder einer Servicedatei) ab und lassen Sie es hier weg.</translation>
    </message>
    <message>
        <source>The server setting must not name a password file: the file is the one PGPASSFILE names, or ~/.pgpass. Leave passfile out here.</source>
        <translation>Die Servereinstellung darf keine Passwortdatei nennen: Verwendet wird die Datei, die PGPASSFILE nennt, oder ~/.pgpass. Lassen Sie passfile hier weg.</translation>
    </message>
    <message>
        <source>The server setting must not set a password in &quot;options&quot;: it would be stored in the settings file. Put the password in ~/.pgpass (or PGPASSFILE or a service file) and leave it out here.</source>
        <translation>Die Servereinstellung darf in &quot;options&quot; kein Passwort setzen: Es würde in der Einstellungsdatei gespeichert. Legen Sie das Passwort in ~/.pgpass (oder PGPASSFILE oder einer Servicedatei) ab und lassen Sie es hier weg.</translation>
    </message>
    <message>
        <source>The connection to %1 is not verified (sslmode=%2): use sslmode=verify-full so that nobody between you and the server can read or change the data.</source>
        <translation>Die Verbindung zu %1 ist nicht geprüft (sslmode=%2): Verwenden Sie sslmode=verify-full, damit niemand zwischen Ihnen und dem Server die Daten lesen oder ändern kann.</translation>
    </message>
    <message>
        <source>(the setting &quot;dbServer&quot;)</source>
        <translation>(die Einstellung &quot;dbServer&quot;)</translation>
    </message>
</context>
<context>
    <name>DbManager</name>
    <message>
        <source>the database is not open</source>
        <translation>die Datenbank ist nicht geöffnet</translation>
    </message>
    <message>
        <source>the file belongs to another program; it was left unchanged</source>
        <translation>die Datei gehört zu einem anderen Programm; sie wurde nicht verändert</translation>
    </message>
    <message>
        <source>the file was written by a newer version of this program (file version %1, this program knows up to %2); it was left unchanged</source>
        <translation>die Datei wurde von einer neueren Version dieses Programms geschrieben (Dateiversion %1, dieses Programm kennt bis %2); sie wurde nicht verändert</translation>
    </message>
    <message>
        <source>its indexes and counters could not be built</source>
        <translation>ihre Indizes und Zähler konnten nicht aufgebaut werden</translation>
    </message>
    <message>
        <source>The database %1 lacks its indexes and counters, so its tasks and customers cannot be read; ensureIndexes() builds them.</source>
        <translation>Der Datenbank %1 fehlen ihre Indizes und Zähler, daher können ihre Aufgaben und Kunden nicht gelesen werden; ensureIndexes() baut sie auf.</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>Task due soon</source>
        <translation>Aufgabe bald fällig</translation>
    </message>
    <message>
        <source>Expire at: </source>
        <translation>Fällig am: </translation>
    </message>
    <message numerus="yes">
        <source>%n tasks due soon</source>
        <translation>
            <numerusform>%n Aufgabe bald fällig</numerusform>
            <numerusform>%n Aufgaben bald fällig</numerusform>
        </translation>
    </message>
    <message>
        <source>%1, expire at %2</source>
        <translation>%1, fällig am %2</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>und %n weitere</numerusform>
            <numerusform>und %n weitere</numerusform>
        </translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
</context>
<context>
    <name>DialogButtons</name>
    <message>
        <source>Dialog buttons</source>
        <translation>Dialogschaltflächen</translation>
    </message>
</context>
<context>
    <name>ExpiryPicker</name>
    <message>
        <source>Time:</source>
        <translation>Uhrzeit:</translation>
    </message>
    <message>
        <source>Hour</source>
        <translation>Stunde</translation>
    </message>
    <message>
        <source>Minute</source>
        <translation>Minute</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>HomePage</name>
    <message>
        <source>Duevia</source>
        <translation>Duevia</translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation>Aufgaben</translation>
    </message>
    <message>
        <source>Calendar</source>
        <translation>Kalender</translation>
    </message>
    <message>
        <source>Customers</source>
        <translation>Kunden</translation>
    </message>
    <message>
        <source>Task chart</source>
        <translation>Aufgabendiagramm</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Abmelden</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Seiten</translation>
    </message>
</context>
<context>
    <name>LanguageService</name>
    <message>
        <source>System</source>
        <translation>Systemsprache</translation>
    </message>
</context>
<context>
    <name>LoginPage</name>
    <message>
        <source>Invalid credentials (or user inactive).</source>
        <translation>Ungültige Anmeldedaten (oder Benutzer inaktiv).</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Anmeldung</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Create account</source>
        <translation>Konto erstellen</translation>
    </message>
    <message>
        <source>Built with</source>
        <translation>Erstellt mit</translation>
    </message>
    <message>
        <source>Qt</source>
        <translation>Qt</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Duevia</source>
        <translation>Duevia</translation>
    </message>
    <message>
        <source>Task expiring soon: </source>
        <translation>Aufgabe bald fällig: </translation>
    </message>
    <message>
        <source>Expire at: </source>
        <translation>Fällig am: </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>und %n weitere</numerusform>
            <numerusform>und %n weitere</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n tasks expiring soon: </source>
        <translation>
            <numerusform>%n Aufgabe bald fällig: </numerusform>
            <numerusform>%n Aufgaben bald fällig: </numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MyDatePicker</name>
    <message>
        <source>Day</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>Previous month</source>
        <translation>Vorheriger Monat</translation>
    </message>
    <message>
        <source>Next month</source>
        <translation>Nächster Monat</translation>
    </message>
</context>
<context>
    <name>NotesArea</name>
    <message>
        <source>Add some notes here...</source>
        <translation>Notizen hier eintragen...</translation>
    </message>
</context>
<context>
    <name>PreparationWindow</name>
    <message>
        <source>Duevia</source>
        <translation>Duevia</translation>
    </message>
    <message>
        <source>Preparing the database file. This happens once and can take a few seconds.</source>
        <translation>Die Datenbankdatei wird vorbereitet. Das geschieht einmalig und kann einige Sekunden dauern.</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Database</source>
        <translation>Datenbank</translation>
    </message>
    <message>
        <source>Use default database</source>
        <translation>Standarddatenbank verwenden</translation>
    </message>
    <message>
        <source>Use the local file this time</source>
        <translation>Diesmal die lokale Datei verwenden</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>To stop using this server, clear &quot;Server&quot; in Settings.</source>
        <translation>Um diesen Server nicht mehr zu verwenden, leeren Sie &quot;Server&quot; in den Einstellungen.</translation>
    </message>
    <message>
        <source>Cannot open the database on the server &quot;%1&quot;: %2</source>
        <translation>Die Datenbank auf dem Server &quot;%1&quot; kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>The database on the server &quot;%1&quot; is prepared.</source>
        <translation>Die Datenbank auf dem Server &quot;%1&quot; ist vorbereitet.</translation>
    </message>
    <message>
        <source>Members&apos; pages sorted by name and searches cannot use their indexes until a superuser runs in this database: %1</source>
        <translation>Nach Namen sortierte Seiten und Suchen der Mitglieder können ihre Indizes erst nutzen, wenn ein Superuser in dieser Datenbank Folgendes ausführt: %1</translation>
    </message>
    <message>
        <source>Cannot open SQLite database &quot;%1&quot;: %2</source>
        <translation>SQLite-Datenbank &quot;%1&quot; kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>its indexes and counters could not be built</source>
        <translation>ihre Indizes und Zähler konnten nicht aufgebaut werden</translation>
    </message>
</context>
<context>
    <name>RegisterPage</name>
    <message>
        <source>Insert full name.</source>
        <translation>Geben Sie Ihren vollständigen Namen ein.</translation>
    </message>
    <message>
        <source>Username too short.</source>
        <translation>Benutzername zu kurz.</translation>
    </message>
    <message>
        <source>Password must be at least 8 characters.</source>
        <translation>Das Passwort muss mindestens 8 Zeichen lang sein.</translation>
    </message>
    <message>
        <source>Passwords do not match.</source>
        <translation>Die Passwörter stimmen nicht überein.</translation>
    </message>
    <message>
        <source>Account created. You can login now.</source>
        <translation>Konto erstellt. Sie können sich jetzt anmelden.</translation>
    </message>
    <message>
        <source>Registration failed (username already exists or DB error).</source>
        <translation>Registrierung fehlgeschlagen (Benutzername existiert bereits oder Datenbankfehler).</translation>
    </message>
    <message>
        <source>Create account</source>
        <translation>Konto erstellen</translation>
    </message>
    <message>
        <source>Full name</source>
        <translation>Vollständiger Name</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password (min 8 chars)</source>
        <translation>Passwort (mind. 8 Zeichen)</translation>
    </message>
    <message>
        <source>Confirm password</source>
        <translation>Passwort bestätigen</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Register</source>
        <translation>Registrieren</translation>
    </message>
</context>
<context>
    <name>ServerAccess</name>
    <message>
        <source>the database&apos;s access rules are not set up yet: its owner has to start the program once (or run it with --prepare-server) before anyone else signs in</source>
        <translation>die Zugriffsregeln der Datenbank sind noch nicht eingerichtet: Der Eigentümer der Datenbank muss das Programm einmal starten (oder es mit --prepare-server ausführen), bevor sich jemand anderes anmeldet</translation>
    </message>
    <message>
        <source>the database&apos;s access rules were set up by a newer version of this program; it was left unchanged</source>
        <translation>die Zugriffsregeln der Datenbank wurden von einer neueren Version dieses Programms eingerichtet; sie wurde nicht verändert</translation>
    </message>
</context>
<context>
    <name>ServerSettings</name>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>host=db.example port=5432 dbname=duevia user=anna</source>
        <translation>host=db.example port=5432 dbname=duevia user=anna</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation>Verbindung testen</translation>
    </message>
    <message>
        <source>Restart the app to use a changed server. While a server is set, the database path is not used; the password comes from ~/.pgpass.</source>
        <translation>Starten Sie das Programm neu, um einen geänderten Server zu verwenden. Solange ein Server eingestellt ist, wird der Datenbankpfad nicht verwendet; das Passwort stammt aus ~/.pgpass.</translation>
    </message>
    <message>
        <source>Connected to PostgreSQL %1.</source>
        <translation>Verbunden mit PostgreSQL %1.</translation>
    </message>
    <message>
        <source>Cannot connect: %1</source>
        <translation>Keine Verbindung möglich: %1</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation>Benachrichtigungen</translation>
    </message>
    <message>
        <source>Minutes before task expiration</source>
        <translation>Minuten vor Fälligkeit der Aufgabe</translation>
    </message>
    <message>
        <source>Choose sound (WAV/MP3)</source>
        <translation>Ton auswählen (WAV/MP3)</translation>
    </message>
    <message>
        <source>Desktop notifications</source>
        <translation>Desktop-Benachrichtigungen</translation>
    </message>
    <message>
        <source>Shortcuts main</source>
        <translation>Tastenkürzel Hauptfenster</translation>
    </message>
    <message>
        <source>alt+1: tasks</source>
        <translation>alt+1: Aufgaben</translation>
    </message>
    <message>
        <source>alt+2: calendar</source>
        <translation>alt+2: Kalender</translation>
    </message>
    <message>
        <source>alt+3: customers</source>
        <translation>alt+3: Kunden</translation>
    </message>
    <message>
        <source>alt+4: task chart</source>
        <translation>alt+4: Aufgabendiagramm</translation>
    </message>
    <message>
        <source>ctrl+l: logout</source>
        <translation>ctrl+l: abmelden</translation>
    </message>
    <message>
        <source>Shortcuts task/calendar table</source>
        <translation>Tastenkürzel Aufgaben-/Kalendertabelle</translation>
    </message>
    <message>
        <source>ctrl+f: search</source>
        <translation>ctrl+f: suchen</translation>
    </message>
    <message>
        <source>ctrl+n: new</source>
        <translation>ctrl+n: neu</translation>
    </message>
    <message>
        <source>ctrl+e: edit</source>
        <translation>ctrl+e: bearbeiten</translation>
    </message>
    <message>
        <source>delete: delete</source>
        <translation>delete: löschen</translation>
    </message>
    <message>
        <source>home: first page</source>
        <translation>home: erste Seite</translation>
    </message>
    <message>
        <source>end: last page</source>
        <translation>end: letzte Seite</translation>
    </message>
    <message>
        <source>up arrow: previous task</source>
        <translation>Pfeil hoch: vorherige Aufgabe</translation>
    </message>
    <message>
        <source>down arrow: next task</source>
        <translation>Pfeil runter: nächste Aufgabe</translation>
    </message>
    <message>
        <source>right arrow: next page</source>
        <translation>Pfeil rechts: nächste Seite</translation>
    </message>
    <message>
        <source>left arrow: previous page</source>
        <translation>Pfeil links: vorherige Seite</translation>
    </message>
    <message>
        <source>Shortcuts task form</source>
        <translation>Tastenkürzel Aufgabenformular</translation>
    </message>
    <message>
        <source>return: save</source>
        <translation>return: speichern</translation>
    </message>
    <message>
        <source>esc: close task/calendar dialog</source>
        <translation>esc: Aufgaben-/Kalenderdialog schließen</translation>
    </message>
    <message>
        <source>ctrl+w: higher level</source>
        <translation>ctrl+w: höhere Stufe</translation>
    </message>
    <message>
        <source>ctrl+q: lower level</source>
        <translation>ctrl+q: niedrigere Stufe</translation>
    </message>
    <message>
        <source>ctrl+d: toggle done</source>
        <translation>ctrl+d: erledigt umschalten</translation>
    </message>
    <message>
        <source>ctrl+g: pick date &amp; time</source>
        <translation>ctrl+g: Datum &amp; Uhrzeit wählen</translation>
    </message>
    <message>
        <source>arrows: change calendar day</source>
        <translation>Pfeiltasten: Tag im Kalender ändern</translation>
    </message>
    <message>
        <source>ctrl+up/down: change calendar hour</source>
        <translation>ctrl+up/down: Stunde im Kalender ändern</translation>
    </message>
    <message>
        <source>ctrl+right/left: change calendar minute</source>
        <translation>ctrl+right/left: Minute im Kalender ändern</translation>
    </message>
    <message>
        <source>Database in use: %1</source>
        <translation>Verwendete Datenbank: %1</translation>
    </message>
    <message>
        <source>Database path:</source>
        <translation>Datenbankpfad:</translation>
    </message>
    <message>
        <source>Database path</source>
        <translation>Datenbankpfad</translation>
    </message>
    <message>
        <source>Choose DB</source>
        <translation>DB wählen</translation>
    </message>
    <message>
        <source>Use default</source>
        <translation>Standard verwenden</translation>
    </message>
    <message>
        <source>Restart the app to use a changed database path.</source>
        <translation>Starten Sie das Programm neu, um einen geänderten Datenbankpfad zu verwenden.</translation>
    </message>
    <message>
        <source>Choose database</source>
        <translation>Datenbank wählen</translation>
    </message>
    <message>
        <source>SQLite database (*.db *.sqlite *.sqlite3)</source>
        <translation>SQLite-Datenbank (*.db *.sqlite *.sqlite3)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
</context>
<context>
    <name>SortHeaderCell</name>
    <message>
        <source>%1, sorted ascending</source>
        <translation>%1, aufsteigend sortiert</translation>
    </message>
    <message>
        <source>%1, sorted descending</source>
        <translation>%1, absteigend sortiert</translation>
    </message>
</context>
<context>
    <name>SyncEngine</name>
    <message>
        <source>No sync account is set up.</source>
        <translation>Es ist kein Synchronisierungskonto eingerichtet.</translation>
    </message>
    <message>
        <source>Looking for changes on the server</source>
        <translation>Änderungen auf dem Server werden gesucht</translation>
    </message>
    <message>
        <source>Receiving changes</source>
        <translation>Änderungen werden empfangen</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>Abgebrochen.</translation>
    </message>
    <message>
        <source>This task was deleted here and changed on the server at the same time; it was kept with the server&apos;s changes.</source>
        <translation>Diese Aufgabe wurde hier gelöscht und gleichzeitig auf dem Server geändert; sie wurde mit den Änderungen des Servers behalten.</translation>
    </message>
    <message>
        <source>This task was deleted on the server after it was changed here; it was kept and is sent again.</source>
        <translation>Diese Aufgabe wurde auf dem Server gelöscht, nachdem sie hier geändert wurde; sie wurde behalten und wird erneut gesendet.</translation>
    </message>
    <message>
        <source>Sending deletions</source>
        <translation>Löschungen werden gesendet</translation>
    </message>
    <message>
        <source>Sending changes</source>
        <translation>Änderungen werden gesendet</translation>
    </message>
    <message>
        <source>The database could not record the sync.</source>
        <translation>Die Datenbank konnte die Synchronisierung nicht speichern.</translation>
    </message>
</context>
<context>
    <name>SyncNotice</name>
    <message>
        <source>Sync notice: %1</source>
        <translation>Synchronisierungshinweis: %1</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Ausblenden</translation>
    </message>
</context>
<context>
    <name>SyncService</name>
    <message>
        <source>The password could not be read from the system&apos;s secret store: %1</source>
        <translation>Das Passwort konnte nicht aus dem Passwortspeicher des Systems gelesen werden: %1</translation>
    </message>
    <message>
        <source>Enter the sync password in Settings.</source>
        <translation>Geben Sie das Synchronisierungspasswort in den Einstellungen ein.</translation>
    </message>
    <message>
        <source>The password could not be kept in the system&apos;s secret store: %1</source>
        <translation>Das Passwort konnte nicht im Passwortspeicher des Systems abgelegt werden: %1</translation>
    </message>
    <message>
        <source>Sync is off.</source>
        <translation>Die Synchronisierung ist ausgeschaltet.</translation>
    </message>
    <message>
        <source>%1… %2 of %3</source>
        <translation>%1… %2 von %3</translation>
    </message>
    <message>
        <source>Syncing…</source>
        <translation>Synchronisierung…</translation>
    </message>
    <message>
        <source>Last synced %1.</source>
        <translation>Zuletzt synchronisiert am %1.</translation>
    </message>
    <message>
        <source>Not synced yet.</source>
        <translation>Noch nicht synchronisiert.</translation>
    </message>
    <message numerus="yes">
        <source>%1 Not synced: %2 Trying again in %n minute(s).</source>
        <translation>
            <numerusform>%1 Nicht synchronisiert: %2 Neuer Versuch in %n Minute.</numerusform>
            <numerusform>%1 Nicht synchronisiert: %2 Neuer Versuch in %n Minuten.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 Not synced: %2</source>
        <translation>%1 Nicht synchronisiert: %2</translation>
    </message>
    <message>
        <source>Wait for the sync under way to finish.</source>
        <translation>Warten Sie, bis die laufende Synchronisierung beendet ist.</translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation>Aufgaben</translation>
    </message>
    <message>
        <source>The database could not store the account.</source>
        <translation>Die Datenbank konnte das Konto nicht speichern.</translation>
    </message>
    <message>
        <source>Syncing</source>
        <translation>Synchronisierung</translation>
    </message>
    <message>
        <source>Asking the server</source>
        <translation>Server wird abgefragt</translation>
    </message>
</context>
<context>
    <name>SyncSettings</name>
    <message>
        <source>Create a new list</source>
        <translation>Neue Liste erstellen</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>Synchronisierung</translation>
    </message>
    <message>
        <source>Server address</source>
        <translation>Serveradresse</translation>
    </message>
    <message>
        <source>https://cloud.example or its CalDAV address</source>
        <translation>https://cloud.example oder dessen CalDAV-Adresse</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password or app password</source>
        <translation>Passwort oder App-Passwort</translation>
    </message>
    <message>
        <source>Find task lists</source>
        <translation>Aufgabenlisten suchen</translation>
    </message>
    <message>
        <source>Task list</source>
        <translation>Aufgabenliste</translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation>Aufgaben</translation>
    </message>
    <message>
        <source>Name of the new list</source>
        <translation>Name der neuen Liste</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Tasks sync with the list &quot;%1&quot; on %2 as %3.</source>
        <translation>Aufgaben werden mit der Liste &quot;%1&quot; auf %2 als %3 synchronisiert.</translation>
    </message>
    <message>
        <source>Use password</source>
        <translation>Passwort verwenden</translation>
    </message>
    <message>
        <source>Sync now</source>
        <translation>Jetzt synchronisieren</translation>
    </message>
    <message>
        <source>Cancel sync</source>
        <translation>Synchronisierung abbrechen</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message numerus="yes">
        <source>Found %n task list(s).</source>
        <translation>
            <numerusform>%n Aufgabenliste gefunden.</numerusform>
            <numerusform>%n Aufgabenlisten gefunden.</numerusform>
        </translation>
    </message>
    <message>
        <source>No task list found: %1</source>
        <translation>Keine Aufgabenliste gefunden: %1</translation>
    </message>
    <message>
        <source>create a new one.</source>
        <translation>erstellen Sie eine neue.</translation>
    </message>
    <message>
        <source>Connected.</source>
        <translation>Verbunden.</translation>
    </message>
    <message>
        <source>Not connected: %1</source>
        <translation>Nicht verbunden: %1</translation>
    </message>
</context>
<context>
    <name>SyncStatusBar</name>
    <message numerus="yes">
        <source>%1 %n task(s) with a sync notice.</source>
        <translation>
            <numerusform>%1 %n Aufgabe mit Synchronisierungshinweis.</numerusform>
            <numerusform>%1 %n Aufgaben mit Synchronisierungshinweis.</numerusform>
        </translation>
    </message>
    <message>
        <source>Sync progress</source>
        <translation>Synchronisierungsfortschritt</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Sync now</source>
        <translation>Jetzt synchronisieren</translation>
    </message>
</context>
<context>
    <name>TaskActionMenu</name>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Set Pending</source>
        <translation>Als offen markieren</translation>
    </message>
    <message>
        <source>Set Done</source>
        <translation>Als erledigt markieren</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>TaskDialog</name>
    <message>
        <source>task name and expire date are required</source>
        <translation>Aufgabenname und Fälligkeitsdatum sind erforderlich</translation>
    </message>
    <message>
        <source>Could not save the task.</source>
        <translation>Die Aufgabe konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Could not delete the task.</source>
        <translation>Die Aufgabe konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Selected customer not found</source>
        <translation>Ausgewählter Kunde nicht gefunden</translation>
    </message>
    <message>
        <source>Edit Task</source>
        <translation>Aufgabe bearbeiten</translation>
    </message>
    <message>
        <source>New Task</source>
        <translation>Neue Aufgabe</translation>
    </message>
    <message>
        <source>Select Customer...</source>
        <translation>Kunde auswählen...</translation>
    </message>
    <message>
        <source>Task name</source>
        <translation>Aufgabenname</translation>
    </message>
    <message>
        <source>Expire at (pick date &amp; time)</source>
        <translation>Fällig am (Datum &amp; Uhrzeit wählen)</translation>
    </message>
    <message>
        <source>Add minutes</source>
        <translation>Minuten hinzufügen</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Stufe</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Erledigt</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Customer</source>
        <translation>Kunde</translation>
    </message>
    <message>
        <source>Space chooses a customer</source>
        <translation>Leertaste wählt einen Kunden</translation>
    </message>
    <message>
        <source>Remove the customer</source>
        <translation>Kunden entfernen</translation>
    </message>
    <message>
        <source>Open the customer</source>
        <translation>Kunden öffnen</translation>
    </message>
    <message>
        <source>Space or Ctrl+G picks the date and time</source>
        <translation>Leertaste oder Ctrl+G wählt Datum und Uhrzeit</translation>
    </message>
</context>
<context>
    <name>TaskMerge</name>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>done</source>
        <translation>erledigt</translation>
    </message>
    <message>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; from this computer was replaced by &quot;%3&quot; from the server.</source>
        <translation>%1: &quot;%2&quot; von diesem Computer wurde durch &quot;%3&quot; vom Server ersetzt.</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; from the server was replaced by &quot;%3&quot; from this computer.</source>
        <translation>%1: &quot;%2&quot; vom Server wurde durch &quot;%3&quot; von diesem Computer ersetzt.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>Notizen</translation>
    </message>
    <message>
        <source>Expiry</source>
        <translation>Fälligkeit</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Erledigt</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Stufe</translation>
    </message>
    <message>
        <source>Customer</source>
        <translation>Kunde</translation>
    </message>
</context>
<context>
    <name>TaskTableModel</name>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Stufe</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Erledigt</translation>
    </message>
    <message>
        <source>Expire at</source>
        <translation>Fällig am</translation>
    </message>
    <message>
        <source>Created at</source>
        <translation>Erstellt am</translation>
    </message>
    <message>
        <source>%1, customer %2</source>
        <translation>%1, Kunde %2</translation>
    </message>
    <message>
        <source>done</source>
        <translation>erledigt</translation>
    </message>
    <message>
        <source>overdue</source>
        <translation>überfällig</translation>
    </message>
    <message>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <source>%1, level %2, no due date, %3</source>
        <translation>%1, Stufe %2, kein Fälligkeitsdatum, %3</translation>
    </message>
    <message>
        <source>%1, level %2, due %3, %4</source>
        <translation>%1, Stufe %2, fällig %3, %4</translation>
    </message>
</context>
<context>
    <name>TaskTransferService</name>
    <message numerus="yes">
        <source>This calendar file is damaged: it ends early or holds a NUL byte. %n tasks could be read from it; nothing was imported.</source>
        <translation>
            <numerusform>Diese Kalenderdatei ist beschädigt: Sie endet zu früh oder enthält ein NUL-Byte. %n Aufgabe konnte daraus gelesen werden; nichts wurde importiert.</numerusform>
            <numerusform>Diese Kalenderdatei ist beschädigt: Sie endet zu früh oder enthält ein NUL-Byte. %n Aufgaben konnten daraus gelesen werden; nichts wurde importiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>This file is larger than %1 MB, the most an import reads; nothing was imported.</source>
        <translation>Diese Datei ist größer als %1 MB, das Meiste, was ein Import liest; nichts wurde importiert.</translation>
    </message>
    <message numerus="yes">
        <source>%n without a summary</source>
        <translation>
            <numerusform>%n ohne Titel</numerusform>
            <numerusform>%n ohne Titel</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n with a due date outside the years 1 to 9999</source>
        <translation>
            <numerusform>%n mit einem Fälligkeitsdatum außerhalb der Jahre 1 bis 9999</numerusform>
            <numerusform>%n mit einem Fälligkeitsdatum außerhalb der Jahre 1 bis 9999</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n with a due date that cannot be read (such as &quot;%1&quot;)</source>
        <translation>
            <numerusform>%n mit einem unlesbaren Fälligkeitsdatum (etwa „%1“)</numerusform>
            <numerusform>%n mit einem unlesbaren Fälligkeitsdatum (etwa „%1“)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n with a name or notes longer than the program keeps</source>
        <translation>
            <numerusform>%n mit einem Namen oder Notizen, die länger sind, als das Programm speichert</numerusform>
            <numerusform>%n mit einem Namen oder Notizen, die länger sind, als das Programm speichert</numerusform>
        </translation>
    </message>
    <message>
        <source>Skipped: %1.</source>
        <translation>Übersprungen: %1.</translation>
    </message>
</context>
<context>
    <name>TasksDialog</name>
    <message numerus="yes">
        <source>%n task</source>
        <translation>
            <numerusform>%n Aufgabe</numerusform>
            <numerusform>%n Aufgaben</numerusform>
        </translation>
    </message>
    <message>
        <source>No tasks for this date</source>
        <translation>Keine Aufgaben an diesem Tag</translation>
    </message>
    <message>
        <source>%1 %2 %3</source>
        <comment>weekday, day of the month, month</comment>
        <translation>%1, %2. %3</translation>
    </message>
    <message>
        <source>%1, level %2, done</source>
        <translation>%1, Stufe %2, erledigt</translation>
    </message>
    <message>
        <source>%1, level %2, open</source>
        <translation>%1, Stufe %2, offen</translation>
    </message>
</context>
<context>
    <name>TasksPage</name>
    <message>
        <source>Could not change the task.</source>
        <translation>Die Aufgabe konnte nicht geändert werden.</translation>
    </message>
    <message>
        <source>Search by task id/name or customer name...</source>
        <translation>Suche nach Aufgaben-ID/-Name oder Kundenname...</translation>
    </message>
    <message>
        <source>Show tasks</source>
        <translation>Aufgaben anzeigen</translation>
    </message>
    <message>
        <source>All</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Erledigt</translation>
    </message>
    <message>
        <source>Pending</source>
        <translation>Offen</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Expire from</source>
        <translation>Fällig ab</translation>
    </message>
    <message>
        <source>Expire to</source>
        <translation>Fällig bis</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>New</source>
        <translation>Neu</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Delete Done</source>
        <translation>Erledigte löschen</translation>
    </message>
    <message>
        <source>No tasks match</source>
        <translation>Keine passenden Aufgaben</translation>
    </message>
    <message>
        <source>The counts below are of all your tasks; Clear shows them all again.</source>
        <translation>Die Zahlen unten gelten für alle Ihre Aufgaben; &quot;Leeren&quot; zeigt wieder alle an.</translation>
    </message>
    <message>
        <source>Prev</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Page </source>
        <translation>Seite </translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Low: </source>
        <translation>Niedrig: </translation>
    </message>
    <message>
        <source>Medium: </source>
        <translation>Mittel: </translation>
    </message>
    <message>
        <source>High: </source>
        <translation>Hoch: </translation>
    </message>
    <message>
        <source>Done: </source>
        <translation>Erledigt: </translation>
    </message>
    <message>
        <source>Pending: </source>
        <translation>Offen: </translation>
    </message>
    <message>
        <source>Total: </source>
        <translation>Gesamt: </translation>
    </message>
    <message>
        <source>Tasks per page</source>
        <translation>Aufgaben pro Seite</translation>
    </message>
    <message>
        <source>Confirm deletion</source>
        <translation>Löschen bestätigen</translation>
    </message>
    <message>
        <source>Delete ALL tasks Done? 1 task will be deleted.</source>
        <translation>ALLE erledigten Aufgaben löschen? 1 Aufgabe wird gelöscht.</translation>
    </message>
    <message numerus="yes">
        <source>Delete ALL tasks Done? %n tasks will be deleted.</source>
        <translation>
            <numerusform>ALLE erledigten Aufgaben löschen? %n Aufgabe wird gelöscht.</numerusform>
            <numerusform>ALLE erledigten Aufgaben löschen? %n Aufgaben werden gelöscht.</numerusform>
        </translation>
    </message>
    <message>
        <source>This action cannot be undone.</source>
        <translation>Diese Aktion kann nicht rückgängig gemacht werden.</translation>
    </message>
    <message>
        <source>Deleting done tasks…</source>
        <translation>Erledigte Aufgaben werden gelöscht…</translation>
    </message>
    <message>
        <source>Space picks the date</source>
        <translation>Leertaste wählt das Datum</translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation>Aufgaben</translation>
    </message>
</context>
<context>
    <name>Toast</name>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Ausblenden</translation>
    </message>
</context>
<context>
    <name>TransferPanel</name>
    <message>
        <source>The database is on a server: back it up with the server&apos;s own tools, such as pg_dump.</source>
        <translation>Die Datenbank liegt auf einem Server: Sichern Sie sie mit den Werkzeugen des Servers, etwa pg_dump.</translation>
    </message>
    <message>
        <source>Import cancelled; nothing was imported.</source>
        <translation>Import abgebrochen; es wurde nichts importiert.</translation>
    </message>
    <message>
        <source>Cancelled; no file was written.</source>
        <translation>Abgebrochen; es wurde keine Datei geschrieben.</translation>
    </message>
    <message>
        <source>This file is not an iCalendar (.ics) file; nothing was imported.</source>
        <translation>Diese Datei ist keine iCalendar-Datei (.ics); es wurde nichts importiert.</translation>
    </message>
    <message>
        <source>Could not read %1.</source>
        <translation>%1 konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Could not write %1.</source>
        <translation>%1 konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>That is the open database itself; choose another file.</source>
        <translation>Das ist die geöffnete Datenbank selbst; wählen Sie eine andere Datei.</translation>
    </message>
    <message>
        <source>Another transfer is still running.</source>
        <translation>Eine andere Übertragung läuft noch.</translation>
    </message>
    <message>
        <source>Sign in first.</source>
        <translation>Melden Sie sich zuerst an.</translation>
    </message>
    <message>
        <source>The database could not be read or written; nothing was changed.</source>
        <translation>Die Datenbank konnte nicht gelesen oder geschrieben werden; es wurde nichts geändert.</translation>
    </message>
    <message numerus="yes">
        <source>Imported %n tasks; %1 duplicates and %2 unusable entries skipped.</source>
        <translation>
            <numerusform>%n Aufgabe importiert; %1 Duplikate und %2 unbrauchbare Einträge übersprungen.</numerusform>
            <numerusform>%n Aufgaben importiert; %1 Duplikate und %2 unbrauchbare Einträge übersprungen.</numerusform>
        </translation>
    </message>
    <message>
        <source>Database backed up to %1.</source>
        <translation>Datenbank in %1 gesichert.</translation>
    </message>
    <message numerus="yes">
        <source>Exported %n tasks to %1.</source>
        <translation>
            <numerusform>%n Aufgabe nach %1 exportiert.</numerusform>
            <numerusform>%n Aufgaben nach %1 exportiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>Data</source>
        <translation>Daten</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Import tasks…</source>
        <translation>Aufgaben importieren…</translation>
    </message>
    <message>
        <source>Export tasks…</source>
        <translation>Aufgaben exportieren…</translation>
    </message>
    <message>
        <source>Export as CSV…</source>
        <translation>Als CSV exportieren…</translation>
    </message>
    <message>
        <source>Back up database…</source>
        <translation>Datenbank sichern…</translation>
    </message>
    <message>
        <source>Import tasks</source>
        <translation>Aufgaben importieren</translation>
    </message>
    <message>
        <source>iCalendar files (*.ics *.ical *.ifb)</source>
        <translation>iCalendar-Dateien (*.ics *.ical *.ifb)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Export tasks</source>
        <translation>Aufgaben exportieren</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>iCalendar files (*.ics)</source>
        <translation>iCalendar-Dateien (*.ics)</translation>
    </message>
    <message>
        <source>Export as CSV</source>
        <translation>Als CSV exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV-Dateien (*.csv)</translation>
    </message>
    <message>
        <source>Back up database</source>
        <translation>Datenbank sichern</translation>
    </message>
    <message>
        <source>SQLite database (*.db *.sqlite *.sqlite3)</source>
        <translation>SQLite-Datenbank (*.db *.sqlite *.sqlite3)</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>Replace &quot;%1&quot;?</source>
        <translation>&quot;%1&quot; ersetzen?</translation>
    </message>
</context>
<context>
    <name>UndoBar</name>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Ausblenden</translation>
    </message>
</context>
<context>
    <name>UndoService</name>
    <message>
        <source>Could not delete the task.</source>
        <translation>Die Aufgabe konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Deleted task &quot;%1&quot;</source>
        <translation>Aufgabe &quot;%1&quot; gelöscht</translation>
    </message>
    <message>
        <source>Could not delete the customer.</source>
        <translation>Der Kunde konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Deleted customer &quot;%1&quot;</source>
        <translation>Kunde &quot;%1&quot; gelöscht</translation>
    </message>
    <message>
        <source>Could not restore the task.</source>
        <translation>Die Aufgabe konnte nicht wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>Could not restore the customer.</source>
        <translation>Der Kunde konnte nicht wiederhergestellt werden.</translation>
    </message>
</context>
</TS>
