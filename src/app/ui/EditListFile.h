#pragma once

#include <QString>

// Opens one of the user-editable list files ("_CompleteMultipartStrings.txt",
// "_Headers.txt", "_AutoShowList.txt") of dir in the desktop's text editor,
// creating it with its default content first when it is missing. False (with
// the error shown) when no editor could be started.
bool EditListFile(const QString& dir, const QString& fileName);
