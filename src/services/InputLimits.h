#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The largest texts and lists the services store. Longer values slow every later page load and
// save of their owner, so the services refuse them and the pages stop taking more as they are typed.
// Lengths count UTF-16 code units, as the text fields do.
class InputLimits : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(int nameLength READ nameLength CONSTANT)
    Q_PROPERTY(int notesLength READ notesLength CONSTANT)
    Q_PROPERTY(int contactFieldLength READ contactFieldLength CONSTANT)
    Q_PROPERTY(int contactsPerCustomer READ contactsPerCustomer CONSTANT)
    Q_PROPERTY(int searchLength READ searchLength CONSTANT)

public:
    using QObject::QObject;

    // Task, customer and account names.
    static constexpr int kNameLength = 1000;
    static constexpr int kNotesLength = 100000;
    // Type, value and label of one contact.
    static constexpr int kContactFieldLength = 1000;
    static constexpr int kContactsPerCustomer = 100;
    // Longer search texts are cut to this length, not refused.
    static constexpr int kSearchLength = 200;
    // Expiry moments outside these years have no ISO 8601 text to store.
    static constexpr int kFirstExpiryYear = 1;
    static constexpr int kLastExpiryYear = 9999;

    int nameLength() const { return kNameLength; }
    int notesLength() const { return kNotesLength; }
    int contactFieldLength() const { return kContactFieldLength; }
    int contactsPerCustomer() const { return kContactsPerCustomer; }
    int searchLength() const { return kSearchLength; }

    // A search text trimmed and cut to the longest search.
    static QString searchText(const QString &text) { return text.trimmed().left(kSearchLength).trimmed(); }

    // True for no expiry (stored as NULL) and for a moment whose local and UTC years both lie in range.
    static bool expiryFits(const QDateTime &expireAt)
    {
        if (!expireAt.isValid())
            return true;
        for (const int year : {expireAt.date().year(), expireAt.toUTC().date().year()}) {
            if (year < kFirstExpiryYear || year > kLastExpiryYear)
                return false;
        }
        return true;
    }
};
