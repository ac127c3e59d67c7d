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
