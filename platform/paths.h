// Directories that stand in for the fixed Windows places the driver uses.
//
//   PlatDir::DriveRoot  "C:\"  - data-module configuration file and trace log
//                                (ODBCDRVR.INI, LOG_ODBC.WRI)
//                                environment: QX_DRIVE_ROOT_DIR
//   PlatDir::Windows    the Windows directory - saved server list (QXNCTCP.INI)
//                                environment: QX_WINDOWS_DIR
//
// When the variable is unset or empty the directory is
// ${XDG_CONFIG_HOME:-$HOME/.config}/qxodbc (or /tmp/qxodbc without a home).
// The directory is not created here; writers create it when they need it.
#pragma once

#include <string>
#include <string_view>

enum class PlatDir { DriveRoot, Windows };

std::string PlatDirectory(PlatDir which);

// Joins a directory from PlatDirectory with a bare file name ("ODBCDRVR.INI").
std::string PlatPathIn(PlatDir which, std::string_view fileName);

// Maps a Windows path the driver names ("C:\ODBCDRVR.INI") to its Linux place:
// a leading drive "C:\" maps to DriveRoot, other backslashes become slashes.
std::string PlatMapWindowsPath(std::string_view windowsPath);
