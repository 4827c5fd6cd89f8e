// The media a client gets on Linux: the TCP network medium or the host interface.
#include "x9cdhostLinux.h"
#include "x9networkLinux.h"
#include "x9zunaifc.h"

std::unique_ptr<CX9ZunaMedium> CreateZunaMedium(X9ZUNAIFC_MEDIUM medium, const char* IPAddress, int nPort)
{
    if (medium == MEDIUM_NW) return std::make_unique<CX9Network_Linux>(IPAddress, nPort);
    if (medium == MEDIUM_CD) return std::make_unique<CX9CDHost_Linux>();
    return nullptr;
}
