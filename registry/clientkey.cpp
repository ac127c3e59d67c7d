#include "registry/clientkey.h"

const wxString kClientKeyPath(wxS("HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvorin\\TivoraClient"));
