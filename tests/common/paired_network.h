// The network medium over a socket already connected to a scripted card (one end of a
// socket pair), with the waits a test chooses.
#pragma once

#include "x9networkLinux.h"

class PairedNetwork : public CX9Network_Linux {
public:
    PairedNetwork(int fd, Waits waits) : CX9Network_Linux("127.0.0.1", 6577, waits) { m_hSocket = fd; }
};
