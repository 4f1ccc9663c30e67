#pragma once

#include <QString>

namespace ifb {

class Operator;

// Whether path names a regular file (a symbolic link to one counts): the one
// test every place that takes the upload tool's path makes. A folder, a
// device or a pipe of that name is no tool.
bool IsToolFile(const QString& path);

// Whether path names a usable upload tool: a tool file (IsToolFile) called
// "espota.exe" on Windows (backslashes only), "espota.py" or "espota"
// elsewhere; letter case is ignored.
bool IsAcceptedEspotaPath(const QString& path);

// Lets the operator choose the upload tool until a usable one is chosen or the
// choice is given up. With askGiveUp a cancel asks whether to give up the
// write; otherwise a cancel gives up at once. On success appEspOta is set.
bool SelectEspota(Operator& op, QString& appEspOta, bool askGiveUp);

}  // namespace ifb
