#pragma once

#include <string>

// A registration file of about 1 MB and at least `lines` lines: a BVS list and
// many other vendors' sections, the cost per line made visible.
inline std::string LargeRegistrationFile(int lines = 20000)
{
    std::string text = "[BVS]\r\nNAME1=XRAY\r\nNAME2=CEPH\r\n\r\n";
    for (int i = 0; text.size() < 1000000 || i < lines / 4; ++i)
    {
        text += "[VENDOR" + std::to_string(i) + "]\r\n";
        text += "NAME=Imaging system " + std::to_string(i) + "\r\n";
        text += "PATDATIMPORT=C:\\Program Files\\Vendor " + std::to_string(i) + "\\import.exe\r\n";
        text += "; installed by vendor " + std::to_string(i) + "\r\n";
    }
    return text;
}

// A registration file of the size practices have, about 8 KB, in Windows-1252
// with German umlauts: a BVS list of a dozen imaging systems and their
// sections.
inline std::string TypicalRegistrationFile()
{
    const char* const vendors[] = {"R\xD6NTGEN", "PANORAMA",  "INTRAORAL", "KAMERA",
                                   "CEPH",       "DVT",       "SCANNER",   "ARCHIV",
                                   "BEFUND",     "M\xDCLLER", "Z\xC4HNE",  "PR\xDC" "FUNG"};
    std::string list = "; Bildgebende Systeme der Praxis\r\n[BVS]\r\n";
    std::string sections;
    int n = 0;
    while (list.size() + sections.size() < 8000)
    {
        const std::string vendor =
            std::string(vendors[n % 12]) + (n < 12 ? "" : std::to_string(n / 12));
        list += "NAME" + std::to_string(++n) + "=" + vendor + "\r\n";
        sections += "\r\n[" + vendor + "]\r\n";
        sections +=
            "NAME=Ger\xE4t f\xFCr " + vendor + " (Behandlungsraum " + std::to_string(n) + ")\r\n";
        sections += "; eingerichtet von der Firma M\xFCller & S\xF6hne\r\n";
        sections += "PATDATIMPORT=C:\\Programme\\" + vendor + "\\\xDC" "bernahme.exe\r\n";
        sections += "PATDATIMPORT_OS=1\r\nMMOVIEW=C:\\Programme\\" + vendor +
                    "\\Ansicht.exe\r\nMMOVIEW_OS=1\r\nSTAGES=1\r\nVERSION=1.2\r\n";
    }
    return list + sections;
}
