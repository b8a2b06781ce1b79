// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user data folder and a few desktop utilities. None of these
// reports an error: a caller meets a failure at its next file operation.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// The product identifier: the data folder's name and the redirect file's stem.
inline constexpr const char kProductIdentifier[] = "5E0C7B2A9D4F31E8B6A07C1D92F3E4B5";

// The per-user application-data folder (the XDG data home on Linux,
// ~/Library/Application Support on macOS). Creates and tests nothing.
QDir g_osAppDir();

// Absolute path of the default base folder ("QuorVantile" in g_osAppDir()).
QString g_defaultSaveDirPath();

// The base folder named in the redirect file, exactly as written there, or
// "" when there is no redirect or it names nothing that exists.
QString g_dataSaveDirLink();

// Writes path into the redirect file (in the default base folder, which must
// exist). The data folder of the running program does not move. False when
// it could not be written; the earlier redirect then stays.
bool g_setDataSaveDirLink(const QString& path);

// The data folder, worked out once per run and (re)created on every call.
QDir g_dataSaveDir();

// Deletes the folder at path with its content. Hidden and special entries
// stay, with the folders that hold them. Symbolic links are removed as
// links and never followed.
void g_delDirCascade(const QString& path);

// path when nothing exists there, else the first free "base(n).ext" beside it.
QString g_getValidFilePath(const QString& path);

// Hands a file or folder to the desktop; the path reaches the opener as
// one argument, and no shell is involved. False when the desktop's opener
// could not be started or reported that it could not open the path.
bool g_openFileOrFolder(const QString& path);

// Hands a web link to the desktop; anything but a valid http or https URL
// is ignored (the address may come from a network reply).
void g_openLink(const QString& url);

// Starts program with arguments and does not wait; the default runs it
// detached. Replaceable so tests can see what would be started.
// Returns false when the program could not be started or said it failed.
using DesktopOpener = bool (*)(const QString& program, const QStringList& arguments);
// Returns the opener in use before; nullptr restores the default.
DesktopOpener g_setDesktopOpener(DesktopOpener opener);
