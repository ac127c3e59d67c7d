#pragma once

#include <wx/string.h>

// The product's own names: its registry key and values, its files and its
// entries in the registration file that practice software reads.

// The one registry key that holds the product's settings.
inline const wxString kClientKeyPath(wxS("HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvorin\\TivoraClient"));
inline const wxString kAppPathValue(wxS("BaseAppPath"));
inline const wxString kDataPathValue(wxS("BaseDataPath"));
// "1" once the product is registered in the registration file.
inline const wxString kRegisteredValue(wxS("VddsIniWritten"));

// The data directory's subdirectory whose access rights are opened.
inline const wxString kDataConfigDirName(wxS("conf"));

// The shared registration file in the Windows directory, and its backups in
// the installation directory: prefix, date and time stamp, extension.
inline const wxString kRegistrationFileName(wxS("vdds_mmi.ini"));
inline const wxString kBackupPrefix(wxS("vdds_mmi_"));
inline const wxString kBackupExtension(wxS(".bak"));

// The product's section in the registration file and its entry in the list.
inline const wxString kProductSection(wxS("TIVORA"));
// The section that lists the imaging systems.
inline const wxString kListSectionName(wxS("BVS"));

// The program's source in the system's event log.
inline const wxString kEventSourceName(wxS("Tvdds"));

#ifdef __WINDOWS__
// This program, as practice software is told to call it.
inline const wxString kProgramFileName(wxS("tvdds.exe"));
// The imaging client it starts.
inline const wxString kClientFileName(wxS("tivoracl.exe"));
#else
inline const wxString kProgramFileName(wxS("tvdds"));
inline const wxString kClientFileName(wxS("tivoracl"));
#endif
