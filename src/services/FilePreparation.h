#pragma once

#include <QObject>

#include <atomic>

class DbManager;

// The one-time step that gives a file its indexes, counters and search index. On a large file it
// takes seconds, so it runs on a worker thread with a connection of its own while a small window
// shows how far it got.
class FilePreparation : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)

public:
    explicit FilePreparation(DbManager *db, QObject *parent = nullptr);

    double progress() const { return m_progress; }

    // Builds what the file lacks; returns at once when it is complete. Returns false when the user
    // closed the window (cancelled()), which stops the work and leaves the file as it was, or when the
    // build failed: the page statements rely on what it makes, so the program must not run without it.
    bool run();
    bool cancelled() const { return m_cancelled; }

    // Stops the work at the next step; the file is left as it was.
    Q_INVOKABLE void cancel();

signals:
    void progressChanged();

private:
    void setProgress(double progress);

    DbManager *m_db = nullptr;
    double m_progress = 0;
    std::atomic<bool> m_cancelled{false};
};
