#pragma once
// The unsaved picture list that the program keeps when it has to end without the user's
// answer, for the next start to offer: recovery.csv, a list file of its own, and
// recovery.txt, which says which list or folder it was and when it was kept.
#include <QDateTime>
#include <QString>

#include <optional>
#include <string>

struct SRecovery {
    QString listFile;  // the list it was; empty for a folder's own pictures
    QString folder;    // the folder the window showed
    QDateTime written;
};

namespace recovery {

// recovery.csv in the program's data folder.
QString copyPath();
// Writes recovery.txt once the copy is written; false with the system's words in why.
bool writeNote(const SRecovery& kept, std::string* why);
// What an earlier run kept: a copy with its note.
std::optional<SRecovery> find();
// Removes the note, then the copy: a copy without its note is never offered.
void remove();

}  // namespace recovery
