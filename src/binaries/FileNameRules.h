#pragma once

#include <QString>

// The file-name rules every decoder uses for names that come from articles.
// A cleaned name is one path component: it can never leave its directory.

// Removes one leading and one trailing double quote and replaces
// " $ * / : < > ? \ and control characters by "-". The result is never
// empty, "." or ".." (those become "_") and is at most kMaxFileNameBytes of
// UTF-8; a longer name is cut before its extension.
QString CleanFileName(const QString& name);
// False for names with "/", ":", "?" or "\", control characters, and for
// "", "." and "..".
bool IsValidFileName(const QString& name);
// With overwrite set, or when directory + name does not exist, name itself;
// otherwise base + "_" + N + extension for the first N = 1, 2, ... that does
// not exist (the extension is the text from the last "." on). Dangling links
// count as existing, so no decoder ever writes through one. A caller that
// numbers many files of one name passes next (the first N to try, updated),
// so the search never starts again from 1.
QString UniqueFileName(const QString& directory, const QString& name, bool overwrite, qint64* next = nullptr);

// Whether anything (file, directory, link, even a dangling one) has this path.
bool PathEntryExists(const QString& path);

// name cut to at most maxBytes of UTF-8 without splitting a character,
// keeping an extension of up to 32 bytes.
QString FitFileName(const QString& name, int maxBytes);

inline constexpr int kMaxFileNameBytes = 255;
