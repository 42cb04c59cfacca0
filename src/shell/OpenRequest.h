#pragma once

#include <QString>
#include <QStringList>

// File-association requests: text made of commands such as [Open("path")],
// possibly several joined without separator.

// The command that asks the running program to open path.
QString MakeOpenCommand(const QString& path);

// Splits a request into its commands, each trimmed and keeping its brackets.
// Commands are separated at "][", except that an Open command runs to its
// closing quote, parenthesis and bracket, so a path holding "][" or a double
// quote stays whole.
QStringList SplitOpenRequest(const QString& request);

// The paths of the commands that begin with "[Open(" (any case); empty paths
// are dropped.
QStringList PathsOfOpenCommands(const QStringList& commands);
