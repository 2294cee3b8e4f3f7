#pragma once

#include <QString>

class QFileDevice;

// Files and folders that only their owner may open: the database, its settings, exports and backups.
// On Windows the user's profile already keeps them from others; nothing is changed there.
namespace PrivateFiles {

// Reading and writing for the owner only. Returns true when the mode let anyone else in before.
bool makePrivateFile(const QString &path);
// The same for an open file, before anything is written into it.
void makePrivateFile(QFileDevice &file);
// Reading, writing and entering for the owner only. Returns true when the mode let anyone else in.
bool makePrivateFolder(const QString &path);
// An empty private file at path, with its folder, unless a file is there already.
void createPrivateFile(const QString &path);

} // namespace PrivateFiles
