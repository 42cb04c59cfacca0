#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

class TDownloadList;

// P.grouping: the names of a list's file groups, one per line. Line 0 is
// always empty, so group index k >= 1 names line k.
class TFileGroupList {
 public:
  // Reads P.grouping; false (and no names) when it is missing or unreadable.
  bool Load(const QString& cuePath);
  // Line k (k >= 1), or empty when there is none.
  QByteArray Name(int index) const;
  int Count() const { return static_cast<int>(fNames.size()); }
  int IndexOf(QByteArrayView name) const;
  // Appends a name (creating the file with its empty line 0 first) and
  // returns its index; -1 when the name is not valid or the file cannot be written.
  int Add(const QString& cuePath, QByteArrayView name);

  // Gives every negative file group -n on the list's post entries a line
  // "File group n" (one per distinct n) and stores its index in the entries
  // of those posts. Returns false when P.grouping cannot be written.
  bool EnterBrowserGroups(const QString& cuePath, TDownloadList& list);

  // Group names may not contain / \ ? < > : * " |.
  static bool IsValidName(QByteArrayView name);
  static const char* InvalidCharacters() { return "/\\?<>:*\"|"; }

 private:
  QByteArrayList fNames;  // fNames[0] is line 0
};
