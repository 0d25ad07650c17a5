#pragma once

#include <QString>

// The file dialogs of saving and opening the tool's files, with their questions: a name typed
// without an extension gets the default one; an existing file is rewritten only after a Yes
// (No shows the dialog again); a missing file to open says so and shows the dialog again.
class FileChoice
{
public:
    // The file to write, or "" when the user cancels.
    static QString askSaveName(const QString &caption, const QString &filter, const QString &extension);
    // The existing file to read, or "" when the user cancels.
    static QString askOpenName(const QString &caption, const QString &filter, const QString &extension);
    // path with ".extension" when it is a new name without one; a name that already names
    // something (a file, a device such as /dev/stdout, a pipe) is taken as it is.
    static QString withExtension(const QString &path, const QString &extension);
    // Whether path names something other than a regular file to replace: a device, a pipe, or
    // a name of the process's own streams such as /dev/stdout (which may lead to a regular
    // file the shell opened).
    static bool isDeviceOrPipe(const QString &path);
};
